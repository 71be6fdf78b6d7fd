// The entry window on a laptop: a 1366 x 768 screen at 125 % scaling, where
// the designed window (823 x 676, 1029 x 845 device pixels) does not fit.
#include "EntryTestSupport.h"

#include "controls/TDBNumberEdit.h"
#include "store/Catalogue.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QtTest>

namespace cat = store::catalogue;

class TestFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::MessageBox::setTestMode(true); }

    // The window stays inside the screen's available area at the designed
    // width; the grid scrolls, row 31 comes into sight when the keyboard
    // reaches it, and 保存退出 is in sight from the start.
    void theWindowFitsALaptopScreen()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->devicePixelRatio(), 1.25);
        const QRect area = screen->availableGeometry();
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = entrytest::openEntryWindow();
        QVERIFY2(area.contains(w->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                  .arg(w->frameGeometry().x())
                                                                  .arg(w->frameGeometry().y())
                                                                  .arg(w->frameGeometry().width())
                                                                  .arg(w->frameGeometry().height())));
        QCOMPARE(w->width(), 823);
        QVERIFY(w->height() < 676);
        QVERIFY(w->height() > 400);

        QWidget *viewport = w->findChild<QScrollArea *>(QStringLiteral("ScrollBox1"))->viewport();
        // On the screen, inside the window and, for what scrolls, inside the
        // scrolled part's visible rectangle.
        const auto inSight = [&](QWidget *x) {
            const QRect global(x->mapToGlobal(QPoint(0, 0)), x->size());
            QRect seen(w->mapToGlobal(QPoint(0, 0)), w->size());
            if (viewport->isAncestorOf(x))
                seen &= QRect(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
            return x->isVisible() && seen.contains(global) && area.contains(global);
        };
        QVERIFY(inSight(w->findChild<QPushButton *>(QStringLiteral("Btn_Save"))));
        QWidget *first = w->findEdit(QStringLiteral("DBNcws_yy1"));
        first->setFocus(Qt::TabFocusReason);
        for (int row = 1; row < 31; ++row)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(entrytest::focusName(), QStringLiteral("DBN") + cat::indicators()[30].field + QStringLiteral("1"));
        QVERIFY(inSight(QApplication::focusWidget()));
        first->setFocus(Qt::TabFocusReason);
        QTest::keyClick(first, Qt::Key_Up); // wraps to the save button
        QCOMPARE(entrytest::focusName(), QStringLiteral("Btn_Save"));
        QVERIFY(inSight(QApplication::focusWidget()));
        delete w;
    }
};

QTEST_MAIN(TestFit)
#include "test_fit.moc"
