// The preview window in test mode: its buttons, zoom, find, open and save
// through queued file names, and printing through a PDF printer.
#include "report/Preview.h"
#include "tests/report/ReportTestData.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace report;
using namespace reporttest;

namespace {

// 100 findings (three pages); row 60 on page 2 and the last row on page 3
// carry words found nowhere else.
PreparedReport threePages()
{
    TableDataSet ds(QStringLiteral("AQry_Shtable1"),
                    {QStringLiteral("name1"), QStringLiteral("name2"), QStringLiteral("name3")});
    for (int i = 0; i < 100; ++i) {
        QString text = QStringLiteral("普通提示%1").arg(i + 1);
        if (i == 59)
            text = QStringLiteral("专科门诊量不能大于医院门诊量");
        if (i == 99)
            text = QStringLiteral("第三页的门诊量提示");
        ds.addRow({QStringLiteral("2004年"), QVariant(), text});
    }
    return prepare(findingsLayout(), {&ds}, QDate(2006, 7, 15));
}

QStringList pageNumbersOf(const QString &pdf)
{
    // The footer's page number is the only word right of "第:".
    QStringList numbers;
    const auto words = testsupport::pdfWords(pdf);
    for (const auto &w : words)
        if (w.boxMm.left() > 171.0 && w.boxMm.right() < 188.5 && w.boxMm.top() > 288)
            numbers << w.text;
    return numbers;
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installTestFonts();
        PreviewWindow::setTestMode(true);
    }
    void cleanup()
    {
        PreviewWindow::setTestHook({});
        PreviewWindow::clearShownReports();
        PreviewWindow::takeMessages();
    }

    void opensWithItsSevenButtonsAtPageWidth()
    {
        const PreparedReport r = threePages();
        bool ran = false;
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            ran = true;
            QCOMPARE(w.windowTitle(), QStringLiteral("Preview"));
            QVERIFY(w.isVisible());
            const auto *bar = w.findChild<QToolBar *>();
            QVERIFY(bar);
            QStringList names;
            for (const QToolButton *b : bar->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
                if (!b->objectName().startsWith(QLatin1String("qt_")))
                    names << b->objectName();
            QCOMPARE(names, QStringList({"btnZoom", "btnOpen", "btnSave", "btnPrint", "btnFind", "btnHelp",
                                         "btnClose"}));
            for (const QString &name : names)
                QVERIFY(!w.findChild<QToolButton *>(name)->text().isEmpty());
            // Printing needs a printer; the offscreen test machine has none.
            QCOMPARE(w.findChild<QToolButton *>("btnPrint")->isEnabled(),
                     !QPrinterInfo::availablePrinters().isEmpty());
            QCOMPARE(w.pageCount(), 3);
            QCOMPARE(w.currentPage(), 0);
            // Page width: the sheet fills the view's width.
            QCOMPARE(w.zoomMode(), PreviewWindow::ZoomMode::PageWidth);
            const auto *scroll = w.findChild<QScrollArea *>("pageScroll");
            const double sheetPx = 210 * w.pixelsPerMm();
            QVERIFY2(sheetPx > scroll->viewport()->width() - 60 && sheetPx <= scroll->viewport()->width(),
                     qPrintable(QString::number(sheetPx)));
            // The sheet is drawn: the page area holds dark (text) pixels.
            const QImage shot = w.grab().toImage();
            const QString lookDir = qEnvironmentVariable("PDECLARE_LOOK_DIR");
            if (!lookDir.isEmpty())
                shot.save(QDir(lookDir).filePath(QStringLiteral("report-preview.png")));
            int dark = 0;
            for (int y = 0; y < shot.height(); y += 2)
                for (int x = 0; x < shot.width(); x += 2)
                    if (qGray(shot.pixel(x, y)) < 60)
                        ++dark;
            QVERIFY(dark > 100);
        });
        PreviewWindow::showModal(nullptr, r);
        QVERIFY(ran);
        QCOMPARE(int(PreviewWindow::shownReports().size()), 1);
        QVERIFY(PreviewWindow::shownReports().front() == r);
    }

    void aReportWithoutPagesOpensAndFindsNothing()
    {
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            QCOMPARE(w.pageCount(), 0);
            QCOMPARE(w.currentPage(), -1);
            QVERIFY(!w.findNext(QStringLiteral("x")));
            w.goToPage(3);
            w.cycleZoom();
            w.printReport(); // nothing to print: returns at once
        });
        PreviewWindow::showModal(nullptr, PreparedReport{});
        QCOMPARE(int(PreviewWindow::shownReports().size()), 1);
    }

    // A fitted zoom follows the window: the sheet fills the width again after
    // the user (or the window manager) resizes the preview.
    void pageWidthFollowsTheWindowSize()
    {
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            const auto *scroll = w.findChild<QScrollArea *>("pageScroll");
            for (const QSize size : {QSize(1200, 900), QSize(640, 500)}) {
                w.resize(size);
                QCoreApplication::processEvents();
                const double sheetPx = 210 * w.pixelsPerMm();
                QVERIFY2(sheetPx > scroll->viewport()->width() - 60 && sheetPx <= scroll->viewport()->width(),
                         qPrintable(QStringLiteral("%1 in %2").arg(sheetPx).arg(scroll->viewport()->width())));
            }
        });
        PreviewWindow::showModal(nullptr, threePages());
    }

    void zoomCyclesThroughItsThreeModes()
    {
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            const double width = w.pixelsPerMm();
            w.findChild<QToolButton *>("btnZoom")->click();
            QCOMPARE(w.zoomMode(), PreviewWindow::ZoomMode::WholePage);
            const auto *scroll = w.findChild<QScrollArea *>("pageScroll");
            QVERIFY(297 * w.pixelsPerMm() <= scroll->viewport()->height());
            QVERIFY(w.pixelsPerMm() < width);
            w.cycleZoom();
            QCOMPARE(w.zoomMode(), PreviewWindow::ZoomMode::Actual);
            QVERIFY(qAbs(w.pixelsPerMm() - w.logicalDpiX() / 25.4) < 1e-9);
            w.cycleZoom();
            QCOMPARE(w.zoomMode(), PreviewWindow::ZoomMode::PageWidth);
            QVERIFY(qAbs(w.pixelsPerMm() - width) < 1e-9);
        });
        PreviewWindow::showModal(nullptr, threePages());
    }

    void findMovesToTheMatchAndHighlightsIt()
    {
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            QVERIFY(w.findNext(QStringLiteral("专科门诊量")));
            QCOMPARE(w.highlightedPage(), 1);
            QCOMPARE(w.currentPage(), 1);
            // The highlight is the line of that row (row 14 of page 2).
            const QRectF box = w.highlightedRectMm();
            QVERIFY(qAbs(box.left() - (68.7 + 0.55)) < 1e-6);
            QVERIFY(box.top() >= 18.9 + 5.8 * 13 && box.bottom() <= 18.9 + 5.8 * 14);

            // "门诊量" occurs twice in that row and once on page 3: each in
            // turn, then round again.
            QVERIFY(w.findNext(QStringLiteral("门诊量")));
            QCOMPARE(w.highlightedPage(), 1);
            QVERIFY(w.findNext(QStringLiteral("门诊量")));
            QCOMPARE(w.highlightedPage(), 1);
            QVERIFY(w.findNext(QStringLiteral("门诊量")));
            QCOMPARE(w.highlightedPage(), 2);
            QCOMPARE(w.currentPage(), 2);
            QVERIFY(w.findNext(QStringLiteral("门诊量")));
            QCOMPARE(w.highlightedPage(), 1);

            QVERIFY(!w.findNext(QStringLiteral("没有这段文字")));
            QCOMPARE(w.highlightedPage(), -1);
            const QStringList said = PreviewWindow::takeMessages();
            QCOMPARE(said.size(), 1);
            QVERIFY(said.front().contains(QStringLiteral("没有这段文字")));

            // The button opens the find bar; typing and pressing it finds.
            auto *edit = w.findChild<QLineEdit *>("findEdit");
            QVERIFY(edit && !edit->isVisible());
            w.findChild<QToolButton *>("btnFind")->click();
            QVERIFY(edit->isVisible());
            edit->setText(QStringLiteral("第三页"));
            w.findChild<QToolButton *>("btnFind")->click();
            QCOMPARE(w.highlightedPage(), 2);
        });
        PreviewWindow::showModal(nullptr, threePages());
    }

    void saveAndOpenThroughTheDialogs()
    {
        QTemporaryDir dir;
        const QString prp = dir.filePath(QStringLiteral("findings.prp"));
        const QString pdf = dir.filePath(QStringLiteral("findings.pdf"));
        const QString garbage = dir.filePath(QStringLiteral("garbage.prp"));
        QFile g(garbage);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("not a report");
        g.close();
        TableDataSet one = findings(1);
        const PreparedReport small = prepare(findingsLayout(), {&one});
        small.save(dir.filePath(QStringLiteral("small.prp")));

        const PreparedReport r = threePages();
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            PreviewWindow::queueFileName(prp);
            QVERIFY(w.saveReport());
            QVERIFY(PreparedReport::load(prp) == r);
            PreviewWindow::queueFileName(pdf);
            w.findChild<QToolButton *>("btnSave")->click();
            QCOMPARE(testsupport::pdfPageCount(pdf), 3);
            // Cancelled: nothing happens.
            QVERIFY(!w.saveReport());

            // A file that is not a prepared report is refused with a message
            // and the pages on view stay.
            PreviewWindow::queueFileName(garbage);
            QVERIFY(!w.openReport());
            QCOMPARE(PreviewWindow::takeMessages().size(), 1);
            QCOMPARE(w.pageCount(), 3);
            PreviewWindow::queueFileName(dir.filePath(QStringLiteral("small.prp")));
            w.findChild<QToolButton *>("btnOpen")->click();
            QCOMPARE(w.pageCount(), 1);
            QVERIFY(w.report() == small);
        });
        PreviewWindow::showModal(nullptr, r);
    }

    void helpSaysWhatEachButtonDoes()
    {
        PreviewWindow::setTestHook([&](PreviewWindow &w) {
            w.findChild<QToolButton *>("btnHelp")->click();
            const QStringList said = PreviewWindow::takeMessages();
            QCOMPARE(said.size(), 1);
            for (const char *name : {"btnZoom", "btnOpen", "btnSave", "btnPrint", "btnFind", "btnClose"})
                QVERIFY(said.front().contains(w.findChild<QToolButton *>(name)->text()));
        });
        PreviewWindow::showModal(nullptr, threePages());
    }

    void printsTheChosenRangeAndCopies()
    {
        QTemporaryDir dir;
        const PreparedReport r = threePages();
        PreviewWindow w(r);
        auto printTo = [&](const QString &name, int from, int to, int copies, bool collate) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(name));
            printer.setPrintRange(from > 0 ? QPrinter::PageRange : QPrinter::AllPages);
            printer.setFromTo(from, to);
            printer.setCopyCount(copies);
            printer.setCollateCopies(collate);
            w.printPages(printer, 0);
            return pageNumbersOf(dir.filePath(name));
        };
        QCOMPARE(printTo("all.pdf", 0, 0, 1, true), QStringList({"1", "2", "3"}));
        QCOMPARE(printTo("range.pdf", 2, 3, 1, true), QStringList({"2", "3"}));
        QCOMPARE(printTo("collated.pdf", 2, 3, 2, true), QStringList({"2", "3", "2", "3"}));
        QCOMPARE(printTo("uncollated.pdf", 2, 3, 2, false), QStringList({"2", "2", "3", "3"}));
        QCOMPARE(printTo("clamped.pdf", 3, 9, 1, true), QStringList({"3"}));

        // The printed sheet has the geometry of the PDF: the title centred.
        const auto words = testsupport::pdfWords(dir.filePath("all.pdf"));
        bool titleFound = false;
        for (const auto &word : words)
            if (word.page == 0 && word.text.startsWith(QStringLiteral("{数据申报表}"))) {
                titleFound = true;
                QVERIFY(qAbs(word.boxMm.center().x() - (4.4 + 200.7 / 2)) < 0.5);
            }
        QVERIFY(titleFound);
    }
};

QTEST_MAIN(PreviewTest)
#include "test_preview.moc"
