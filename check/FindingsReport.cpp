#include "check/FindingsReport.h"

#include "controls/QueryDataSet.h"
#include "store/Query.h"

namespace check {

namespace {

report::TextCell cell(const char *name, double left, double top, double width, double height, const QString &text,
                      double pt, bool bold, report::HAlign hAlign)
{
    report::TextCell c;
    c.name = QString::fromLatin1(name);
    c.rect = QRectF(left, top, width, height);
    c.text = text;
    c.fontFamily = QStringLiteral("宋体");
    c.fontPt = pt;
    c.bold = bold;
    c.hAlign = hAlign;
    c.vAlign = report::VAlign::Middle;
    c.wordWrap = true;
    return c;
}

report::Line rule(const char *name, double top)
{
    report::Line l;
    l.name = QString::fromLatin1(name);
    l.x1 = 4.4;
    l.x2 = 4.4 + 200.7;
    l.y1 = l.y2 = top;
    l.widthMm = findingsRuleWidthMm();
    return l;
}

QString column(const char *name)
{
    return QStringLiteral("[") + QString::fromLatin1(kFindingsDataSet) + QStringLiteral(".\"") + QString::fromLatin1(name)
        + QStringLiteral("\"]");
}

} // namespace

double findingsRuleWidthMm() { return 3.0 * 25.4 / 91.6256; }

report::Layout findingsLayout()
{
    using report::BandKind;
    using report::HAlign;

    report::Band header;
    header.name = QStringLiteral("PageHeader1");
    header.kind = BandKind::PageHeader;
    header.heightMm = 18.9;
    header.cells.push_back(cell("Memo1", 4.4, 2.2, 200.7, 6.7, QStringLiteral("{数据申报表}审核提示"), 14, true, HAlign::Center));
    header.lines.push_back(rule("Line1", 16.6));

    report::Band master;
    master.name = QStringLiteral("MasterData1");
    master.kind = BandKind::MasterData;
    master.heightMm = 5.8;
    master.dataSet = QString::fromLatin1(kFindingsDataSet);
    master.cells.push_back(cell("Memo7", 8.9, 0.6, 11.1, 4.4, column("name2"), 10, false, HAlign::Center));
    master.cells.push_back(cell("Memo6", 28.8, 0.6, 35.5, 4.4, column("name1"), 10, false, HAlign::Center));
    master.cells.push_back(cell("Memo8", 68.7, 0.6, 136.4, 4.4, column("name3"), 10, false, HAlign::Left));

    report::Band footer;
    footer.name = QStringLiteral("PageFooter1");
    footer.kind = BandKind::PageFooter;
    footer.heightMm = 8.9;
    footer.lines.push_back(rule("Line2", 1.7));
    footer.cells.push_back(cell("Memo3", 16.6, 3.9, 14.1, 4.4, QStringLiteral("日期:"), 10, false, HAlign::Center));
    footer.cells.push_back(cell("Memo5", 31.0, 3.9, 34.1, 4.4, QStringLiteral("[DATE]"), 10, false, HAlign::Left));
    footer.cells.push_back(cell("Memo9", 164.1, 3.9, 6.7, 4.4, QStringLiteral("第:"), 10, false, HAlign::Center));
    footer.cells.push_back(cell("Memo10", 171.0, 3.9, 17.5, 4.4, QStringLiteral("[PAGE#]"), 10, false, HAlign::Center));
    footer.cells.push_back(cell("Memo11", 188.8, 3.9, 3.0, 4.4, QStringLiteral("页"), 10, false, HAlign::Center));

    report::Band summary;
    summary.name = QStringLiteral("ReportSummary1");
    summary.kind = BandKind::ReportSummary;
    summary.heightMm = 13.3;
    summary.cells.push_back(cell("Memo12", 0.0, 3.3, 200.7, 6.7, QStringLiteral("数据审核结束！"), 14, true, HAlign::Center));

    report::PageLayout page;
    page.widthMm = 210.0;
    page.heightMm = 297.0;
    page.topMarginMm = 0.0;
    page.bands = {header, master, footer, summary};

    report::Layout layout;
    layout.name = QStringLiteral("ReportMX");
    layout.pages.push_back(page);
    return layout;
}

report::PreparedReport prepareFindings(store::Query &findings)
{
    static const report::Layout layout = findingsLayout();
    ui::QueryDataSet dataSet(findings);
    return report::prepare(layout, {&dataSet});
}

FindingsReport::FindingsReport(QObject *owner) : QObject(owner), m_layout(findingsLayout())
{
    setObjectName(QStringLiteral("ReportMX"));
}

} // namespace check
