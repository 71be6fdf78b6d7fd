// The printed declaration form, read back from the PDF: pages, values in
// their cells, the project line, the labels, and the blank form.
#include "PrintTestSupport.h"

#include "store/Catalogue.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <functional>

using print::FormVariant;
using testsupport::PdfWord;
namespace cat = store::catalogue;

namespace {

// Distinct figure of every cell: 10 * catalogue number + period index.
QString distinctValue(int indicator, int period) { return QString::number((indicator + 1) * 10 + period); }

QStringList fillStatements(const std::function<QString(int, int)> &value)
{
    QStringList statements;
    for (const cat::Period &p : cat::periods()) {
        QStringList sets;
        for (int i = 0; i < int(cat::indicators().size()); ++i)
            sets << cat::indicators()[i].field + QLatin1Char('=') + value(i, p.index);
        statements << QStringLiteral("update result set ") + sets.join(QStringLiteral(", "))
                          + QStringLiteral(" where nd='") + p.code + QLatin1Char('\'');
    }
    return statements;
}

struct CellPlace {
    int page;
    double rowTop; // the row's upper rule
    double rowBottom;
};

CellPlace placeOf(int indicator)
{
    const int page = indicator < 37 ? 0 : 1;
    const int row = page == 0 ? indicator : indicator - 37;
    const auto rules = printtest::expectedRowRules(page);
    return {page, rules[row], rules[row + 1]};
}

// The words whose box lies in the given area of a page (0.5 mm tolerance).
std::vector<PdfWord> wordsIn(const std::vector<PdfWord> &words, int page, const QRectF &area)
{
    std::vector<PdfWord> out;
    const QRectF grown = area.adjusted(-0.5, -0.5, 0.5, 0.5);
    for (const auto &w : words)
        if (w.page == page && grown.contains(w.boxMm.center()))
            out.push_back(w);
    return out;
}

// The project's cell on the first page, after the label 项目名称：.
const QRectF kProjectCell(30.2, 17.2, 125.6 - 30.2, 21.1 - 17.2);

QStringList textsOf(const std::vector<PdfWord> &words)
{
    QStringList texts;
    for (const auto &w : words)
        texts << w.text;
    return texts;
}

// Checks that the value cell of an indicator and period shows exactly `text`,
// right-aligned inside the cell, vertically in the middle of its row.
void expectValueCell(const std::vector<PdfWord> &words, int indicator, int period, const QString &text)
{
    const CellPlace at = placeOf(indicator);
    const auto col = printtest::expectedValueColumn(period);
    const QRectF cellArea(col.left, at.rowTop, col.right - col.left, at.rowBottom - at.rowTop);
    const auto found = wordsIn(words, at.page, cellArea);
    const QString where = cat::indicators()[indicator].field + QStringLiteral(" period ") + QString::number(period);
    ASSERT_EQ(found.size(), 1u) << where.toStdString();
    const PdfWord &w = found.front();
    EXPECT_EQ(w.text, text) << where.toStdString();
    EXPECT_GE(w.boxMm.left(), col.left - 0.5) << where.toStdString();
    EXPECT_NEAR(w.boxMm.right(), col.right - 0.55, 0.5) << where.toStdString() << " not right-aligned";
    // The 3.9 mm cell's top lies 1.1 to 1.4 mm below the row's rule; the
    // text stands in the cell's middle.
    const double cellMiddle = at.rowTop + 1.25 + 3.9 / 2;
    EXPECT_NEAR(w.boxMm.center().y(), cellMiddle, 0.5 + 0.15) << where.toStdString();
}

class FormPdf : public ::testing::Test {
protected:
    testsupport::TempProgramDir dir;
    QString render(FormVariant variant, const QString &name = QStringLiteral("form.pdf"))
    {
        const QString pdf = dir.file(name);
        printtest::renderForm(variant, pdf);
        return pdf;
    }
};

} // namespace

TEST_F(FormPdf, BothFormsPrintExactlyTwoPagesWhateverResultHolds)
{
    struct Case {
        const char *what;
        QStringList statements;
    };
    const std::vector<Case> cases = {
        {"as delivered", {}},
        {"every figure at its largest",
         fillStatements([](int, int) { return QStringLiteral("999999999.99"); })
             << QStringLiteral("update result set yydm='0001  一个名字很长很长很长很长很长很长很长很长很长很长很长的医院科室'")},
        {"without the 2003 row", {QStringLiteral("delete from result where nd='20030112'")}},
        {"without any row", {QStringLiteral("delete from result")}},
    };
    for (const Case &c : cases) {
        printtest::execResult(c.statements);
        for (FormVariant v : {FormVariant::Data, FormVariant::Blank}) {
            const QString pdf = render(v);
            EXPECT_EQ(testsupport::pdfPageCount(pdf), 2)
                << c.what << (v == FormVariant::Data ? " data form" : " blank form");
        }
    }
}

TEST_F(FormPdf, EveryValueCellShowsItsOwnFieldAndPeriodInsideItsCell)
{
    printtest::execResult(fillStatements(distinctValue));
    const auto words = testsupport::pdfWords(render(FormVariant::Data));
    ASSERT_FALSE(words.empty());
    for (int i = 0; i < int(cat::indicators().size()); ++i)
        for (int p = 1; p <= 5; ++p)
            expectValueCell(words, i, p, distinctValue(i, p));
}

TEST_F(FormPdf, FiguresPrintInShortestFormAndEmptyFiguresAsZero)
{
    // cws_yy: 35.50 and 120.00 and the largest figure; cws_zk left empty
    // (null) in 2002; rys_yjs saved as 0.
    printtest::execResult({
        QStringLiteral("update result set cws_yy=35.50 where nd='20020112'"),
        QStringLiteral("update result set cws_yy=120.00 where nd='20030112'"),
        QStringLiteral("update result set cws_yy=999999999.99 where nd='20040112'"),
        QStringLiteral("update result set cws_yy=0.25 where nd='20050112'"),
        QStringLiteral("update result set rys_yjs=0 where nd='20020112'"),
        QStringLiteral("update result set jsjxry=7 where nd='20060106'"),
    });
    const auto words = testsupport::pdfWords(render(FormVariant::Data));
    expectValueCell(words, 0, 1, QStringLiteral("35.5"));
    expectValueCell(words, 0, 2, QStringLiteral("120"));
    expectValueCell(words, 0, 3, QStringLiteral("999999999.99"));
    expectValueCell(words, 0, 4, QStringLiteral("0.25"));
    expectValueCell(words, 0, 5, QStringLiteral("0"));   // null
    expectValueCell(words, 1, 1, QStringLiteral("0"));   // null
    expectValueCell(words, 2, 1, QStringLiteral("0"));   // saved as 0
    expectValueCell(words, 58, 5, QStringLiteral("7"));  // last cell of page 2
    expectValueCell(words, 58, 4, QStringLiteral("0"));
}

TEST_F(FormPdf, ProjectLineShowsThe2003RowsProject)
{
    printtest::execResult({
        QStringLiteral("update result set yydm='1111  甲医院'"),
        QStringLiteral("update result set yydm='2222  乙医院内科' where nd='20030112'"),
    });
    const auto words = testsupport::pdfWords(render(FormVariant::Data));
    const auto project = wordsIn(words, 0, kProjectCell);
    EXPECT_EQ(textsOf(project), (QStringList{QStringLiteral("2222"), QStringLiteral("乙医院内科")}));
    // Left-aligned after the label.
    ASSERT_FALSE(project.empty());
    EXPECT_NEAR(project.front().boxMm.left(), 30.2 + 0.55, 0.5);
    const auto label = wordsIn(words, 0, QRectF(6.4, 17.2, 29.7 - 6.4, 21.1 - 17.2));
    ASSERT_EQ(label.size(), 1u);
    EXPECT_EQ(label.front().text, QStringLiteral("项目名称："));
}

// CJK text right after Latin letters and digits reads back as drawn: the
// ideographs themselves, never their look-alike radicals (目 not ⽬, 用 not ⽤,
// 十 not ⼗), and the digits are not swapped for unmapped variants.
TEST_F(FormPdf, ProjectTextReadsBackExactlyAsDrawn)
{
    printtest::execResult({QStringLiteral("update result set yydm='Z9  ICU2病区目用十五'")});
    const auto words = testsupport::pdfWords(render(FormVariant::Data));
    const auto project = wordsIn(words, 0, kProjectCell);
    EXPECT_EQ(textsOf(project), (QStringList{QStringLiteral("Z9"), QStringLiteral("ICU2病区目用十五")}));
}

TEST_F(FormPdf, WithoutThe2003RowTheProjectIsEmptyAndItsColumnZero)
{
    printtest::execResult(fillStatements(distinctValue)
                          << QStringLiteral("update result set yydm='3333  丙医院'")
                          << QStringLiteral("delete from result where nd='20030112'"));
    const auto words = testsupport::pdfWords(render(FormVariant::Data));
    EXPECT_TRUE(wordsIn(words, 0, kProjectCell).empty());
    for (int i = 0; i < int(cat::indicators().size()); ++i) {
        expectValueCell(words, i, 2, QStringLiteral("0"));
        expectValueCell(words, i, 1, distinctValue(i, 1));
        expectValueCell(words, i, 3, distinctValue(i, 3));
    }
}

TEST_F(FormPdf, BlankFormCarriesTheLabelsButNoValue)
{
    printtest::execResult(fillStatements(distinctValue) << QStringLiteral("update result set yydm='4444  丁医院'"));
    const auto words = testsupport::pdfWords(render(FormVariant::Blank));
    ASSERT_FALSE(words.empty());
    for (int page = 0; page < 2; ++page) {
        const double bottom = printtest::expectedRowRules(page).back();
        EXPECT_TRUE(wordsIn(words, page, QRectF(79.0, 28.8, 202.6 - 79.0, bottom - 28.8)).empty()) << page;
    }
    EXPECT_TRUE(wordsIn(words, 0, QRectF(30.2, 15.0, 200.0 - 30.2, 7.0)).empty());
    EXPECT_EQ(wordsIn(words, 0, QRectF(6.4, 17.2, 29.7 - 6.4, 21.1 - 17.2)).size(), 1u);
}

// The labels are the form's own texts (no percent signs), each on its row,
// the same on both forms.
TEST_F(FormPdf, RowLabelsAndHeadingsStandOnTheirRowsInBothForms)
{
    for (FormVariant v : {FormVariant::Data, FormVariant::Blank}) {
        const auto words = testsupport::pdfWords(render(v));
        for (int i = 0; i < int(cat::indicators().size()); ++i) {
            const cat::Indicator &ind = cat::indicators()[i];
            const CellPlace at = placeOf(i);
            const bool sub = cat::itemOf(ind).hasSubItems();
            const double left = sub ? 31.3 : 12.5;
            const auto found = wordsIn(words, at.page, QRectF(left, at.rowTop, 78.5 - left, at.rowBottom - at.rowTop));
            QStringList texts;
            for (const auto &w : found)
                texts << w.text;
            const QString expected = print::rowLabel(ind.field).trimmed();
            EXPECT_EQ(texts.join(QLatin1Char(' ')), expected) << ind.field.toStdString();
            EXPECT_FALSE(expected.contains(QLatin1Char('%'))) << ind.field.toStdString();
            ASSERT_FALSE(found.empty());
            EXPECT_NEAR(found.front().boxMm.left(), left + 0.55, 0.5) << ind.field.toStdString();
        }
        for (int page = 0; page < 2; ++page) {
            for (const cat::Period &p : cat::periods()) {
                const auto col = printtest::expectedValueColumn(p.index);
                const auto head = wordsIn(words, page, QRectF(col.left, 22.5, col.right - col.left, 6.3));
                ASSERT_EQ(head.size(), 1u);
                EXPECT_EQ(head.front().text, p.printTitle);
                EXPECT_NEAR(head.front().boxMm.center().x(), (col.left + col.right) / 2, 0.5);
            }
        }
        // Title on page 1 only; page 2 starts with the header row.
        int titles[2] = {0, 0};
        for (const auto &w : words)
            if (w.text.startsWith(QLatin1String("Orvandel")))
                ++titles[w.page];
        EXPECT_EQ(titles[0], 1);
        EXPECT_EQ(titles[1], 0);
    }
}

TEST_F(FormPdf, GroupLabelsAreWrittenDownwardsOneCharacterALine)
{
    const auto words = testsupport::pdfWords(render(FormVariant::Blank));
    struct Expect {
        int page;
        double top, bottom;
        QString chars;
    };
    const std::vector<Expect> groups = {
        {0, 29.4, 157.5, QStringLiteral("综合")},
        {0, 161.1, 283.9, QStringLiteral("医疗")},
        {1, 29.4, 99.2, QStringLiteral("科研")},
        {1, 101.5, 185.5, QStringLiteral("教学及开展学术活动")},
    };
    for (const Expect &g : groups) {
        const double left = g.page == 0 ? 6.1 : 6.7;
        auto found = wordsIn(words, g.page, QRectF(left, g.top, 12.2 - left, g.bottom - g.top));
        std::sort(found.begin(), found.end(), [](const PdfWord &a, const PdfWord &b) { return a.boxMm.top() < b.boxMm.top(); });
        QString read;
        for (const auto &w : found) {
            read += w.text;
            EXPECT_EQ(w.text.size(), 1) << g.chars.toStdString();
        }
        EXPECT_EQ(read, g.chars);
        ASSERT_GE(found.size(), 2u);
        // Centred in the box, top to bottom.
        const double middle = (found.front().boxMm.top() + found.back().boxMm.bottom()) / 2;
        EXPECT_NEAR(middle, (g.top + g.bottom) / 2, 4.0) << g.chars.toStdString();
    }
}

// The labels of the items with sub-items stand in the item column, each in
// its own box over the item's rows, line by line as the form writes them.
TEST_F(FormPdf, ItemLabelsStandInTheirBoxesInBothForms)
{
    struct Expect {
        int page;
        double top, bottom;
        QStringList lines;
    };
    const std::vector<Expect> items = {
        {0, 33.3, 37.1, {QStringLiteral("1.床位数")}},
        {0, 51.3, 55.2, {QStringLiteral("2.人员数")}},
        {0, 72.9, 76.8, {QStringLiteral("3.医生数")}},
        {0, 96.2, 100.1, {QStringLiteral("4.设备")}},
        {0, 122.0, 135.8, {QStringLiteral("5.投入与"), QStringLiteral("效益"), QStringLiteral("（万元）")}},
        {0, 161.3, 173.0, {QStringLiteral("6.门诊量")}},
        {0, 182.1, 193.8, {QStringLiteral("8.期内出"), QStringLiteral("院病人数")}},
        {0, 251.7, 263.4, {QStringLiteral("17.诊断"), QStringLiteral("符合率")}},
        {1, 35.8, 49.6, {QStringLiteral("21.在研"), QStringLiteral("课题")}},
        {1, 57.9, 70.1, {QStringLiteral("22.科研"), QStringLiteral("成果")}},
        {1, 100.9, 121.4, {QStringLiteral("27.教学"), QStringLiteral("能力")}},
        {1, 122.8, 135.0, {QStringLiteral("28.举办"), QStringLiteral("全国性专"), QStringLiteral("业培训班")}},
        {1, 137.2, 149.4, {QStringLiteral("29.赴外"), QStringLiteral("院进修")}},
        {1, 154.7, 175.2, {QStringLiteral("30.学术"), QStringLiteral("讲座及"), QStringLiteral("活动")}},
    };
    for (FormVariant v : {FormVariant::Data, FormVariant::Blank}) {
        const auto words = testsupport::pdfWords(render(v));
        for (const Expect &item : items) {
            auto found = wordsIn(words, item.page, QRectF(12.2, item.top, 31.0 - 12.2, item.bottom - item.top));
            std::sort(found.begin(), found.end(),
                      [](const PdfWord &a, const PdfWord &b) { return a.boxMm.top() < b.boxMm.top(); });
            QStringList read;
            for (const auto &w : found)
                read << w.text;
            EXPECT_EQ(read, item.lines) << item.lines.front().toStdString();
            if (found.empty())
                continue;
            // Left in the item column, the lines one under another, the
            // block in the middle of its box.
            for (const auto &w : found)
                EXPECT_GE(w.boxMm.left(), 12.5) << w.text.toStdString();
            EXPECT_NEAR(found.front().boxMm.left(), 12.5 + 0.55, 0.5) << item.lines.front().toStdString();
            const double middle = (found.front().boxMm.top() + found.back().boxMm.bottom()) / 2;
            EXPECT_NEAR(middle, (item.top + item.bottom) / 2, 0.8) << item.lines.front().toStdString();
        }
    }
}
