// The findings report as printed: texts and their places in the PDF, page
// breaks with header and footer on every page, the summary after the last
// finding, a long text kept inside its line.
#include "check/FindingsReport.h"
#include "controls/Fonts.h"
#include "report/Prepared.h"
#include "report/Preview.h"
#include "tests/support/TestSupport.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <deque>

namespace {

// Findings as the report reads them from AQry_Shtable1.
class FakeFindings : public report::DataSet {
public:
    explicit FakeFindings(std::vector<std::pair<QString, QString>> rows) : m_rows(std::move(rows)) {}
    QString name() const override { return QStringLiteral("AQry_Shtable1"); }
    void first() override { m_pos = 0; }
    void next() override { ++m_pos; }
    bool eof() const override { return m_pos >= m_rows.size(); }
    QVariant value(const QString &column) const override
    {
        const auto &row = m_rows[m_pos];
        if (column.compare(QLatin1String("name1"), Qt::CaseInsensitive) == 0)
            return row.first;
        if (column.compare(QLatin1String("name3"), Qt::CaseInsensitive) == 0)
            return row.second;
        return QString();
    }
    bool isNumeric(const QString &) const override { return false; }

private:
    std::vector<std::pair<QString, QString>> m_rows;
    std::size_t m_pos = 0;
};

const double kTol = 0.5;
const QDate kDate(2006, 7, 15);

using Words = std::vector<testsupport::PdfWord>;

Words onPage(const Words &words, int page)
{
    Words out;
    for (const auto &w : words)
        if (w.page == page)
            out.push_back(w);
    return out;
}

// The text as one word: pdftotext splits a line at some punctuation and at
// blanks, so neighbouring words on the same line are joined (a blank where
// they do not touch) until they spell the text. The texts compare exactly.
std::deque<testsupport::PdfWord> g_joined; // stable addresses for the returned words
const testsupport::PdfWord *find(const Words &words, const QString &text, int nth = 0)
{
    const QString &wanted = text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        testsupport::PdfWord joined = words[i];
        for (std::size_t j = i + 1; joined.text.size() < wanted.size() && j < words.size(); ++j) {
            const auto &w = words[j];
            if (w.page != joined.page || std::abs(w.boxMm.bottom() - joined.boxMm.bottom()) > 0.3)
                break;
            joined.text += (w.boxMm.left() - joined.boxMm.right() > 0.2 ? QStringLiteral(" ") : QString()) + w.text;
            joined.boxMm = joined.boxMm.united(w.boxMm);
        }
        if (joined.text == wanted && nth-- == 0) {
            g_joined.push_back(joined);
            return &g_joined.back();
        }
    }
    return nullptr;
}

bool near(double a, double b) { return std::abs(a - b) <= kTol; }

} // namespace

class FindingsReportTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;

    Words render(const std::vector<std::pair<QString, QString>> &rows, int *pages = nullptr)
    {
        FakeFindings data(rows);
        const report::PreparedReport prepared = report::prepare(check::findingsLayout(), {&data}, kDate);
        const QString pdf = m_tmp.filePath(QStringLiteral("findings%1.pdf").arg(++m_count));
        report::writePdf(prepared, pdf);
        if (pages)
            *pages = testsupport::pdfPageCount(pdf);
        return testsupport::pdfWords(pdf);
    }
    int m_count = 0;

    // A word centred in a cell (horizontally and vertically).
    static void verifyCentred(const testsupport::PdfWord *w, double left, double width, double top, double height)
    {
        QVERIFY(w);
        QVERIFY2(near(w->boxMm.center().x(), left + width / 2),
                 qPrintable(QStringLiteral("%1: x centre %2").arg(w->text).arg(w->boxMm.center().x())));
        QVERIFY2(near(w->boxMm.center().y(), top + height / 2),
                 qPrintable(QStringLiteral("%1: y centre %2").arg(w->text).arg(w->boxMm.center().y())));
    }
    // A word left-aligned in a cell and vertically centred.
    static void verifyLeft(const testsupport::PdfWord *w, double left, double top, double height)
    {
        QVERIFY(w);
        QVERIFY2(near(w->boxMm.left(), left + 0.55),
                 qPrintable(QStringLiteral("%1: left %2").arg(w->text).arg(w->boxMm.left())));
        QVERIFY2(near(w->boxMm.center().y(), top + height / 2),
                 qPrintable(QStringLiteral("%1: y centre %2").arg(w->text).arg(w->boxMm.center().y())));
    }
    // Header on top, footer at the bottom of the page, with the page number.
    static void verifyFrame(const Words &page, int number)
    {
        verifyCentred(find(page, QStringLiteral("{数据申报表}审核提示")), 4.4, 200.7, 2.2, 6.7);
        const double footer = 297.0 - 8.9;
        verifyCentred(find(page, QStringLiteral("日期:")), 16.6, 14.1, footer + 3.9, 4.4);
        verifyLeft(find(page, QLocale::system().toString(kDate, QLocale::ShortFormat)), 31.0, footer + 3.9, 4.4);
        verifyCentred(find(page, QStringLiteral("第:")), 164.1, 6.7, footer + 3.9, 4.4);
        verifyCentred(find(page, QString::number(number)), 171.0, 17.5, footer + 3.9, 4.4);
        verifyCentred(find(page, QStringLiteral("页")), 188.8, 3.0, footer + 3.9, 4.4);
    }

private slots:
    // The program's font substitutions: 宋体 is drawn with the face the
    // program uses, so the positions checked are those of its own output.
    void initTestCase() { ui::installFontSubstitutions(); }

    void theRulesAreThreeReportUnitsThick()
    {
        const report::Layout layout = check::findingsLayout();
        int rules = 0;
        for (const report::Band &band : layout.pages.at(0).bands)
            for (const report::Line &line : band.lines) {
                ++rules;
                QVERIFY(std::abs(line.widthMm - 0.8316) < 0.001);
                QCOMPARE(line.x1, 4.4);
                QVERIFY(std::abs(line.x2 - 205.1) < 1e-9);
            }
        QCOMPARE(rules, 2);
    }

    void oneFindingOnOnePage()
    {
        int pages = 0;
        const Words words = render({{QStringLiteral("2003年"), QStringLiteral("病床使用率超过150%")}}, &pages);
        QCOMPARE(pages, 1);
        verifyFrame(words, 1);
        const double row = 18.9;
        verifyCentred(find(words, QStringLiteral("2003年")), 28.8, 35.5, row + 0.6, 4.4);
        verifyLeft(find(words, QStringLiteral("病床使用率超过150%")), 68.7, row + 0.6, 4.4);
        // The summary right under the only finding.
        verifyCentred(find(words, QStringLiteral("数据审核结束！")), 0.0, 200.7, row + 5.8 + 3.3, 6.7);
    }

    void manyFindingsFlowOverPages()
    {
        // 46 rows fit between header and footer; 100 make three pages.
        std::vector<std::pair<QString, QString>> rows;
        for (int i = 1; i <= 100; ++i)
            rows.push_back({QStringLiteral("2004年"), QStringLiteral("finding%1").arg(i)});
        int pages = 0;
        const Words words = render(rows, &pages);
        QCOMPARE(pages, 3);
        for (int p = 0; p < 3; ++p) {
            const Words page = onPage(words, p);
            verifyFrame(page, p + 1);
            QCOMPARE(find(page, QStringLiteral("数据审核结束！")) != nullptr, p == 2);
        }
        // Page 2 starts right under its header with the next finding, and the
        // pitch stays 5.8 mm.
        const Words second = onPage(words, 1);
        const auto *first = find(second, QStringLiteral("finding47"));
        verifyLeft(first, 68.7, 18.9 + 0.6, 4.4);
        verifyLeft(find(second, QStringLiteral("finding48")), 68.7, 18.9 + 5.8 + 0.6, 4.4);
        verifyLeft(find(onPage(words, 0), QStringLiteral("finding46")), 68.7, 18.9 + 45 * 5.8 + 0.6, 4.4);
        // The summary follows the last finding on the last page.
        const Words third = onPage(words, 2);
        const auto *last = find(third, QStringLiteral("finding100"));
        QVERIFY(last);
        const double lastTop = last->boxMm.center().y() - 0.6 - 2.2;
        verifyCentred(find(third, QStringLiteral("数据审核结束！")), 0.0, 200.7, lastTop + 5.8 + 3.3, 6.7);
    }

    void aLongTextWrapsInsideItsLine()
    {
        QString longText;
        for (int i = 0; i < 6; ++i)
            longText += QStringLiteral("设备使用率不能大于百分之一百请核对使用率 ");
        const Words words = render({{QStringLiteral("2002年"), longText.trimmed()},
                                    {QStringLiteral("2003年"), QStringLiteral("next")}});
        // Every piece of the long text lies within the column's width.
        int pieces = 0;
        for (const auto &w : words) {
            if (!w.text.startsWith(QStringLiteral("设备")))
                continue;
            ++pieces;
            QVERIFY(w.boxMm.left() >= 68.7 - kTol);
            QVERIFY(w.boxMm.right() <= 68.7 + 136.4 + kTol);
        }
        QVERIFY(pieces >= 1);
        // The band keeps its height: the next finding is one pitch lower.
        verifyLeft(find(words, QStringLiteral("next")), 68.7, 18.9 + 5.8 + 0.6, 4.4);
        verifyCentred(find(words, QStringLiteral("2003年")), 28.8, 35.5, 18.9 + 5.8 + 0.6, 4.4);
    }
};

QTEST_MAIN(FindingsReportTest)
#include "test_findings_report.moc"
