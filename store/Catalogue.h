#pragma once
// The declaration's catalogue: 5 reporting periods, 4 groups, 31 numbered
// items and the 59 indicators, each with its field name, captions (exact,
// trailing blanks and "\r\n" line breaks kept), unit and tooltip. Held once,
// as data; the entry grid, the rule prompts, the printed rows, the template
// table's columns and the help document are all generated from it.
#include "store/DbfTable.h"

#include <QString>

#include <vector>

namespace store::catalogue {

struct Period {
    int index;          // 1..5, left to right in the entry window, save order
    QString code;       // nd: "20020112" ... "20060106"
    QString entryTitle; // "2002年 " ... "2006-6-30 "
    QString printTitle; // "2002年" ... "2006-6-30"
    QString label;      // rule hints and findings: "2002年" ... "2006上半年"
};

struct Group {
    QString name;       // "综合"
    QString caption;    // vertical caption of the entry grid, "综\r\n\r\n合\r\n"
    int firstIndicator; // 0-based positions in indicators()
    int lastIndicator;
};

struct Item {
    int number;         // 1..31
    int group;          // index into groups()
    QString caption;    // "1.床位数 ", "5.投入与\r\n  效益\r\n（万元）"
    QString tooltip;    // item caption's own tooltip (empty for most)
    int firstIndicator; // 0-based positions in indicators()
    int lastIndicator;
    // Items with several figures carry a sub-item caption on each row.
    bool hasSubItems() const { return lastIndicator > firstIndicator; }
};

struct Indicator {
    int number;         // 1..59
    QString field;      // lower-case column name, "cws_yy"
    int group;          // index into groups()
    int item;           // index into items()
    QString subCaption; // "(1)医院床位数 "; empty for single-figure items
    QString unit;       // "万元", "%" or empty
    QString english;    // short English gloss
    QString tooltip;    // tooltip of the row caption; empty = none
    QString printLabel; // the printed row's label where it is not rowCaption; empty = the same
};

const std::vector<Period> &periods();
const std::vector<Group> &groups();
const std::vector<Item> &items();
const std::vector<Indicator> &indicators();

// The caption shown on an indicator's row: its sub-item caption, or the item
// caption of a single-figure item.
QString rowCaption(const Indicator &indicator);
// The label on the indicator's row of the printed form.
QString printLabel(const Indicator &indicator);
const Item &itemOf(const Indicator &indicator);

// Index of a field in indicators() (case-insensitive), -1 when none.
int indicatorIndex(const QString &field);
// Period by index 1..5 / by code; nullptr when none.
const Period *periodByIndex(int index);
const Period *periodByCode(const QString &code);

// The label of a finding, built from the code itself: first four characters,
// then "年" when characters 5 to 8 are "0112" or "上半年" when they are "0106".
// The code is trimmed first; any other suffix (or a code shorter than eight
// characters) gives the first four characters alone.
QString periodLabelFromCode(const QString &code);

// Entry edit names: "DBN" + field + period index ("DBNcws_yy1").
QString editName(const Indicator &indicator, int periodIndex);
// Splits an edit name (letter case ignored: "DBNzdfhl_MC3") into the
// 0-based indicator position and the period index 1..5; false when the name
// is not one of the 295 entry edits.
bool parseEditName(const QString &name, int *indicator, int *periodIndex);

// The columns of the declaration table (the template sjsbb and the working
// table result): yydm C(120), nd C(8), bln_zkjy C(1), then the 59 indicators
// in catalogue order as N(12,2).
std::vector<FieldDef> declarationFields();

} // namespace store::catalogue
