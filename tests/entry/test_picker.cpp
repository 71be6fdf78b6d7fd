// The project picker: list, incremental search and its order, F8, the
// choice handed back, and a list that cannot be opened.
#include "EntryTestSupport.h"

#include "controls/MessageBox.h"
#include "entry/UnitInData.h"
#include "entry/UnitZk.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

// What the picker handed back last, as its caller keeps it.
static QString ChosenXmh;
static QString ChosenYymcks;

class TestPicker : public QObject {
    Q_OBJECT

    static QPointer<TfrmYymc> open()
    {
        QPointer<TfrmYymc> p = new TfrmYymc(nullptr);
        QObject::connect(p, &TfrmYymc::rowTaken, [](const QString &code, const QString &name) {
            ChosenXmh = code;
            ChosenYymcks = name;
        });
        p->show();
        p->activateWindow();
        if (!QTest::qWaitForWindowActive(p))
            qWarning("picker did not become active");
        return p;
    }
    static int row(TfrmYymc *p) { return p->findChild<QTableView *>("DBGrid1")->currentIndex().row(); }
    static QLineEdit *look(TfrmYymc *p) { return p->findChild<QLineEdit *>("edLook"); }
    static QString mode(TfrmYymc *p) { return p->findChild<QLabel *>("lbSeekDw")->text(); }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static void writeList(const testsupport::TempProgramDir &dir)
    {
        entrytest::writeProjects(dir, {{"1001", "甲医院（脾胃病科）  ", "JYYPWBK"},
                                       {"1002  ", "乙医院（肝病科）", "YYYGBK"},
                                       {"2001", "丙医院", "BYY"},
                                       {"10", "丁医院", "jyy2"}});
    }

private slots:
    void init()
    {
        ui::MessageBox::setTestMode(true);
        ui::MessageBox::clearShown();
        ChosenXmh = QStringLiteral("old");
        ChosenYymcks = QStringLiteral("old name");
    }

    // A failed check leaves its window behind; it must not affect the next case.
    void cleanup() { entrytest::deleteLeftoverWindows(); }

    void windowAndGrid()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QCOMPARE(p->windowTitle(), QStringLiteral("重点专科（专病）监测医院名称"));
        QCOMPARE(p->size(), QSize(381, 461));
        QCOMPARE(p->adoYy().sql(), QStringLiteral("select * from zbzkyy"));
        auto *grid = p->findChild<QTableView *>("DBGrid1");
        QCOMPARE(grid->geometry(), QRect(0, 0, 377, 321));
        QCOMPARE(grid->model()->rowCount(), 4);
        const QStringList titles{"项目编码", "医院(科室)名称", "YB编码"};
        for (int c = 0; c < 3; ++c)
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        // The codes keep at least their widths; the name fills the rest.
        QVERIFY(grid->columnWidth(0) >= 60);
        QVERIFY(grid->columnWidth(2) >= 70);
        QCOMPARE(grid->horizontalHeader()->length(), grid->viewport()->width());
        QCOMPARE(grid->model()->data(grid->model()->index(2, 1)).toString().trimmed(), QStringLiteral("丙医院"));
        QCOMPARE(row(p), 0);
        QCOMPARE(mode(p), QStringLiteral("按编码查询"));
        QVERIFY(p->findChild<QPushButton *>("BitBtn1")->isDefault());
        QCOMPARE(p->focusWidget(), look(p)); // typing searches at once
        delete p;
    }

    void searchAlwaysStartsFromTheTop()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QLineEdit *e = look(p);
        QTest::keyClicks(e, "100");
        QCOMPARE(row(p), 0);
        QTest::keyClicks(e, "2");
        QCOMPARE(row(p), 1);
        QTest::keyClicks(e, "9"); // 10029: nothing, the row stays
        QCOMPARE(row(p), 1);
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(row(p), 1);
        QTest::keyClick(e, Qt::Key_Backspace); // 100 again: from the top
        QCOMPARE(row(p), 0);
        e->setText(QStringLiteral("  20 "));
        QCOMPARE(row(p), 2);
        e->setText(QStringLiteral("10"));
        QCOMPARE(row(p), 0); // the first row that begins with it, not the exact one
        delete p;
    }

    void f8SwitchesTheColumnAndLettersBecomeUpperCase()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QLineEdit *e = look(p);
        QTest::keyClicks(e, "200");
        QCOMPARE(row(p), 2);
        QTest::keyClick(e, Qt::Key_F8);
        QCOMPARE(mode(p), QStringLiteral("按PY码查询")); // switched once
        QCOMPARE(row(p), 2);                             // no search yet
        QCOMPARE(e->text(), QStringLiteral("200"));
        e->clear();
        QTest::keyClicks(e, "yyy");
        QCOMPARE(e->text(), QStringLiteral("YYY"));
        QCOMPARE(row(p), 1);
        QTest::keyClicks(e, "x");
        QCOMPARE(row(p), 1);
        e->setText(QStringLiteral("jyy")); // case-insensitive; "jyy2" lies further down
        QCOMPARE(row(p), 0);

        auto *grid = p->findChild<QTableView *>("DBGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F8);
        QCOMPARE(mode(p), QStringLiteral("按编码查询"));
        QTest::keyClick(p, Qt::Key_F8);
        QCOMPARE(mode(p), QStringLiteral("按PY码查询"));
        delete p;
    }

    void okAfterTypingTakesTheSearchedRow()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QLineEdit *e = look(p);
        e->setFocus();
        QTest::keyClicks(e, "1002");
        QTest::mouseClick(p->findChild<QPushButton *>("BitBtn1"), Qt::LeftButton);
        QCOMPARE(ChosenXmh, QStringLiteral("1002"));
        QCOMPARE(ChosenYymcks, QStringLiteral("乙医院（肝病科）"));
        QVERIFY(p.isNull() || p->result() == QDialog::Accepted);
        flushDeletes();
        QVERIFY(p.isNull());
    }

    void leavingTheSearchBoxEmptiesIt()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QLineEdit *e = look(p);
        e->setFocus();
        QTest::keyClicks(e, "2001");
        QCOMPARE(row(p), 2);
        p->findChild<QTableView *>("DBGrid1")->setFocus(Qt::TabFocusReason);
        QCOMPARE(e->text(), QString());
        QCOMPARE(row(p), 2); // the empty search found nothing
        delete p;
    }

    void navigatorAndGridMoveTheCurrentRow()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        auto click = [&](const char *name) { p->findChild<QToolButton *>(QString::fromLatin1(name))->click(); };
        click("nbLast");
        QCOMPARE(row(p), 3);
        click("nbNext");
        QCOMPARE(row(p), 3);
        click("nbPrior");
        QCOMPARE(row(p), 2);
        click("nbFirst");
        QCOMPARE(row(p), 0);
        click("nbPrior");
        QCOMPARE(row(p), 0);
        auto *grid = p->findChild<QTableView *>("DBGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(p->adoYy().recNo(), 1);
        p->DBGrid1DblClick();
        QCOMPARE(ChosenXmh, QStringLiteral("1002"));
        flushDeletes();
        QVERIFY(p.isNull());
    }

    // The user's own gestures: Enter in the search box presses OK; a
    // double-click on a row takes that row.
    // Only the search box searches: letters or digits typed into the grid
    // leave its current row alone.
    void typingInTheGridDoesNotMoveTheRow()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        auto *grid = p->findChild<QTableView *>("DBGrid1");
        grid->setFocus();
        QTest::keyClicks(grid, "1002");
        QCOMPARE(row(p), 0);
        QTest::keyClicks(grid, "B");
        QCOMPARE(row(p), 0);
        delete p;
    }

    void enterAndDoubleClickTakeTheRow()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        look(p)->setFocus();
        QTest::keyClicks(look(p), "200");
        QTest::keyClick(look(p), Qt::Key_Return);
        QCOMPARE(ChosenXmh, QStringLiteral("2001"));
        flushDeletes();
        QVERIFY(p.isNull());

        QPointer<TfrmYymc> q = open();
        auto *grid = q->findChild<QTableView *>("DBGrid1");
        const QPoint at = grid->visualRect(grid->model()->index(3, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(ChosenXmh, QStringLiteral("10"));
        QCOMPARE(ChosenYymcks, QStringLiteral("丁医院"));
        flushDeletes();
        QVERIFY(q.isNull());
    }

    void exitAndCloseBoxKeepTheValues()
    {
        testsupport::TempProgramDir dir;
        writeList(dir);
        QPointer<TfrmYymc> p = open();
        QTest::keyClicks(look(p), "2001");
        p->findChild<QPushButton *>("BitBtn2")->click();
        QCOMPARE(ChosenXmh, QStringLiteral("old"));
        QPointer<TfrmYymc> q = open();
        QTest::keyClick(q, Qt::Key_Escape); // no binding
        QVERIFY(q && q->isVisible());
        q->close();
        QCOMPARE(ChosenYymcks, QStringLiteral("old name"));
        flushDeletes();
        QVERIFY(q.isNull());
    }

    void emptyList()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeProjects(dir, {});
        QPointer<TfrmYymc> p = open();
        QCOMPARE(p->findChild<QTableView *>("DBGrid1")->model()->rowCount(), 0);
        QTest::keyClicks(look(p), "1");
        p->DBGrid1DblClick();
        QVERIFY(p->isVisible());
        p->BitBtn1Click();
        QCOMPARE(ChosenXmh, QStringLiteral("old"));
        flushDeletes();
        QVERIFY(p.isNull());
    }

    // A list without one of its columns lists what it has and says why the
    // column stays empty, once; the choice still works.
    void listWithoutAColumnSaysSo()
    {
        testsupport::TempProgramDir dir;
        store::DbfTable::create(dir.file("DataMeta/zbzkyy.dbf"),
                                {entrytest::textField("Xmh", 10), entrytest::textField("yymcks", 80)},
                                {{QStringLiteral("1001"), QStringLiteral("甲医院")}});
        QPointer<TfrmYymc> p = open();
        QCoreApplication::processEvents(); // painting reads every cell
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::Error);
        QVERIFY(ui::MessageBox::shown().front().text.contains(QStringLiteral("ybm")));
        QAbstractItemModel *model = p->findChild<QTableView *>("DBGrid1")->model();
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data().toString().trimmed(), QStringLiteral("1001"));
        QCOMPARE(model->index(0, 1).data().toString().trimmed(), QStringLiteral("甲医院"));
        p->findChild<QPushButton *>("BitBtn1")->click();
        QCOMPARE(ChosenXmh, QStringLiteral("1001"));
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
    }

    void listThatCannotBeOpened()
    {
        testsupport::TempProgramDir dir;
        QVERIFY(QFile::remove(dir.file("DataMeta/zbzkyy.dbf")));
        QPointer<TfrmYymc> p = open();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::Error);
        QCOMPARE(ui::MessageBox::shown().front().caption, ui::applicationTitle());
        QVERIFY(p->isVisible());
        QCOMPARE(p->findChild<QTableView *>("DBGrid1")->model()->rowCount(), 0);
        QTest::keyClicks(look(p), "1"); // searching a closed list is quiet
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        p->DBGrid1DblClick();
        QVERIFY(p->isVisible());
        p->findChild<QPushButton *>("BitBtn1")->click();
        QCOMPARE(ChosenXmh, QStringLiteral("old"));
        flushDeletes();
        QVERIFY(p.isNull());
    }
};

QTEST_MAIN(TestPicker)
#include "test_picker.moc"
