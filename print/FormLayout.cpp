#include "print/FormLayout.h"

#include "store/Catalogue.h"

#include <QHash>

#include <algorithm>
#include <stdexcept>

namespace print {

namespace cat = store::catalogue;

namespace {

// ---------------------------------------------------------------------------
// The form's own texts besides the rows' labels (those are the catalogue's
// print labels).

// Labels of the items with sub-items, in the item column, each in its own box.
struct ItemLabel {
    int item;        // item number
    double top, bottom;
    const char *lines;
};
const ItemLabel kItemLabels[] = {
    {1, 33.3, 37.1, "1.床位数 "},
    {2, 51.3, 55.2, "2.人员数 "},
    {3, 72.9, 76.8, "3.医生数 "},
    {4, 96.2, 100.1, "4.设备 "},
    {5, 122.0, 135.8, "5.投入与\n  效益\n（万元）"},
    {6, 161.3, 173.0, "6.门诊量 "},
    {8, 182.1, 193.8, "8.期内出\n院病人数 "},
    {17, 251.7, 263.4, "17.诊断\n 符合率 "},
    {21, 35.8, 49.6, "21.在研\n   课题"},
    {22, 57.9, 70.1, "22.科研\n   成果"},
    {27, 100.9, 121.4, "27.教学\n   能力"},
    {28, 122.8, 135.0, "28.举办\n全国性专\n业培训班"},
    {29, 137.2, 149.4, "29.赴外\n 院进修"},
    {30, 154.7, 175.2, "30.学术\n 讲座及\n 活动"},
};

// Group labels: written vertically, one character per line, in a box that
// spans the group's rows in the group column.
struct GroupLabel {
    int group;       // index into the catalogue's groups
    double top, bottom;
    const char *lines;
};
const GroupLabel kGroupLabels[] = {
    {0, 29.4, 157.5, "综\n\n\n合"},
    {1, 161.1, 283.9, "医\n\n\n疗"},
    {2, 29.4, 99.2, "科\n\n\n研\n"},
    {3, 101.5, 185.5, "教\n学\n及\n开\n展\n学\n术\n活\n动"},
};

const char kTitle[] = "Orvandel“十五”重点专科（专病）项目建设评审验收数据申报表";
const char kProjectLabel[] = "项目名称：";
const char kHeaderLabel[] = "指    标";

// ---------------------------------------------------------------------------
// Positions.

// The rows of both pages: the rule under the header, then the rule under each
// row. Page 1 rows are 6.93 mm high with three shorter rows at the foot; page 2
// starts with a 6.7 mm row and continues at 7.21 mm.
std::vector<PageGeometry> makePageGeometry()
{
    PageGeometry p1;
    p1.firstIndicator = 0;
    p1.lastIndicator = 36;
    p1.leftBorder = 6.1;
    p1.rightBorder = 202.6;
    p1.groupTextLeft = 6.9;
    p1.groupTextRight = 11.4;
    p1.hasTitle = true;
    p1.rowRules.push_back(kHeaderBottom);
    for (int n = 1; n <= 34; ++n)
        p1.rowRules.push_back(28.83 + 6.93 * n);
    for (double y : {270.8, 277.8, 284.4})
        p1.rowRules.push_back(y);

    PageGeometry p2;
    p2.firstIndicator = 37;
    p2.lastIndicator = 58;
    p2.leftBorder = 6.7;
    p2.rightBorder = 202.4;
    p2.groupTextLeft = 7.2;
    p2.groupTextRight = 11.6;
    p2.hasTitle = false;
    p2.rowRules.push_back(kHeaderBottom);
    for (int n = 1; n <= 22; ++n)
        p2.rowRules.push_back(35.48 + 7.21 * (n - 1));
    return {p1, p2};
}

const ColumnGeometry kPeriodColumns[5] = {
    {79.3, 103.1, 79.0},
    {104.0, 127.8, 103.7},
    {128.6, 152.5, 128.4},
    {153.3, 177.1, 153.0},
    {178.0, 201.8, 177.7},
};

constexpr double kLabelLeft = 12.5;    // item labels (and labels of single-figure items)
constexpr double kItemRight = 30.5;
constexpr double kSubLabelLeft = 31.3;
constexpr double kLabelRight = 78.5;
constexpr double kHeaderTop = 23.8;
constexpr double kHeaderTextBottom = 27.7;
constexpr double kBodyHeight = 290.0;  // the body band: the whole sheet but a footer strip
constexpr double kFooterHeight = 5.0;

QRectF box(double left, double top, double right, double bottom)
{
    return QRectF(left, top, right - left, bottom - top);
}

report::TextCell cell(const QString &name, const QRectF &rect, const QString &text, double pt, bool bold,
                      report::HAlign h)
{
    report::TextCell c;
    c.name = name;
    c.rect = rect;
    c.text = text;
    c.fontPt = pt;
    c.bold = bold;
    c.hAlign = h;
    c.vAlign = report::VAlign::Middle;
    return c;
}

report::Line hline(const QString &name, double y, double x1, double x2)
{
    report::Line l;
    l.name = name;
    l.x1 = x1;
    l.x2 = x2;
    l.y1 = l.y2 = y;
    l.widthMm = kRuleWidth;
    return l;
}

report::Line vline(const QString &name, double x, double y1, double y2)
{
    report::Line l;
    l.name = name;
    l.x1 = l.x2 = x;
    l.y1 = y1;
    l.y2 = y2;
    l.widthMm = kRuleWidth;
    return l;
}

const ItemLabel *itemLabel(int itemNumber)
{
    for (const ItemLabel &l : kItemLabels)
        if (l.item == itemNumber)
            return &l;
    return nullptr;
}

const GroupLabel *groupLabel(int group)
{
    for (const GroupLabel &l : kGroupLabels)
        if (l.group == group)
            return &l;
    return nullptr;
}

void addTitle(report::Band &band, FormVariant variant)
{
    band.cells.push_back(cell(QStringLiteral("Title"), box(4.4, 4.4, 205.1, 13.3), QString::fromUtf8(kTitle), 14, true,
                              report::HAlign::Center));
    band.cells.push_back(cell(QStringLiteral("ProjectLabel"), box(6.4, 17.2, 29.7, 21.1),
                              QString::fromUtf8(kProjectLabel), 11, true, report::HAlign::Left));
    if (variant == FormVariant::Data) {
        const QString code2003 = cat::periodByIndex(2)->code;
        band.cells.push_back(cell(QStringLiteral("ProjectValue"), box(30.2, 17.2, 125.6, 21.1),
                                  valueExpression(code2003, QStringLiteral("yydm")), 11, true, report::HAlign::Left));
    }
}

void addHeader(report::Band &band, const PageGeometry &page)
{
    band.cells.push_back(cell(QStringLiteral("HeaderLabel"), box(6.9, kHeaderTop, 77.9, kHeaderTextBottom),
                              QString::fromUtf8(kHeaderLabel), 9, true, report::HAlign::Center));
    for (const cat::Period &p : cat::periods()) {
        const ColumnGeometry &col = periodColumn(p.index);
        band.cells.push_back(cell(QStringLiteral("Header") + QString::number(p.index),
                                  box(col.textLeft, kHeaderTop, col.textRight, kHeaderTextBottom), p.printTitle, 9,
                                  true, report::HAlign::Center));
    }
    band.lines.push_back(hline(QStringLiteral("TopRule"), kTableTop, page.leftBorder, page.rightBorder));
    band.lines.push_back(hline(QStringLiteral("HeaderRule"), kHeaderBottom, page.leftBorder, page.rightBorder));
}

void addRows(report::Band &band, const PageGeometry &page, FormVariant variant)
{
    const auto &indicators = cat::indicators();
    const auto &groups = cat::groups();
    for (int row = 0; row < page.rowCount(); ++row) {
        const int i = page.firstIndicator + row;
        const cat::Indicator &ind = indicators[i];
        const cat::Item &item = cat::itemOf(ind);
        const QString label = cat::printLabel(ind);

        const double top = lineCellTop(page, row);
        const double left = item.hasSubItems() ? kSubLabelLeft : kLabelLeft;
        band.cells.push_back(cell(QStringLiteral("Label_") + ind.field, box(left, top, kLabelRight, top + kLineCellHeight),
                                  label, 9, true, report::HAlign::Left));
        if (variant == FormVariant::Data) {
            for (const cat::Period &p : cat::periods()) {
                const ColumnGeometry &col = periodColumn(p.index);
                band.cells.push_back(cell(QStringLiteral("Value_") + ind.field + QString::number(p.index),
                                          box(col.textLeft, top, col.textRight, top + kLineCellHeight),
                                          valueExpression(p.code, ind.field), 9, false, report::HAlign::Right));
            }
        }

        // The rule under the row starts at the left border under a group's
        // last row, at the item rule under an item's last row, and at the
        // sub-item rule between two sub-items.
        double start = kSubItemRuleX;
        if (i == groups[ind.group].lastIndicator)
            start = page.leftBorder;
        else if (i == item.lastIndicator)
            start = kItemRuleX;
        band.lines.push_back(hline(QStringLiteral("RowRule_") + ind.field, page.rowBottom(row), start, page.rightBorder));

        // Item label of a multi-figure item, once, at its first row.
        if (item.hasSubItems() && i == item.firstIndicator) {
            const ItemLabel *il = itemLabel(item.number);
            if (!il)
                throw std::logic_error("the printed form has no label for item " + std::to_string(item.number));
            band.cells.push_back(cell(QStringLiteral("Item") + QString::number(item.number),
                                      box(kLabelLeft, il->top, kItemRight, il->bottom), QString::fromUtf8(il->lines), 9,
                                      true, report::HAlign::Left));
        }
        // Group label, once, at the group's first row.
        if (i == groups[ind.group].firstIndicator) {
            const GroupLabel *gl = groupLabel(ind.group);
            if (!gl)
                throw std::logic_error("the printed form has no label for group " + std::to_string(ind.group));
            band.cells.push_back(cell(QStringLiteral("Group") + QString::number(ind.group + 1),
                                      box(page.groupTextLeft, gl->top, page.groupTextRight, gl->bottom),
                                      QString::fromUtf8(gl->lines), 9, true, report::HAlign::Center));
        }
    }
}

void addVerticalRules(report::Band &band, const PageGeometry &page)
{
    const double bottom = page.bottomBorder();
    band.lines.push_back(vline(QStringLiteral("LeftBorder"), page.leftBorder, kTableTop, bottom));
    for (const cat::Period &p : cat::periods())
        band.lines.push_back(vline(QStringLiteral("PeriodRule") + QString::number(p.index), periodColumn(p.index).ruleX,
                                   kTableTop, bottom));
    band.lines.push_back(vline(QStringLiteral("RightBorder"), page.rightBorder, kTableTop, bottom));
    band.lines.push_back(vline(QStringLiteral("ItemRule"), kItemRuleX, kHeaderBottom, bottom));

    // The sub-item rule runs only through the rows of items with sub-items:
    // one line for each run of such rows.
    const auto &indicators = cat::indicators();
    int runStart = -1;
    int runs = 0;
    for (int row = 0; row <= page.rowCount(); ++row) {
        const bool sub = row < page.rowCount()
            && cat::itemOf(indicators[page.firstIndicator + row]).hasSubItems();
        if (sub && runStart < 0)
            runStart = row;
        if (!sub && runStart >= 0) {
            band.lines.push_back(vline(QStringLiteral("SubItemRule") + QString::number(++runs), kSubItemRuleX,
                                       page.rowTop(runStart), page.rowBottom(row - 1)));
            runStart = -1;
        }
    }
}

} // namespace

QString layoutName(FormVariant variant)
{
    return variant == FormVariant::Data ? QStringLiteral("ReportSBB") : QStringLiteral("ReportSBBKB");
}

QString periodQueryName(const QString &periodCode) { return QStringLiteral("AQry_") + periodCode; }

QString periodStatement(const QString &periodCode)
{
    return QStringLiteral("select * from result where nd='") + periodCode + QStringLiteral("' ");
}

QString valueExpression(const QString &periodCode, const QString &field)
{
    return QStringLiteral("[") + periodQueryName(periodCode) + QStringLiteral(".\"") + field + QStringLiteral("\"]");
}

QString rowLabel(const QString &field)
{
    const int index = cat::indicatorIndex(field);
    return index < 0 ? QString() : cat::printLabel(cat::indicators()[size_t(index)]);
}

const std::vector<PageGeometry> &pageGeometry()
{
    static const std::vector<PageGeometry> pages = makePageGeometry();
    return pages;
}

const ColumnGeometry &periodColumn(int periodIndex)
{
    if (periodIndex < 1 || periodIndex > 5)
        throw std::out_of_range("period index out of range");
    return kPeriodColumns[periodIndex - 1];
}

double lineCellTop(const PageGeometry &page, int row)
{
    const double height = page.rowBottom(row) - page.rowTop(row);
    return page.rowTop(row) + std::min(1.4, (height - kLineCellHeight) / 2.0);
}

report::Layout declarationForm(FormVariant variant)
{
    report::Layout layout;
    layout.name = layoutName(variant);
    int pageNo = 0;
    for (const PageGeometry &page : pageGeometry()) {
        ++pageNo;
        report::PageLayout pl;
        pl.widthMm = 210.0;
        pl.heightMm = 297.0;
        pl.topMarginMm = 0.0;

        report::Band body;
        body.name = QStringLiteral("Page%1Body").arg(pageNo);
        body.kind = report::BandKind::Body;
        body.heightMm = kBodyHeight;
        if (page.hasTitle)
            addTitle(body, variant);
        addHeader(body, page);
        addRows(body, page, variant);
        addVerticalRules(body, page);

        report::Band footer;
        footer.name = QStringLiteral("Page%1Footer").arg(pageNo);
        footer.kind = report::BandKind::PageFooter;
        footer.heightMm = kFooterHeight;

        pl.bands.push_back(std::move(body));
        pl.bands.push_back(std::move(footer));
        layout.pages.push_back(std::move(pl));
    }
    return layout;
}

} // namespace print
