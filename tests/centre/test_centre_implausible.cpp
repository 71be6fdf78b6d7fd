// The implausibility flags on hand-made declarations: the cases where the
// textbook formula alone would fail (more than half the figures equal, zeros,
// small counts) and the texts a reviewer reads.
#include "LabelledFigures.h"
#include "centre/Status.h"
#include "store/Catalogue.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

centre::Declaration declaration(const QString &code, double papers2004, double papers2005 = 0)
{
    centre::Declaration d;
    d.file.project = code;
    d.file.yydm = code + QStringLiteral("  医院");
    const int i = store::catalogue::indicatorIndex(QStringLiteral("fblws"));
    d.figures[2][std::size_t(i)] = papers2004;
    if (papers2005 > 0)
        d.figures[3][std::size_t(i)] = papers2005;
    return d;
}

QStringList texts(const std::vector<centre::ImplausibleFlag> &flags)
{
    QStringList out;
    for (const auto &f : flags)
        out << QStringLiteral("%1 %2 %3 %4 %5").arg(f.code, f.caption, f.periodLabel).arg(f.value).arg(f.explanation);
    return out;
}

} // namespace

TEST(CentreImplausible, ManyEqualFiguresStillFlagTheFarOneButNotTheirNeighbours)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    // Seven projects report 10 papers, one 11, one 200: the median absolute
    // deviation is 0, so the mean absolute deviation measures the spread.
    std::vector<centre::Declaration> all;
    for (int i = 0; i < 7; ++i)
        all.push_back(declaration(QStringLiteral("10%1").arg(i, 2, 10, QLatin1Char('0')), 10));
    all.push_back(declaration(QStringLiteral("1020"), 11));
    all.push_back(declaration(QStringLiteral("1021"), 200));
    EXPECT_EQ(texts(centre::findImplausible(all, ref)),
              QStringList{QStringLiteral("1021 24.发表论文数 2004年 200 各项目中位数 10，相差 20 倍（界限 5 倍）")});
    // All equal: nothing is implausible, and nothing divides by zero.
    all.pop_back();
    all.pop_back();
    EXPECT_TRUE(centre::findImplausible(all, ref).empty());
}

TEST(CentreImplausible, JumpsIgnoreZerosAndSmallCounts)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    const std::vector<centre::Declaration> all = {
        declaration(QStringLiteral("1001"), 1, 9),     // small counts: 9 times, not flagged
        declaration(QStringLiteral("1002"), 0, 400),   // from nothing: not a factor
        declaration(QStringLiteral("1003"), 12, 61),   // 5.08 times: flagged
        declaration(QStringLiteral("1004"), 12, 60),   // exactly 5 times: not above the factor
    };
    EXPECT_EQ(texts(centre::findImplausible(all, ref)),
              QStringList{QStringLiteral("1003 24.发表论文数 2005年 61 2004年为 12，相差 5.1 倍（界限 5 倍）")});
}

// Rates at their cap: 15 of 20 hospitals at 100 leave no spread to measure
// (a median absolute deviation of 0). 95 and 96 are ordinary; 1,000 (a unit
// slip) is not. A negative figure is flagged whatever the others; a jump of
// 5.01 times reads "5.01", never "5", beside its limit of 5.
TEST(CentreImplausible, RatesAtTheirCapNegativesAndLimitsReadRight)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    const int rate = store::catalogue::indicatorIndex(QStringLiteral("sb_whl"));
    std::vector<centre::Declaration> all;
    const double values[] = {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 95, 96, 98, 99, 1000};
    for (int i = 0; i < 20; ++i) {
        all.push_back(declaration(QStringLiteral("20%1").arg(i, 2, 10, QLatin1Char('0')), 0));
        all.back().figures[0][std::size_t(rate)] = values[i];
    }
    all[3].figures[1][std::size_t(rate)] = -50;
    all[4].figures[0][std::size_t(rate)] = 400; // then 400 in 2003 and 2004 too
    all[4].figures[1][std::size_t(rate)] = 400;
    all[4].figures[2][std::size_t(rate)] = 80;  // 400 / 80 = 5, not above 5
    all[5].figures[0][std::size_t(rate)].reset();
    all[5].figures[1][std::size_t(rate)] = 20;
    all[5].figures[2][std::size_t(rate)] = 100.2; // 5.01 times the 20 of 2003
    EXPECT_EQ(texts(centre::findImplausible(all, ref)),
              (QStringList{QStringLiteral("2003 4.设备(4)完好率% 2003年 -50 数值为负"),
                           QStringLiteral("2005 4.设备(4)完好率% 2004年 100.2 2003年为 20，相差 5.01 倍（界限 5 倍）"),
                           QStringLiteral("2019 4.设备(4)完好率% 2002年 1000 各项目中位数 100，相差 10 倍（界限 5 倍）")}));
}

// The labelled benchmark's two figures at the default settings, over a fixed
// seed: at least 80 % of the flags are planted errors, and at least 90 % of
// the ×10, ×100 and ÷100 slips are flagged.
TEST(CentreImplausible, LabelledBenchmarkFlagsArePlantedErrorsAndUnitSlipsAreFound)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    for (quint32 seed : {20061u, 2002u}) {
        const centretest::LabelledSet set = centretest::labelledSet(600, seed);
        const auto flags = centre::findImplausible(set.declarations, ref);
        const centretest::FlagScore score = centretest::scoreFlags(set, flags);
        EXPECT_GE(score.unitSlips, 50);
        EXPECT_GE(score.precision(), 0.80) << score.flagsOnPlanted << " of " << score.flags << " flags planted";
        EXPECT_GE(score.unitSlipRecall(), 0.90) << score.unitSlipsFlagged << " of " << score.unitSlips << " slips flagged";
    }
}
