// The rules of the printed form, found as dark lines on the rasterised pages.
#include "PrintTestSupport.h"

#include "store/Catalogue.h"

#include <gtest/gtest.h>

#include <set>

using print::FormVariant;
namespace cat = store::catalogue;

namespace {

constexpr double kTolerance = 0.5;
const double kPeriodRules[5] = {79.0, 103.7, 128.4, 153.0, 177.7};

// Rows (1-based, per page) through which the rule at 31.0 runs.
const std::set<int> kSubItemRows[2] = {
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24, 33, 34},
    {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21},
};

void expectHorizontal(const printtest::Raster &r, int page, double y, double x1, double x2, const std::string &what)
{
    const double found = r.horizontalRuleNear(y, x1, x2);
    EXPECT_GE(found, 0) << "page " << page + 1 << ": no rule " << what << " at y " << y;
    if (found >= 0) {
        EXPECT_NEAR(found, y, kTolerance) << "page " << page + 1 << ": " << what;
    }
}

void expectVertical(const printtest::Raster &r, int page, double x, double y1, double y2, const std::string &what)
{
    const double found = r.verticalRuleNear(x, y1, y2);
    EXPECT_GE(found, 0) << "page " << page + 1 << ": no rule " << what << " at x " << x;
    if (found >= 0) {
        EXPECT_NEAR(found, x, kTolerance) << "page " << page + 1 << ": " << what;
    }
}

void checkRules(const QString &pdf)
{
    for (int page = 0; page < 2; ++page) {
        const printtest::Raster r(pdf, page);
        ASSERT_TRUE(r.valid());
        const auto rules = printtest::expectedRowRules(page);
        const double left = printtest::expectedLeftBorder(page);
        const double right = printtest::expectedRightBorder(page);
        const double bottom = rules.back();

        // Full-height verticals, the item rule, and nothing beyond the borders.
        expectVertical(r, page, left, 22.5, bottom, "left border");
        expectVertical(r, page, right, 22.5, bottom, "right border");
        for (double x : kPeriodRules)
            expectVertical(r, page, x, 22.5, bottom, "period rule");
        expectVertical(r, page, 12.2, 28.8, bottom, "item rule");
        EXPECT_FALSE(r.darkAt(12.2, 25.5)) << "item rule crosses the header row";
        EXPECT_FALSE(r.darkAt(left - 1.0, 100.0));
        EXPECT_FALSE(r.darkAt(right + 1.0, 100.0));
        EXPECT_FALSE(r.darkAt(100.0, bottom + 1.0));

        expectHorizontal(r, page, 22.5, left, right, "top rule");
        expectHorizontal(r, page, 28.8, left, right, "header rule");
        EXPECT_FALSE(r.darkAt(100.0, 21.5)) << "nothing above the top rule in the value columns";

        // Rule under each row: from the left border under a group's last row,
        // from 12.2 under an item's last row, from 31.0 between sub-items.
        const int first = page == 0 ? 0 : 37;
        for (int row = 1; row < int(rules.size()); ++row) {
            const int i = first + row - 1;
            const cat::Indicator &ind = cat::indicators()[i];
            const cat::Item &item = cat::itemOf(ind);
            double start = 31.0;
            if (i == cat::groups()[ind.group].lastIndicator)
                start = left;
            else if (i == item.lastIndicator)
                start = 12.2;
            const std::string what = "under row " + std::to_string(row) + " (" + ind.field.toStdString() + ")";
            expectHorizontal(r, page, rules[row], start, right, what);
            EXPECT_TRUE(r.darkAt(start + 0.6, rules[row])) << what << " does not start at " << start;
            if (start > left) {
                EXPECT_FALSE(r.darkAt(start - 0.8, rules[row])) << what << " starts left of " << start;
            }

            // The sub-item rule crosses only rows of items with sub-items.
            const bool crosses = r.verticalRuleNear(31.0, rules[row - 1], rules[row], 0.4) >= 0;
            EXPECT_EQ(crosses, kSubItemRows[page].count(row) == 1)
                << "page " << page + 1 << " row " << row << ": rule at 31.0";
        }
    }
}

class FormRules : public ::testing::Test {
protected:
    testsupport::TempProgramDir dir;
};

} // namespace

TEST_F(FormRules, DataFormRulesStandAtTheirPositions)
{
    printtest::execResult({QStringLiteral("update result set cws_yy=999999999.99, yydm='5555  戊医院'")});
    const QString pdf = dir.file(QStringLiteral("data.pdf"));
    printtest::renderForm(FormVariant::Data, pdf);
    checkRules(pdf);
}

TEST_F(FormRules, BlankFormRulesStandAtTheSamePositions)
{
    const QString pdf = dir.file(QStringLiteral("blank.pdf"));
    printtest::renderForm(FormVariant::Blank, pdf);
    checkRules(pdf);
}
