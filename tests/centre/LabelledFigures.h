#pragma once
// A labelled set of declarations for judging the implausibility flags: figures
// as real hospitals send them, with errors planted where we know them.
//
// Counts (beds, income, visits) spread over a factor of ten between small
// and large hospitals and grow a few percent a year; the 2006 half-year
// halves the flows; rates bunch at their cap of 100; small counts (papers,
// courses) are drawn by chance each year, so they jump from 2 to 12 now and
// then. About a third of the projects get one error in one figure: ×10,
// ×100, ÷100, a figure copied from another period, two digits swapped, or
// a negative sign.
#include "centre/Status.h"

#include <QtGlobal>

#include <vector>

namespace centretest {

enum class Planted { Times10, Times100, Over100, WrongPeriod, SwappedDigits, Negative };

struct PlantedError {
    int project = 0;   // index into declarations
    int indicator = 0; // 0-based
    int period = 0;    // 1..5
    Planted kind = Planted::Times10;
};

struct LabelledSet {
    std::vector<centre::Declaration> declarations; // codes "6000", "6001", ...
    std::vector<PlantedError> planted;
};

LabelledSet labelledSet(int projects, quint32 seed);

// How the flags fare against the planted errors.
struct FlagScore {
    int flags = 0;
    int flagsOnPlanted = 0;   // flags on a planted figure
    int unitSlips = 0;        // planted ×10, ×100, ÷100
    int unitSlipsFlagged = 0;
    double precision() const { return flags ? double(flagsOnPlanted) / flags : 1.0; }
    double unitSlipRecall() const { return unitSlips ? double(unitSlipsFlagged) / unitSlips : 1.0; }
};

FlagScore scoreFlags(const LabelledSet &set, const std::vector<centre::ImplausibleFlag> &flags);

} // namespace centretest
