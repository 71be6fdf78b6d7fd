// The report engine without windows: values and expressions, pagination,
// text placement, the PDF it writes and the prepared-report file.
#include "report/Prepared.h"
#include "report/TextLayout.h"
#include "tests/report/ReportTestData.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>
#include <stdexcept>

using namespace report;
using namespace reporttest;

namespace {

std::vector<const PreparedText *> textsNamed(const PreparedPage &page, const QString &name)
{
    std::vector<const PreparedText *> out;
    for (const PreparedText &t : page.texts)
        if (t.cell.name == name)
            out.push_back(&t);
    return out;
}

const PreparedText *textNamed(const PreparedPage &page, const QString &name)
{
    const auto all = textsNamed(page, name);
    return all.empty() ? nullptr : all.front();
}

QString dateText(const QDate &d) { return QLocale::system().toString(d, QLocale::ShortFormat); }

// The words of a PDF that lie on a page, joined when they touch, as one string.
QString pageText(const std::vector<testsupport::PdfWord> &words, int page)
{
    QString s;
    for (const auto &w : words)
        if (w.page == page)
            s += w.text + QLatin1Char(' ');
    return s;
}

const testsupport::PdfWord *findWord(const std::vector<testsupport::PdfWord> &words, int page, const QString &text)
{
    for (const auto &w : words)
        if (w.page == page && w.text == text)
            return &w;
    return nullptr;
}

} // namespace

class EngineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installTestFonts(); }

    void valuesPrintInTheirPlainForm()
    {
        QCOMPARE(formatValue(35.5, true), QStringLiteral("35.5"));
        QCOMPARE(formatValue(35.50, true), QStringLiteral("35.5"));
        QCOMPARE(formatValue(120.0, true), QStringLiteral("120"));
        QCOMPARE(formatValue(0.0, true), QStringLiteral("0"));
        QCOMPARE(formatValue(-0.0, true), QStringLiteral("0"));
        QCOMPARE(formatValue(0.1 + 0.2, true), QStringLiteral("0.3"));
        QCOMPARE(formatValue(-12.25, true), QStringLiteral("-12.25"));
        QCOMPARE(formatValue(123456789012.5, true), QStringLiteral("123456789012.5"));
        QCOMPARE(formatValue(99999999.99, true), QStringLiteral("99999999.99"));
        QCOMPARE(formatValue(QVariant(qlonglong(42)), true), QStringLiteral("42"));
        // Nulls: a numeric column prints 0, a text column nothing.
        QCOMPARE(formatValue(QVariant(), true), QStringLiteral("0"));
        QCOMPARE(formatValue(QVariant(), false), QString());
        QCOMPARE(formatValue(QVariant(QMetaType(QMetaType::Double)), true), QStringLiteral("0"));
        // Texts unchanged, blanks kept.
        QCOMPARE(formatValue(QStringLiteral("A001  测试医院 "), false), QStringLiteral("A001  测试医院 "));
    }

    void expressionsResolveAgainstDataSetsByName()
    {
        TableDataSet q(QStringLiteral("AQry_20030112"), {QStringLiteral("yydm"), QStringLiteral("cws_yy")},
                       {QStringLiteral("cws_yy")});
        q.addRow({QStringLiteral("A01 医院 "), 35.5});
        q.first();
        Layout l;
        l.name = QStringLiteral("ReportSBB");
        PageLayout p;
        Band body{QStringLiteral("Body"), BandKind::Body, 280, {}, {}, {}};
        body.cells.push_back(cell("v1", 10, 10, 30, 4, QStringLiteral("[aqry_20030112.\"CWS_YY\"]")));
        body.cells.push_back(cell("v2", 10, 20, 30, 4, QStringLiteral("[AQry_20030112.\"yydm\"]")));
        body.cells.push_back(cell("mix", 10, 30, 30, 4, QStringLiteral("第[PAGE#]页 [DATE]")));
        body.cells.push_back(cell("lit", 10, 40, 30, 4, QStringLiteral("[不是表达式] {数据申报表} [x.y]")));
        body.cells.push_back(cell("sp", 10, 50, 30, 4, QStringLiteral("[ AQry_20030112 . \"cws_yy\" ]")));
        p.bands.push_back(body);
        l.pages = {p, p};
        const QDate day(2006, 7, 15);
        const PreparedReport r = prepare(l, {&q}, day);
        QCOMPARE(int(r.pages.size()), 2);
        QCOMPARE(r.title, QStringLiteral("ReportSBB"));
        QCOMPARE(textNamed(r.pages[0], "v1")->cell.text, QStringLiteral("35.5"));
        QCOMPARE(textNamed(r.pages[0], "v2")->cell.text, QStringLiteral("A01 医院 "));
        QCOMPARE(textNamed(r.pages[0], "mix")->cell.text, QStringLiteral("第1页 ") + dateText(day));
        QCOMPARE(textNamed(r.pages[1], "mix")->cell.text, QStringLiteral("第2页 ") + dateText(day));
        QCOMPARE(textNamed(r.pages[0], "lit")->cell.text, QStringLiteral("[不是表达式] {数据申报表} [x.y]"));
        QCOMPARE(textNamed(r.pages[0], "sp")->cell.text, QStringLiteral("35.5"));
        // A body page does not move its data set off the current row.
        QCOMPARE(q.firstCalls, 1);

        // A data set without a row reads as nulls: 0 for numbers, nothing for texts.
        TableDataSet empty(QStringLiteral("AQry_20030112"), {QStringLiteral("yydm"), QStringLiteral("cws_yy")},
                           {QStringLiteral("cws_yy")});
        const PreparedReport e = prepare(l, {&empty}, day);
        QCOMPARE(textNamed(e.pages[0], "v1")->cell.text, QStringLiteral("0"));
        QCOMPARE(textNamed(e.pages[0], "v2")->cell.text, QString());
        // A stored null in a row reads the same way.
        TableDataSet nulls(QStringLiteral("AQry_20030112"), {QStringLiteral("yydm"), QStringLiteral("cws_yy")},
                           {QStringLiteral("cws_yy")});
        nulls.addRow({QVariant(), QVariant()});
        nulls.first();
        const PreparedReport n = prepare(l, {&nulls}, day);
        QCOMPARE(textNamed(n.pages[0], "v1")->cell.text, QStringLiteral("0"));
        QCOMPARE(textNamed(n.pages[0], "v2")->cell.text, QString());
    }

    void unknownNamesAreReportedNotPrinted()
    {
        TableDataSet q(QStringLiteral("AQry_20030112"), {QStringLiteral("yydm")});
        q.addRow({QStringLiteral("x")});
        q.first();
        auto layoutWith = [](const QString &text) {
            Layout l;
            l.name = QStringLiteral("R");
            PageLayout p;
            Band body{QStringLiteral("Body"), BandKind::Body, 100, {}, {}, {}};
            body.cells.push_back(cell("c", 0, 0, 20, 5, text));
            p.bands.push_back(body);
            l.pages.push_back(p);
            return l;
        };
        auto message = [&](const Layout &l) {
            try {
                prepare(l, {&q});
            } catch (const std::runtime_error &e) {
                return QString::fromStdString(e.what());
            }
            return QString();
        };
        const QString noSet = message(layoutWith(QStringLiteral("[AQry_Missing.\"yydm\"]")));
        QVERIFY(noSet.contains(QStringLiteral("AQry_Missing")));
        const QString noColumn = message(layoutWith(QStringLiteral("[AQry_20030112.\"nosuch\"]")));
        QVERIFY(noColumn.contains(QStringLiteral("nosuch")));
        QVERIFY(noColumn.contains(QStringLiteral("AQry_20030112")));

        Layout flowing = findingsLayout();
        const QString noBandSet = message(flowing); // AQry_Shtable1 not bound
        QVERIFY(noBandSet.contains(QStringLiteral("AQry_Shtable1")));
        flowing.pages[0].bands[1].dataSet.clear();
        QVERIFY(!message(flowing).isEmpty());
    }

    void oneFindingMakesOnePage()
    {
        TableDataSet ds = findings(1);
        const QDate day(2006, 7, 15);
        const PreparedReport r = prepare(findingsLayout(), {&ds}, day);
        QCOMPARE(int(r.pages.size()), 1);
        const PreparedPage &p = r.pages[0];
        QCOMPARE(textNamed(p, "Memo1")->cell.rect, QRectF(4.4, 2.2, 200.7, 6.7));
        QCOMPARE(p.lines.size(), size_t(2));
        QCOMPARE(p.lines[0].line.y1, 16.6);
        const PreparedText *row = textNamed(p, "Memo8");
        QCOMPARE(row->cell.text, QStringLiteral("第1条：床位数不能小于零"));
        QCOMPARE(row->cell.rect.top(), 18.9 + 0.6);
        QCOMPARE(textNamed(p, "Memo6")->cell.text, QStringLiteral("2003年"));
        QCOMPARE(textNamed(p, "Memo7")->cell.text, QString());
        // Summary right under the row, footer at the bottom of the sheet.
        QVERIFY(std::abs(textNamed(p, "Memo12")->cell.rect.top() - (18.9 + 5.8 + 3.3)) < 1e-9);
        QVERIFY(std::abs(textNamed(p, "Memo10")->cell.rect.top() - (297 - 8.9 + 3.9)) < 1e-9);
        QCOMPARE(textNamed(p, "Memo10")->cell.text, QStringLiteral("1"));
        QCOMPARE(textNamed(p, "Memo5")->cell.text, dateText(day));
        QVERIFY(std::abs(p.lines[1].line.y1 - (297 - 8.9 + 1.7)) < 1e-9);
    }

    void manyFindingsRepeatHeaderAndFooterOnEveryPage()
    {
        // 46 rows fit between the 18.9 mm header and the footer at 288.1 mm.
        TableDataSet ds = findings(100);
        const PreparedReport r = prepare(findingsLayout(), {&ds});
        QCOMPARE(int(r.pages.size()), 3);
        int rows = 0;
        for (size_t i = 0; i < r.pages.size(); ++i) {
            const PreparedPage &p = r.pages[i];
            QCOMPARE(int(textsNamed(p, "Memo1").size()), 1);
            QCOMPARE(textNamed(p, "Memo1")->cell.rect.top(), 2.2);
            QCOMPARE(textNamed(p, "Memo10")->cell.text, QString::number(i + 1));
            QVERIFY(std::abs(textNamed(p, "Memo10")->cell.rect.top() - (297 - 8.9 + 3.9)) < 1e-9);
            QCOMPARE(int(p.lines.size()), 2);
            const auto pageRows = textsNamed(p, "Memo8");
            // The pitch never changes and no row reaches into the footer.
            for (size_t k = 0; k < pageRows.size(); ++k) {
                QVERIFY(std::abs(pageRows[k]->cell.rect.top() - (18.9 + 0.6 + 5.8 * k)) < 1e-9);
                QVERIFY(pageRows[k]->cell.rect.top() - 0.6 + 5.8 <= 297 - 8.9 + 1e-9);
            }
            QCOMPARE(pageRows.front()->cell.text, QStringLiteral("第%1条：床位数不能小于零").arg(rows + 1));
            rows += int(pageRows.size());
            QCOMPARE(int(textsNamed(p, "Memo12").size()), i == 2 ? 1 : 0);
        }
        QCOMPARE(rows, 100);
        QCOMPARE(int(textsNamed(r.pages[0], "Memo8").size()), 46);
        QCOMPARE(int(textsNamed(r.pages[1], "Memo8").size()), 46);
        const auto last = textsNamed(r.pages[2], "Memo8");
        QVERIFY(std::abs(textNamed(r.pages[2], "Memo12")->cell.rect.top() - (last.back()->cell.rect.top() - 0.6 + 5.8 + 3.3)) < 1e-9);
    }

    void summaryThatDoesNotFitStartsAPage()
    {
        // 46 rows end at 285.7 mm: the 13.3 mm summary no longer fits above 288.1.
        TableDataSet ds = findings(46);
        const PreparedReport r = prepare(findingsLayout(), {&ds});
        QCOMPARE(int(r.pages.size()), 2);
        QCOMPARE(int(textsNamed(r.pages[1], "Memo8").size()), 0);
        QVERIFY(std::abs(textNamed(r.pages[1], "Memo12")->cell.rect.top() - (18.9 + 3.3)) < 1e-9);
        QCOMPARE(textNamed(r.pages[1], "Memo10")->cell.text, QStringLiteral("2"));
        QCOMPARE(textNamed(r.pages[1], "Memo1")->cell.text, QStringLiteral("{数据申报表}审核提示"));

        // No rows at all: header, summary and footer on one sheet.
        TableDataSet none = findings(0);
        const PreparedReport e = prepare(findingsLayout(), {&none});
        QCOMPARE(int(e.pages.size()), 1);
        QCOMPARE(int(textsNamed(e.pages[0], "Memo12").size()), 1);
    }

    void pageBreaksExactlyWhenTheNextBandDoesNotFit()
    {
        // 100 mm sheet, 9.9 header, 10.3 footer: 79.8 mm of room, exactly
        // twenty 3.99 mm rows; the 21st goes over.
        Layout l;
        l.name = QStringLiteral("exact");
        PageLayout p;
        p.heightMm = 100;
        Band header{QStringLiteral("H"), BandKind::PageHeader, 9.9, {}, {}, {}};
        Band data{QStringLiteral("D"), BandKind::MasterData, 3.99, QStringLiteral("T"), {}, {}};
        data.cells.push_back(cell("v", 0, 0, 50, 3.99, QStringLiteral("[T.\"n\"]")));
        Band footer{QStringLiteral("F"), BandKind::PageFooter, 10.3, {}, {}, {}};
        footer.cells.push_back(cell("pg", 0, 0, 50, 5, QStringLiteral("[PAGE#]")));
        p.bands = {header, data, footer};
        l.pages.push_back(p);
        auto rowsPerPage = [&](int count) {
            TableDataSet t(QStringLiteral("T"), {QStringLiteral("n")}, {QStringLiteral("n")});
            for (int i = 0; i < count; ++i)
                t.addRow({double(i)});
            std::vector<int> perPage;
            for (const PreparedPage &pg : prepare(l, {&t}).pages)
                perPage.push_back(int(textsNamed(pg, "v").size()));
            return perPage;
        };
        QCOMPARE(rowsPerPage(20), std::vector<int>({20}));
        QCOMPARE(rowsPerPage(21), std::vector<int>({20, 1}));
        QCOMPARE(rowsPerPage(40), std::vector<int>({20, 20}));

        // A band taller than the room of an empty sheet is laid out once per
        // sheet instead of breaking for ever.
        l.pages[0].bands[1].heightMm = 95;
        l.pages[0].bands[1].cells[0].rect.setHeight(95);
        QCOMPARE(rowsPerPage(3), std::vector<int>({1, 1, 1}));
    }

    void bodyPagesAreOneSheetEachAtTheTopMargin()
    {
        Layout l;
        l.name = QStringLiteral("form");
        for (int i = 0; i < 2; ++i) {
            PageLayout p;
            p.topMarginMm = 4.0;
            Band body{QStringLiteral("Body%1").arg(i), BandKind::Body, 400, {}, {}, {}};
            body.cells.push_back(cell("title", 4.4, 4.4, 200.7, 8.9, QStringLiteral("页%1").arg(i + 1)));
            body.lines.push_back(Line{QStringLiteral("rule"), 6.1, 22.5, 202.6, 22.5, 0.55});
            Band footer{QStringLiteral("PageFooter"), BandKind::PageFooter, 0, {}, {}, {}};
            p.bands = {body, footer};
            l.pages.push_back(p);
        }
        const PreparedReport r = prepare(l, {});
        QCOMPARE(int(r.pages.size()), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(textNamed(r.pages[i], "title")->cell.text, QStringLiteral("页%1").arg(i + 1));
            QCOMPARE(textNamed(r.pages[i], "title")->cell.rect.top(), 8.4);
            QCOMPARE(r.pages[i].lines[0].line.y1, 26.5);
            QCOMPARE(r.pages[i].lines[0].line.x2, 202.6);
        }
    }

    void textStaysInsideItsCell()
    {
        // A long rule text in the 4.4 mm findings cell: one line is kept, the
        // band keeps its height, nothing reaches outside the cell.
        const TextCell memo8 = cell("Memo8", 68.7, 0.6, 136.4, 4.4, QString(), 10, false, HAlign::Left);
        TextCell longText = memo8;
        longText.text = QStringLiteral("专科床位数不能大于医院床位数，").repeated(8);
        const LaidText laid = layoutText(longText);
        QCOMPARE(int(laid.lines.size()), 1);
        QVERIFY(laid.lines[0].widthMm <= 136.4 - 1.1 + 1e-9);
        QVERIFY(longText.text.startsWith(laid.lines[0].text));
        QVERIFY(laid.lines[0].text.size() > 20);

        // In a taller cell it wraps: every line fits the inset width, no
        // character is lost or doubled, lines are 1 em + 0.55 mm apart.
        TextCell tall = longText;
        tall.rect.setHeight(60);
        const LaidText wrapped = layoutText(tall);
        QVERIFY(wrapped.lines.size() >= 3);
        QString joined;
        for (size_t i = 0; i < wrapped.lines.size(); ++i) {
            QVERIFY(wrapped.lines[i].widthMm <= 136.4 - 1.1 + 1e-9);
            QVERIFY(wrapped.lines[i].topMm >= tall.rect.top());
            QVERIFY(wrapped.lines[i].topMm + wrapped.lines[i].emMm <= tall.rect.bottom());
            if (i > 0)
                QVERIFY(std::abs(wrapped.lines[i].topMm - wrapped.lines[i - 1].topMm - (10 * 25.4 / 72 + 0.55)) < 1e-6);
            joined += wrapped.lines[i].text;
        }
        QCOMPARE(joined, tall.text);

        // Latin words break at blanks; a word longer than the line between letters.
        TextCell narrow = cell("n", 0, 0, 20, 40, QStringLiteral("abc defghijklmnopqrstuvwxyz0123456789 xy"), 10, false,
                               HAlign::Left);
        const LaidText nl = layoutText(narrow);
        QCOMPARE(nl.lines.front().text, QStringLiteral("abc"));
        QString letters;
        for (const LaidLine &line : nl.lines) {
            QVERIFY(line.widthMm <= 20 - 1.1 + 1e-9);
            letters += line.text;
        }
        QCOMPARE(letters.remove(QLatin1Char(' ')), QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789xy"));
        QVERIFY(nl.lines.size() >= 3);

        // Explicit lines of a vertical label, empty lines keeping their place.
        TextCell group = cell("g", 6.9, 29.4, 4.5, 128.1, QStringLiteral("综\n\n\n合"), 9, true);
        const LaidText gl = layoutText(group);
        QCOMPARE(int(gl.lines.size()), 2);
        QVERIFY(std::abs(gl.lines[1].topMm - gl.lines[0].topMm - 3 * (9 * 25.4 / 72 + 0.55)) < 1e-6);
        QVERIFY(std::abs((gl.lines[0].topMm + gl.lines[1].topMm + gl.lines[1].emMm) / 2 - group.rect.center().y()) < 1e-6);

        // Without word wrap a line that does not fit is cut at the cell.
        TextCell noWrap = narrow;
        noWrap.wordWrap = false;
        QVERIFY(layoutText(noWrap).needsClip);
        QCOMPARE(int(layoutText(noWrap).lines.size()), 1);
    }

    void alignmentInsideTheInsetRect()
    {
        TextCell c = cell("v", 79.3, 40.0, 23.8, 3.9, QStringLiteral("35.5"), 9, false, HAlign::Right);
        LaidLine l = layoutText(c).lines.at(0);
        QVERIFY(std::abs(l.xMm + l.widthMm - (103.1 - 0.55)) < 1e-9);
        QVERIFY(std::abs(l.topMm + l.emMm / 2 - 41.95) < 1e-9);
        c.hAlign = HAlign::Left;
        c.vAlign = VAlign::Top;
        l = layoutText(c).lines.at(0);
        QVERIFY(std::abs(l.xMm - (79.3 + 0.55)) < 1e-9);
        QVERIFY(std::abs(l.topMm - (40.0 + 0.28)) < 1e-9);
        c.hAlign = HAlign::Center;
        c.vAlign = VAlign::Bottom;
        l = layoutText(c).lines.at(0);
        QVERIFY(std::abs(l.xMm + l.widthMm / 2 - (79.3 + 23.8 / 2)) < 1e-9);
        QVERIFY(std::abs(l.topMm + l.emMm - (43.9 - 0.28)) < 1e-9);
        // Trailing blanks do not shift a centred or right-aligned text.
        c.text = QStringLiteral("35.5   ");
        QVERIFY(std::abs(layoutText(c).lines.at(0).xMm - l.xMm) < 1e-9);
    }

    void pdfHasOneSheetPerPageAndTextWhereTheLayoutPutsIt()
    {
        QTemporaryDir dir;
        TableDataSet ds = findings(100);
        ds.addRow({QStringLiteral("2006上半年"), QVariant(),
                   QStringLiteral("审核提示文字超出本行宽度的部分不应出现在下一行之中。").repeated(4) +
                       QStringLiteral("末尾标记")});
        const QDate day(2006, 7, 15);
        const PreparedReport r = prepare(findingsLayout(), {&ds}, day);
        QCOMPARE(int(r.pages.size()), 3);
        const QString pdf = dir.filePath(QStringLiteral("findings.pdf"));
        writePdf(r, pdf);
        QCOMPARE(testsupport::pdfPageCount(pdf), 3);
        const auto words = testsupport::pdfWords(pdf);
        QVERIFY(!words.empty());

        for (int page = 0; page < 3; ++page) {
            // The title centred in its cell, both ways.
            const auto *title = findWord(words, page, QStringLiteral("{数据申报表}审核提示"));
            QVERIFY2(title, qPrintable(pageText(words, page)));
            QVERIFY(std::abs(title->boxMm.center().x() - (4.4 + 200.7 / 2)) < 0.5);
            QVERIFY(std::abs(title->boxMm.center().y() - (2.2 + 6.7 / 2)) < 0.5);
            // The page number centred in its footer cell.
            const auto *number = findWord(words, page, QString::number(page + 1));
            QVERIFY(number);
            QVERIFY(std::abs(number->boxMm.center().x() - (171.0 + 17.5 / 2)) < 0.5);
            QVERIFY(std::abs(number->boxMm.center().y() - (288.1 + 3.9 + 2.2)) < 0.5);
            const auto *date = findWord(words, page, dateText(day).section(QLatin1Char(' '), 0, 0));
            QVERIFY2(date, qPrintable(dateText(day) + QStringLiteral(" not in: ") + pageText(words, page)));
            QVERIFY(std::abs(date->boxMm.left() - (31.0 + 0.55)) < 0.5);
        }
        // Left-aligned rule texts start at the inset, one row each 5.8 mm.
        for (int k : {0, 1, 45}) {
            const auto *w = findWord(words, 0, QStringLiteral("第%1条：床位数不能小于零").arg(k + 1));
            QVERIFY2(w, qPrintable(pageText(words, 0)));
            QVERIFY(std::abs(w->boxMm.left() - (68.7 + 0.55)) < 0.5);
            QVERIFY(std::abs(w->boxMm.center().y() - (18.9 + 5.8 * k + 0.6 + 2.2)) < 0.5);
            const auto *label = findWord(words, 0, QStringLiteral("2003年"));
            QVERIFY(label);
            QVERIFY(std::abs(label->boxMm.center().x() - (28.8 + 35.5 / 2)) < 0.5);
        }
        // The long text is cut inside its cell: its end never prints and
        // nothing of it runs past the cell's right edge.
        const QString last = pageText(words, 2);
        QVERIFY2(last.contains(QStringLiteral("审核提示文字超出本行宽度")), qPrintable(last));
        QVERIFY(!last.contains(QStringLiteral("末尾标记")));
        for (const auto &w : words)
            QVERIFY2(w.boxMm.right() < 205.1 + 0.5, qPrintable(w.text));
        // Summary on the last page only.
        QVERIFY(last.contains(QStringLiteral("数据审核结束！")));
        QVERIFY(!pageText(words, 0).contains(QStringLiteral("数据审核结束")));
    }

    void mixedTextKeepsEveryCharacterInThePdf()
    {
        // Digits after Latin letters, and a character the CJK face lacks
        // (drawn through a fallback font), still come out of the PDF as text,
        // and each right-aligned text ends at the inset.
        Layout l;
        l.name = QStringLiteral("mixed");
        PageLayout p;
        Band body{QStringLiteral("Body"), BandKind::Body, 280, {}, {}, {}};
        body.cells.push_back(cell("a", 10, 10, 80, 5, QStringLiteral("Jul 2006 abc12"), 10, false, HAlign::Right));
        body.cells.push_back(cell("b", 10, 20, 80, 5, QStringLiteral("审核 ABC-99 结束"), 10, true, HAlign::Right));
        body.cells.push_back(cell("c", 10, 30, 80, 5, QStringLiteral("xაბy 7"), 10, false, HAlign::Right));
        p.bands.push_back(body);
        l.pages.push_back(p);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("mixed.pdf"));
        writePdf(prepare(l, {}), pdf);
        const auto words = testsupport::pdfWords(pdf);
        const QString all = pageText(words, 0);
        for (const char *w : {"Jul", "2006", "abc12", "审核", "ABC-99", "结束", "7"})
            QVERIFY2(findWord(words, 0, QString::fromUtf8(w)), qPrintable(QString::fromUtf8(w) + QStringLiteral(" not in: ") + all));
        QVERIFY2(all.contains(QStringLiteral("xაბy")), qPrintable(all));
        for (const char *w : {"abc12", "结束", "7"})
            QVERIFY(std::abs(findWord(words, 0, QString::fromUtf8(w))->boxMm.right() - (90 - 0.55)) < 0.5);
    }

    void pdfFailuresLeaveNoFile()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("missing/sub/out.pdf"));
        TableDataSet ds = findings(1);
        const PreparedReport r = prepare(findingsLayout(), {&ds});
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writePdf(r, target));
        QVERIFY(!QFile::exists(target));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writePdf(PreparedReport{}, dir.filePath("empty.pdf")));
        QVERIFY(!QFile::exists(dir.filePath("empty.pdf")));
    }

    void savedReportReadsBackExactly()
    {
        QTemporaryDir dir;
        TableDataSet ds = findings(60);
        PreparedReport r = prepare(findingsLayout(), {&ds}, QDate(2006, 1, 2));
        // Values that do not print short in binary, every style, several lines.
        TextCell odd = cell("odd", 0.1 + 0.2, 28.83 + 6.93 * 17, 1.0 / 3.0, 3.9, QStringLiteral("一\n二 \"引号\"\\ \t&<>"),
                            9.5, true, HAlign::Right);
        odd.vAlign = VAlign::Bottom;
        odd.wordWrap = false;
        odd.insetX = 0;
        odd.insetY = 1e-300;
        odd.lineSpacing = 2.0 / 7.0;
        odd.fontFamily = QStringLiteral("楷体_GB2312");
        r.pages[1].texts.push_back(PreparedText{odd});
        r.pages[1].lines.push_back(PreparedLine{Line{QStringLiteral("l"), 35.48 + 7.21 * 3, -0.0, 1e10, 5e-324, 0}});
        r.pages[1].widthMm = 297.0;
        r.pages[1].heightMm = 210.0;
        r.title = QStringLiteral("标题 ReportMX");
        const QString path = dir.filePath(QStringLiteral("saved.prp"));
        r.save(path);
        const PreparedReport back = PreparedReport::load(path);
        QVERIFY(back == r);
        QCOMPARE(back.pages[1].texts.back().cell.rect.x(), 0.1 + 0.2);

        // A change anywhere makes them differ (the comparison looks at it all).
        PreparedReport changed = back;
        changed.pages[1].texts.back().cell.lineSpacing += 1e-15;
        QVERIFY(changed != r);
    }

    void badPreparedFilesAreRefused()
    {
        QTemporaryDir dir;
        auto write = [&](const char *name, const QByteArray &bytes) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        // A missing file and one that is no prepared report are told apart.
        const auto kindOf = [](const QString &path) -> std::optional<store::ErrorKind> {
            try {
                PreparedReport::load(path);
            } catch (const store::Error &e) {
                return e.kind();
            }
            return std::nullopt;
        };
        QVERIFY(kindOf(dir.filePath("none.prp")) == store::ErrorKind::NotFound);
        QVERIFY(kindOf(write("garbage.prp", "%PDF-1.4 ...")) == store::ErrorKind::CorruptFile);
        QVERIFY(kindOf(write("other.prp", "{\"pages\":[]}")) == store::ErrorKind::CorruptFile);
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            PreparedReport::load(write("future.prp", "{\"format\":\"PDeclare prepared report\",\"version\":2}")));
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            PreparedReport::load(write("size.prp", "{\"format\":\"PDeclare prepared report\",\"version\":1,"
                                                   "\"pages\":[{\"width\":-1,\"height\":297}]}")));
        // Saving where it cannot be written fails and leaves nothing behind.
        const QString target = dir.filePath(QStringLiteral("no/such/dir/x.prp"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, PreparedReport{}.save(target));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_MAIN(EngineTest)
#include "test_engine.moc"
