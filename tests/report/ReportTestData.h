#pragma once
// Test data for the report engine: a data set over rows held in memory and
// a findings-like layout (header with a title and a rule, a one-line data
// band, a footer with date and page number, a summary).
#include "controls/Fonts.h"
#include "report/DataSet.h"
#include "report/Layout.h"

#include <QFont>
#include <QMap>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace reporttest {

class TableDataSet : public report::DataSet {
public:
    TableDataSet(QString name, QStringList columns, QStringList numericColumns = {})
        : m_name(std::move(name)), m_columns(std::move(columns)), m_numeric(std::move(numericColumns))
    {
    }
    void addRow(const std::vector<QVariant> &values) { m_rows.push_back(values); }

    QString name() const override { return m_name; }
    void first() override { m_pos = 0; ++firstCalls; }
    void next() override { ++m_pos; }
    bool eof() const override { return m_pos >= m_rows.size(); }
    QVariant value(const QString &column) const override
    {
        const int i = index(column);
        return i < 0 || eof() ? QVariant() : m_rows[m_pos][size_t(i)];
    }
    bool isNumeric(const QString &column) const override
    {
        return m_numeric.contains(column, Qt::CaseInsensitive);
    }
    bool hasColumn(const QString &column) const override { return index(column) >= 0; }

    int firstCalls = 0;

private:
    int index(const QString &column) const
    {
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    QString m_name;
    QStringList m_columns, m_numeric;
    std::vector<std::vector<QVariant>> m_rows;
    size_t m_pos = 0;
};

// The program's own fonts: 宋体 is the printing face made in controls/.
inline void installTestFonts() { ui::installFontSubstitutions(); }

inline report::TextCell cell(const QString &name, double x, double y, double w, double h, const QString &text,
                             double pt = 10, bool bold = false, report::HAlign ha = report::HAlign::Center)
{
    report::TextCell c;
    c.name = name;
    c.rect = QRectF(x, y, w, h);
    c.text = text;
    c.fontPt = pt;
    c.bold = bold;
    c.hAlign = ha;
    c.vAlign = report::VAlign::Middle;
    return c;
}

// The check findings list: 18.9 mm header, 5.8 mm rows, 8.9 mm footer,
// 13.3 mm summary, over "AQry_Shtable1" (name1, name2, name3).
inline report::Layout findingsLayout()
{
    using namespace report;
    Layout l;
    l.name = QStringLiteral("ReportMX");
    PageLayout p;
    Band header{QStringLiteral("PageHeader1"), BandKind::PageHeader, 18.9, {}, {}, {}};
    header.cells.push_back(cell("Memo1", 4.4, 2.2, 200.7, 6.7, QStringLiteral("{数据申报表}审核提示"), 14, true));
    header.lines.push_back(Line{QStringLiteral("Line1"), 4.4, 16.6, 205.1, 16.6, 0.8});
    Band data{QStringLiteral("MasterData1"), BandKind::MasterData, 5.8, QStringLiteral("AQry_Shtable1"), {}, {}};
    data.cells.push_back(cell("Memo7", 8.9, 0.6, 11.1, 4.4, QStringLiteral("[AQry_Shtable1.\"name2\"]")));
    data.cells.push_back(cell("Memo6", 28.8, 0.6, 35.5, 4.4, QStringLiteral("[AQry_Shtable1.\"name1\"]")));
    data.cells.push_back(
        cell("Memo8", 68.7, 0.6, 136.4, 4.4, QStringLiteral("[AQry_Shtable1.\"name3\"]"), 10, false, HAlign::Left));
    Band footer{QStringLiteral("PageFooter1"), BandKind::PageFooter, 8.9, {}, {}, {}};
    footer.lines.push_back(Line{QStringLiteral("Line2"), 4.4, 1.7, 205.1, 1.7, 0.8});
    footer.cells.push_back(cell("Memo3", 16.6, 3.9, 14.1, 4.4, QStringLiteral("日期:")));
    footer.cells.push_back(cell("Memo5", 31.0, 3.9, 34.1, 4.4, QStringLiteral("[DATE]"), 10, false, HAlign::Left));
    footer.cells.push_back(cell("Memo9", 164.1, 3.9, 6.7, 4.4, QStringLiteral("第:")));
    footer.cells.push_back(cell("Memo10", 171.0, 3.9, 17.5, 4.4, QStringLiteral("[PAGE#]")));
    footer.cells.push_back(cell("Memo11", 188.8, 3.9, 3.0, 4.4, QStringLiteral("页")));
    Band summary{QStringLiteral("ReportSummary1"), BandKind::ReportSummary, 13.3, {}, {}, {}};
    summary.cells.push_back(cell("Memo12", 0.0, 3.3, 200.7, 6.7, QStringLiteral("数据审核结束！"), 14, true));
    // Listed in the order a designer lists them: the engine places header
    // and footer by kind, whatever their position in the list.
    p.bands = {header, data, footer, summary};
    l.pages.push_back(p);
    return l;
}

inline TableDataSet findings(int count, const QString &text = QString())
{
    TableDataSet ds(QStringLiteral("AQry_Shtable1"), {QStringLiteral("name1"), QStringLiteral("name2"),
                                                      QStringLiteral("name3")});
    for (int i = 0; i < count; ++i)
        ds.addRow({QStringLiteral("2003年"), QVariant(),
                   text.isEmpty() ? QStringLiteral("第%1条：床位数不能小于零").arg(i + 1) : text});
    return ds;
}

} // namespace reporttest
