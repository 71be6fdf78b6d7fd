#pragma once
// The declaration form as the print window prints it: two A4 portrait pages
// of one ruled table, built from the indicator catalogue, one table of row
// positions and the form's own label texts. The data form binds the project
// line and the 59 x 5 value cells to the five period queries by name; the
// blank form is the same pages without them.
#include "report/Layout.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace print {

enum class FormVariant { Data, Blank };

// Layout names: the data form and the blank form.
QString layoutName(FormVariant variant); // "ReportSBB" / "ReportSBBKB"

// The query object holding a period's row: "AQry_" + period code.
QString periodQueryName(const QString &periodCode);
// The statement that selects a period's row, exact to its trailing blank.
QString periodStatement(const QString &periodCode);
// "[AQry_20020112."cws_yy"]"
QString valueExpression(const QString &periodCode, const QString &field);

// The form's own label of an indicator row: the sub-item label, or the item
// label of a single-figure item. Empty for an unknown field.
QString rowLabel(const QString &field);

// Geometry of the table, in millimetres from the sheet's left edge and from
// the top of the page's body.
struct PageGeometry {
    int firstIndicator = 0;  // catalogue positions printed on the page
    int lastIndicator = 0;
    double leftBorder = 0;   // x of the left and right border rules
    double rightBorder = 0;
    double groupTextLeft = 0; // text box of the group labels
    double groupTextRight = 0;
    bool hasTitle = false;   // title and project line above the table
    // y of the rule above row 1 (under the header) followed by the rule under
    // each row in turn; the last one is the bottom border.
    std::vector<double> rowRules;

    int rowCount() const { return lastIndicator - firstIndicator + 1; }
    double rowTop(int row) const { return rowRules[row]; }         // row 0-based
    double rowBottom(int row) const { return rowRules[row + 1]; }
    double bottomBorder() const { return rowRules.back(); }
};
const std::vector<PageGeometry> &pageGeometry();

// x range of the text box of a period's value column (index 1..5) and the x of
// the rule on its left.
struct ColumnGeometry {
    double textLeft;
    double textRight;
    double ruleX;
};
const ColumnGeometry &periodColumn(int periodIndex);

constexpr double kTableTop = 22.5;     // top rule of the table
constexpr double kHeaderBottom = 28.8; // rule under the header row
constexpr double kItemRuleX = 12.2;    // rule between group and item columns
constexpr double kSubItemRuleX = 31.0; // rule between item and sub-item columns
constexpr double kRuleWidth = 0.55;
constexpr double kLineCellHeight = 3.9; // one-line cells of a row

// The one-line cells of a row stand in its middle, their top at most 1.4 mm
// below the row's upper rule.
double lineCellTop(const PageGeometry &page, int row);

report::Layout declarationForm(FormVariant variant);

} // namespace print
