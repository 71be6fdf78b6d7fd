// The data entry window: layout built from the catalogue, focus movement,
// load and save checked in the bytes of result.dbf, rule prompts, wheel and
// hints.
#include "EntryTestSupport.h"

#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "entry/UnitInData.h"
#include "entry/UnitZk.h"
#include "store/Catalogue.h"
#include "store/UDeclareFunction.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <functional>

namespace cat = store::catalogue;
using ui::TDBNumberEdit;
using entrytest::focusName;
using entrytest::shownBox;

namespace {

QStringList boxTexts()
{
    QStringList texts;
    for (const ui::ShownBox &b : ui::MessageBox::shown())
        texts << b.text;
    return texts;
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace

class TestInData : public QObject {
    Q_OBJECT

    static TfrmInData *open() { return entrytest::openEntryWindow(); }

    static TDBNumberEdit *edit(TfrmInData *w, const QString &name)
    {
        TDBNumberEdit *e = w->findEdit(name);
        if (!e)
            qWarning("no edit %s", qPrintable(name));
        return e;
    }

    // Clicks "选择..." and lets act drive the modal picker once it is up.
    static void pick(TfrmInData *w, const std::function<void(TfrmYymc *)> &act)
    {
        bool ran = false;
        QTimer::singleShot(0, w, [&] {
            auto *picker = qobject_cast<TfrmYymc *>(QApplication::activeModalWidget());
            if (!picker) {
                qWarning("no picker is up");
                if (auto *m = QApplication::activeModalWidget())
                    m->close();
                return;
            }
            if (!QTest::qWaitForWindowActive(picker)) {
                qWarning("the picker did not become the active window");
                picker->close();
                return;
            }
            ran = true;
            act(picker);
        });
        w->findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(ran);
    }

    // Leaves the focused edit by Tab, the way a user moves on.
    static void leave(TDBNumberEdit *e)
    {
        e->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(e, Qt::Key_Tab);
    }

private slots:
    void init()
    {
        ui::MessageBox::setTestMode(true);
        ui::MessageBox::clearShown();
    }

    // A failed check leaves its window behind; it must not affect the next case.
    void cleanup() { entrytest::deleteLeftoverWindows(); }

    // Leaving the picker without taking a row changes nothing: the project
    // shown stays (on the template: none, and saving is refused), and the
    // window has nothing unsaved. The picker opens on the project shown.
    void cancelledPickKeepsTheProject()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        entrytest::writeProjects(dir, {{"1001", "甲医院", "JYY"}, {"1002", "乙医院", "YYY"}, {"1003", "丙医院", "BYY"}});
        const QByteArray before = testsupport::fileBytes(dir.file("Result/result.dbf"));
        TfrmInData *w = open();
        auto *project = w->findChild<QLineEdit *>("DBEdt_yydm");
        pick(w, [](TfrmYymc *p) { p->findChild<QPushButton *>("BitBtn2")->click(); });
        QCOMPARE(project->text(), QString());
        w->Btn_SaveClick();
        QCOMPARE(boxTexts(), QStringList{"请输入项目编号"});
        QCOMPARE(testsupport::fileBytes(dir.file("Result/result.dbf")), before);
        delete w;

        std::vector<entrytest::Row> rows;
        for (const cat::Period &p : cat::periods())
            rows.push_back({p.code, "1003  丙医院", {{"cws_yy", 40.0}}});
        entrytest::writeResult(dir, rows);
        const QByteArray loaded = testsupport::fileBytes(dir.file("Result/result.dbf"));
        ui::MessageBox::clearShown();
        w = open();
        project = w->findChild<QLineEdit *>("DBEdt_yydm");
        QString current;
        pick(w, [&current](TfrmYymc *p) {
            auto *grid = p->findChild<QTableView *>("DBGrid1");
            current = grid->model()->index(grid->currentIndex().row(), 0).data().toString().trimmed();
            p->findChild<QPushButton *>("BitBtn2")->click();
        });
        QCOMPARE(current, QStringLiteral("1003"));
        QCOMPARE(project->text(), QStringLiteral("1003  丙医院"));
        pick(w, [](TfrmYymc *p) { p->close(); });
        QCOMPARE(project->text(), QStringLiteral("1003  丙医院"));
        QVERIFY(w->close()); // nothing to ask about
        QVERIFY(ui::MessageBox::shown().empty());
        QCOMPARE(testsupport::fileBytes(dir.file("Result/result.dbf")), loaded);
    }

    void layoutFromCatalogue()
    {
        testsupport::TempProgramDir dir;
        TfrmInData *w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("数据录入"));
        QCOMPARE(w->size(), QSize(823, 676));
        QCOMPARE(w->numberEdits().size(), std::size_t(295));
        QCOMPARE(w->findChildren<TDBNumberEdit *>().size(), 295);
        const int xs[] = {309, 402, 494, 586, 679};
        const auto &inds = cat::indicators();
        for (int p = 1; p <= 5; ++p)
            for (int i = 0; i < int(inds.size()); ++i) {
                TDBNumberEdit *e = w->findEdit(QStringLiteral("DBN%1%2").arg(inds[i].field).arg(p));
                QVERIFY(e);
                QCOMPARE(e->geometry(), QRect(xs[p - 1], 111 + 26 * i, 91, 24));
                QCOMPARE(e->maxValue(), 999999999.99);
                QCOMPARE(e->minValue(), 0.0);
            }
        QCOMPARE(edit(w, "DBNjsjxry5")->y(), 1619);
        // The largest figure is shown whole, not cut at the left.
        {
            TDBNumberEdit *e = edit(w, "DBNjsjxry5");
            e->setNumber(999999999.99);
            // Room inside the frame and the edit's own 2-pixel margins.
            const int frame = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e);
            const int room = e->width() - 2 * frame - 2 * 2;
            QVERIFY2(e->fontMetrics().horizontalAdvance(e->text()) <= room,
                     qPrintable(QString::number(e->fontMetrics().horizontalAdvance(e->text()))));
        }
        QVERIFY(w->findEdit("DBNzdfhl_MC1"));
        QCOMPARE(w->findEdit("DBNzdfhl_MC3")->objectName(), QStringLiteral("DBNzdfhl_mc3"));
        QVERIFY(!w->findEdit("DBNcws_yy6"));

        auto *banner = w->findChild<QLabel *>("Panel2");
        QCOMPARE(banner->height(), 41);
        auto *yydm = w->findChild<QLineEdit *>("DBEdt_yydm");
        QVERIFY(!yydm->isEnabled());
        QCOMPARE(yydm->geometry().topLeft(), QPoint(92, 49));
        QCOMPARE(yydm->width(), 301);
        auto *choose = w->findChild<QToolButton *>("SpeedButton1");
        QCOMPARE(choose->geometry(), QRect(398, 49, 59, 22));
        auto *save = w->findChild<QPushButton *>("Btn_Save");
        QCOMPARE(save->geometry(), QRect(688, 16, 75, 25));
        QCOMPARE(save->parentWidget()->height(), 57);
        QCOMPARE(save->parentWidget()->geometry().bottom(), w->content()->height() - 1);

        QCOMPARE(w->findChild<QLabel *>("Lbl_Header")->text(), QStringLiteral("指 标    "));
        for (const cat::Period &p : cat::periods())
            QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Lbl_Period%1").arg(p.index))->text(), p.entryTitle);

        // Captions and tooltips come from the catalogue.
        QCOMPARE(w->findChild<QLabel *>("Lbl_cws_yy")->text(), QStringLiteral("(1)医院床位数 "));
        QCOMPARE(w->findChild<QLabel *>("Lbl_cws_yy")->toolTip(), QStringLiteral("指医院实际拥有床位数"));
        QCOMPARE(w->findChild<QLabel *>("Lbl_zdfhl_rc")->text(), QStringLiteral("(2)入出诊断符合率%"));
        QVERIFY(w->findChild<QLabel *>("Lbl_zykt_sbj")->toolTip().isEmpty());
        QCOMPARE(w->findChild<QLabel *>("Lbl_Item21")->toolTip(), cat::items()[20].tooltip);
        QCOMPARE(w->findChild<QLabel *>("Lbl_Item7")->toolTip(),
                 QStringLiteral("重点专科(专病)项目门诊收入∕门诊人次的总和"));
        QVERIFY(w->findChild<QLabel *>("Lbl_Item1")->toolTip().isEmpty());
        QCOMPARE(w->findChild<QLabel *>("Lbl_Group4")->text(),
                 QStringLiteral("教\n学\n及\n开\n展\n学\n术\n活\n动\n"));
        delete w;
    }

    void rulesSpanSubItemsItemsOrGroups()
    {
        testsupport::TempProgramDir dir;
        TfrmInData *w = open();
        const QImage img = w->content()->grab().toImage();
        auto dark = [&](int x, int y) { return qGray(img.pixel(x, y)) < 100; };
        auto ruleY = [](int boundary) { return 109 + 26 * boundary + 1; };
        // cws_yy | cws_zk: two sub-items of one item.
        QVERIFY(!dark(30, ruleY(1)));
        QVERIFY(!dark(90, ruleY(1)));
        QVERIFY(dark(200, ruleY(1)));
        QVERIFY(dark(600, ruleY(1)));
        // cws_zk | rys_yjs: a new item of the same group.
        QVERIFY(!dark(30, ruleY(2)));
        QVERIFY(dark(90, ruleY(2)));
        // tryxy_zkzy | mzl_yy: a new group.
        QVERIFY(dark(30, ruleY(19)));
        // Frame and header.
        QVERIFY(dark(30, 81));
        QVERIFY(dark(30, ruleY(0)));
        QVERIFY(dark(400, ruleY(59)));
        QVERIFY(dark(11, 700));
        QVERIFY(dark(772, 700));
        // The sub-item rule runs beside sub-items only.
        QVERIFY(dark(123, ruleY(0) + 5));
        QVERIFY(!dark(123, ruleY(21) + 3)); // pjmymzrcfy has no sub-items
        QVERIFY(dark(308, ruleY(21) + 3));
        delete w;
    }

    void tabOrderEnterAndArrows()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = open();
        const auto &inds = cat::indicators();
        QStringList expected;
        for (int p = 1; p <= 5; ++p)
            for (const auto &ind : inds)
                expected << QStringLiteral("DBN%1%2").arg(ind.field).arg(p);
        expected << "Btn_Save";

        // Enter walks every column top to bottom, then on to the save button.
        edit(w, "DBNcws_yy1")->setFocus(Qt::TabFocusReason);
        QStringList walked{focusName()};
        for (int i = 0; i < 295; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            walked << focusName();
        }
        QCOMPARE(walked, expected);
        QVERIFY(w->isVisible()); // Enter never pressed the save button on the way
        QVERIFY(ui::MessageBox::shown().empty());

        // Tab wraps from the save button over "选择..." to the first edit.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("SpeedButton1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusName(), QStringLiteral("DBNcws_yy1"));

        auto press = [&](const char *from, Qt::Key key) {
            TDBNumberEdit *e = edit(w, QString::fromLatin1(from));
            e->setFocus(Qt::TabFocusReason);
            QTest::keyClick(e, key);
            return focusName();
        };
        QCOMPARE(press("DBNjsjxry1", Qt::Key_Return), QStringLiteral("DBNcws_yy2"));
        QCOMPARE(press("DBNjsjxry5", Qt::Key_Return), QStringLiteral("Btn_Save"));
        QCOMPARE(press("DBNjsjxry5", Qt::Key_Down), QStringLiteral("Btn_Save"));
        QCOMPARE(press("DBNcws_yy1", Qt::Key_Up), QStringLiteral("Btn_Save"));
        QCOMPARE(press("DBNcws_yy1", Qt::Key_Down), QStringLiteral("DBNcws_zk1"));
        QCOMPARE(press("DBNcws_yy2", Qt::Key_Up), QStringLiteral("DBNjsjxry1"));
        QCOMPARE(press("DBNcws_yy1", Qt::Key_Left), QStringLiteral("DBNcws_yy5"));
        QCOMPARE(press("DBNcws_yy5", Qt::Key_Right), QStringLiteral("DBNcws_yy1"));
        QCOMPARE(press("DBNzdfhl_mc3", Qt::Key_Right), QStringLiteral("DBNzdfhl_mc4"));
        QCOMPARE(press("DBNzdfhl_mc3", Qt::Key_Left), QStringLiteral("DBNzdfhl_mc2"));

        // The keys are consumed: no value stepped, no caret moved.
        TDBNumberEdit *e = edit(w, "DBNsb_syl2");
        e->setNumber(120);
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right}) {
            e->setFocus(Qt::TabFocusReason);
            e->setCursorPosition(1);
            QTest::keyClick(e, key);
            QCOMPARE(e->text(), QStringLiteral("120"));
            QCOMPARE(e->cursorPosition(), 1);
            QVERIFY(focusName() != e->objectName());
        }
        // Moving to the bottom scrolls the grid to show the edit.
        auto *bar = w->findChild<QScrollArea *>("ScrollBox1")->verticalScrollBar();
        QCOMPARE(press("DBNxsjz_sjrs1", Qt::Key_Down), QStringLiteral("DBNjsjxry1"));
        QVERIFY(bar->value() > 900);
        delete w;
    }

    void firstOpeningOnTheTemplate()
    {
        testsupport::TempProgramDir dir;
        const QByteArray before = testsupport::fileBytes(dir.file("Result/result.dbf"));
        TfrmInData *w = open();
        QCOMPARE(w->AQry_DB().sql(), QStringLiteral("select * from result "));
        QCOMPARE(w->findChild<QLineEdit *>("DBEdt_yydm")->text(), QString());
        for (TDBNumberEdit *e : w->numberEdits())
            QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        QVERIFY(ui::MessageBox::shown().empty());
        w->findChild<QPushButton *>("Btn_Save")->click();
        QCOMPARE(boxTexts(), QStringList{"请输入项目编号"});
        QVERIFY(w->isVisible());
        // Esc does not close the window (it would throw away what was typed).
        QTest::keyClick(edit(w, "DBNcws_yy1"), Qt::Key_Escape);
        QVERIFY(w->isVisible());
        QCOMPARE(testsupport::fileBytes(dir.file("Result/result.dbf")), before);
        delete w;
    }

    void saveWritesAllFivePeriodsAndReopens()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        entrytest::writeProjects(dir, {{"1001  ", "甲医院（脾胃病科）  ", "JYY"}, {"1002", "乙医院", "YYY"}});
        QPointer<TfrmInData> w = open();
        pick(w, [](TfrmYymc *p) {
            QTest::keyClicks(p->findChild<QLineEdit *>("edLook"), "100");
            QTest::mouseClick(p->findChild<QPushButton *>("BitBtn1"), Qt::LeftButton);
        });
        const QString project = QStringLiteral("1001  甲医院（脾胃病科）");
        QCOMPARE(w->findChild<QLineEdit *>("DBEdt_yydm")->text(), project);
        QTest::keyClicks(edit(w, "DBNcws_yy1"), "120");
        QTest::keyClicks(edit(w, "DBNsb_syl3"), "35,5");
        QTest::keyClicks(edit(w, "DBNjsjxry5"), "7");
        QTest::keyClicks(edit(w, "DBNzdfhl_mc2"), "99.5");
        w->findChild<QPushButton *>("Btn_Save")->click();
        QVERIFY(ui::MessageBox::shown().empty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(w->AQry_DB().sql(), QStringLiteral("select * from result where nd='20060106'"));
        flushDeletes();
        QVERIFY(w.isNull()); // saved and closed

        const QString path = dir.file("Result/result.dbf");
        const store::DbfTable t = store::DbfTable::load(path);
        QCOMPARE(t.recordCount(), quint32(5));
        const auto &inds = cat::indicators();
        auto expect = [](int period, const QString &field) -> double {
            if (period == 1 && field == "cws_yy") return 120;
            if (period == 3 && field == "sb_syl") return 35.5;
            if (period == 5 && field == "jsjxry") return 7;
            if (period == 2 && field == "zdfhl_mc") return 99.5;
            return 0;
        };
        const QJsonArray py = entrytest::pythonRows(path);
        QCOMPARE(py.size(), 5);
        for (quint32 r = 0; r < 5; ++r) {
            const cat::Period &period = cat::periods()[r];
            QCOMPARE(t.value(r, t.fieldIndex("nd")).toString(), period.code);
            QCOMPARE(t.value(r, t.fieldIndex("yydm")).toString().trimmed(), project);
            QVERIFY(!t.value(r, t.fieldIndex("bln_zkjy")).toString().trimmed().size());
            const QJsonObject row = py[int(r)].toObject();
            QCOMPARE(row.value("nd").toString(), period.code);
            QCOMPARE(row.value("yydm").toString(), project);
            for (const auto &ind : inds) {
                const double want = expect(period.index, ind.field);
                QCOMPARE(t.value(r, t.fieldIndex(ind.field)).toDouble(), want);
                QVERIFY(!t.isNull(r, t.fieldIndex(ind.field)));
                QCOMPARE(row.value(ind.field).toDouble(-1), want);
            }
        }

        // Opening again shows the zeros and the figures.
        TfrmInData *again = open();
        QCOMPARE(again->findChild<QLineEdit *>("DBEdt_yydm")->text(), project);
        QCOMPARE(edit(again, "DBNcws_yy1")->text(), QStringLiteral("120"));
        QCOMPARE(edit(again, "DBNsb_syl3")->text(), QStringLiteral("35.5"));
        QCOMPARE(edit(again, "DBNcws_yy2")->text(), QStringLiteral("0"));
        QCOMPARE(edit(again, "DBNzdfhl_MC2")->text(), QStringLiteral("99.5"));
        delete again;
    }

    void oddRowsOnLoadAndAMissingRowOnSave()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        entrytest::writeResult(dir, {{"20020112", "A", {{"cws_yy", 1}}},
                                     {"19990112", "X", {{"cws_yy", 99}, {"cws_zk", 98}}},
                                     {"20030112", "B", {{"cws_yy", 2}}},
                                     {"20030112", "C", {{"cws_yy", 3}}}});
        QPointer<TfrmInData> w = open();
        QVERIFY(ui::MessageBox::shown().empty());
        QCOMPARE(edit(w, "DBNcws_yy1")->text(), QStringLiteral("1"));
        QCOMPARE(edit(w, "DBNcws_zk1")->text(), QString()); // the unknown period's row did not land here
        QCOMPARE(edit(w, "DBNcws_yy2")->text(), QStringLiteral("3")); // the later row of a twice-held period
        QCOMPARE(w->findChild<QLineEdit *>("DBEdt_yydm")->text(), QStringLiteral("C"));
        edit(w, "DBNcws_yy2")->setNumber(5);
        edit(w, "DBNcws_yy4")->setNumber(44);
        w->Btn_SaveClick();
        QVERIFY(ui::MessageBox::shown().empty());
        flushDeletes();
        QVERIFY(w.isNull());

        const store::DbfTable t = store::DbfTable::load(dir.file("Result/result.dbf"));
        QCOMPARE(t.recordCount(), quint32(7));
        const int nd = t.fieldIndex("nd"), cws = t.fieldIndex("cws_yy"), zk = t.fieldIndex("cws_zk");
        QCOMPARE(t.value(1, nd).toString(), QStringLiteral("19990112"));
        QCOMPARE(t.value(1, cws).toDouble(), 99.0);
        QCOMPARE(t.value(1, zk).toDouble(), 98.0);
        QCOMPARE(t.value(2, cws).toDouble(), 5.0); // the first row of the period is the one saved
        QCOMPARE(t.value(3, cws).toDouble(), 3.0);
        QCOMPARE(t.value(3, t.fieldIndex("yydm")).toString().trimmed(), QStringLiteral("C"));
        // The three missing periods were added with their codes.
        QCOMPARE(t.value(4, nd).toString(), QStringLiteral("20040112"));
        QCOMPARE(t.value(5, nd).toString(), QStringLiteral("20050112"));
        QCOMPARE(t.value(5, cws).toDouble(), 44.0);
        QCOMPARE(t.value(6, nd).toString(), QStringLiteral("20060106"));
        QCOMPARE(t.value(6, t.fieldIndex("yydm")).toString().trimmed(), QStringLiteral("C"));
        const QJsonArray py = entrytest::pythonRows(dir.file("Result/result.dbf"));
        QCOMPARE(py.size(), 7);
        QCOMPARE(py[5].toObject().value("nd").toString(), QStringLiteral("20050112"));
        QCOMPARE(py[5].toObject().value("cws_yy").toDouble(), 44.0);

        // The added rows are found again.
        TfrmInData *again = open();
        QCOMPARE(edit(again, "DBNcws_yy4")->text(), QStringLiteral("44"));
        QCOMPARE(edit(again, "DBNcws_yy5")->text(), QStringLiteral("0"));
        delete again;
    }

    void failedSaveKeepsTheWindowAndFigures()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = open();
        w->findChild<QLineEdit *>("DBEdt_yydm")->setText(QStringLiteral("1001  甲医院"));
        edit(w, "DBNcws_yy1")->setNumber(12);
        QVERIFY(QFile::remove(dir.file("Result/result.dbf")));
        w->Btn_SaveClick();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        const ui::ShownBox box = ui::MessageBox::shown().front();
        QCOMPARE(box.caption, QStringLiteral("提示"));
        QCOMPARE(box.icon, ui::Icon::Information);
        QVERIFY(!box.text.isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(w->isVisible());
        QCOMPARE(edit(w, "DBNcws_yy1")->text(), QStringLiteral("12"));
        QCOMPARE(w->findChild<QLineEdit *>("DBEdt_yydm")->text(), QStringLiteral("1001  甲医院"));
        delete w;
    }

    void missingTableOnShowOpensAllTheSame()
    {
        testsupport::TempProgramDir dir(false);
        TfrmInData *w = open();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::Error);
        QCOMPARE(ui::MessageBox::shown().front().caption, ui::applicationTitle());
        QVERIFY(w->isVisible());
        QVERIFY(edit(w, "DBNcws_yy1")->text().isEmpty());
        delete w;
    }

    void promptsOfTheFirstShape()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"cws_yy>500", "医院床位数过多"},
                                    {"cws_zk>cws_yy", "专科床位数大于医院床位数"},
                                    {"  cws_yy>1000  ", "  医院床位数超过1000  "}});
        TfrmInData *w = open();
        TDBNumberEdit *e = edit(w, "DBNcws_yy2");
        e->setNumber(501);
        leave(e);
        QCOMPARE(w->AQry_DM().sql(), QStringLiteral("select * from tjjctjk where cond like '%cws_yy%' "));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("2003年  医院床位数过多")});
        QCOMPARE(ui::MessageBox::shown().front().caption, ui::applicationTitle());
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::None);
        QCOMPARE(e->value().toDouble(), 501.0);
        QCOMPARE(focusName(), QStringLiteral("DBNcws_zk2"));

        // The same exit again gives the same message again.
        ui::MessageBox::clearShown();
        leave(e);
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("2003年  医院床位数过多")});

        for (const QVariant &quiet : {QVariant(500.0), QVariant()}) {
            ui::MessageBox::clearShown();
            e->setValue(quiet);
            leave(e);
            QVERIFY2(ui::MessageBox::shown().empty(), qPrintable(quiet.toString()));
        }

        // Two rules broken at once: two boxes, in the table's order.
        ui::MessageBox::clearShown();
        TfrmInData *same = w;
        TDBNumberEdit *last = edit(same, "DBNcws_yy5");
        last->setNumber(1500);
        leave(last);
        QCOMPARE(boxTexts(), (QStringList{QStringLiteral("2006上半年  医院床位数过多"),
                                          QStringLiteral("2006上半年  医院床位数超过1000")}));

        // A field no rule names shows nothing.
        ui::MessageBox::clearShown();
        TfrmInData *other = w;
        TDBNumberEdit *j = edit(other, "DBNjsjxry1");
        j->setNumber(123456);
        leave(j);
        QCOMPARE(w->AQry_DM().sql(), QStringLiteral("select * from tjjctjk where cond like '%jsjxry%' "));
        QVERIFY(ui::MessageBox::shown().empty());
        delete w;
    }

    void promptsOfTheSecondShape()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"cws_zk>cws_yy", "专科床位数大于医院床位数"}});
        TfrmInData *w = open();
        edit(w, "DBNcws_zk3")->setNumber(100); // another period, never looked at
        edit(w, "DBNcws_yy3")->setNumber(1);

        // A has a value, B none: broken, from either edit of the pair.
        edit(w, "DBNcws_zk2")->setNumber(10);
        leave(edit(w, "DBNcws_zk2"));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("2003年  专科床位数大于医院床位数")});
        ui::MessageBox::clearShown();
        leave(edit(w, "DBNcws_yy2"));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("2003年  专科床位数大于医院床位数")});

        // Equal values, A empty, A smaller: nothing.
        const std::vector<std::pair<QVariant, QVariant>> quiet{
            {10.0, 10.0}, {QVariant(), 5.0}, {QVariant(), QVariant()}, {3.0, 4.0}};
        for (const auto &c : quiet) {
            ui::MessageBox::clearShown();
            edit(w, "DBNcws_zk2")->setValue(c.first);
            edit(w, "DBNcws_yy2")->setValue(c.second);
            leave(edit(w, "DBNcws_yy2"));
            QVERIFY(ui::MessageBox::shown().empty());
        }
        edit(w, "DBNcws_yy2")->setFocus(Qt::MouseFocusReason);
        edit(w, "DBNcws_yy2")->setNumber(9.99);
        edit(w, "DBNcws_zk2")->setNumber(10);
        ui::MessageBox::clearShown();
        QTest::keyClick(edit(w, "DBNcws_yy2"), Qt::Key_Tab);
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        delete w;
    }

    void otherShapesGiveNoMessage()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"cws_yy", "只有字段"},
                                    {"cws_yy>", "没有数"},
                                    {"cws_yy<>cws_zk", "另一种比较"},
                                    {"cws_yy+cws_zk>5", "表达式"},
                                    {"5<cws_yy", "数在前"},
                                    {"cws_yy>nosuch", "没有这个字段"},
                                    {"cws_yy>1e3", "指数形式"}});
        TfrmInData *w = open();
        for (const char *name : {"DBNcws_yy1", "DBNcws_zk1"}) {
            edit(w, "DBNcws_yy1")->setNumber(2000);
            edit(w, "DBNcws_zk1")->setNumber(3000);
            leave(edit(w, QString::fromLatin1(name)));
        }
        // Only the number in exponent form is read, on leaving cws_yy1.
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("2002年  指数形式")});
        delete w;
    }

    // Real modal boxes shown while the focus moves: each one is closed by
    // the user (here a timer), the focus ends on the next edit, and the box
    // taking the focus is no exit of that edit (no chain of boxes).
    void realBoxesDuringAFocusMove()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"cws_yy>5", "甲"}, {"cws_yy>6", "乙"}, {"cws_zk>5", "丙"}});
        TfrmInData *w = open();
        edit(w, "DBNcws_yy1")->setNumber(10);
        edit(w, "DBNcws_zk1")->setNumber(10);
        QStringList seen;
        QTimer closer;
        closer.setInterval(0);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto *box = shownBox()) {
                seen << box->text();
                box->accept();
            }
        });
        closer.start();
        ui::MessageBox::setTestMode(false);
        edit(w, "DBNcws_yy1")->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(edit(w, "DBNcws_yy1"), Qt::Key_Return);
        ui::MessageBox::setTestMode(true);
        closer.stop();
        QCOMPARE(seen, (QStringList{QStringLiteral("2002年  甲"), QStringLiteral("2002年  乙")}));
        QCOMPARE(w->focusWidget(), static_cast<QWidget *>(edit(w, "DBNcws_zk1")));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(edit(w, "DBNcws_zk1")));
        QCOMPARE(seen.size(), 2); // coming back to the window is no exit either
        delete w;
    }

    void failedRuleQuery()
    {
        testsupport::TempProgramDir dir;
        QVERIFY(QFile::remove(dir.file("DataMeta/tjjctjk.dbf")));
        TfrmInData *w = open();
        TDBNumberEdit *e = edit(w, "DBNcws_yy1");
        e->setNumber(7);
        leave(e);
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::Error);
        QCOMPARE(focusName(), QStringLiteral("DBNcws_zk1"));
        QCOMPARE(e->text(), QStringLiteral("7"));
        delete w;
    }

    void wheelScrollsTheGridFromAnyWindow()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        entrytest::writeProjects(dir, {{"1001", "甲医院", "JYY"}, {"1002", "乙医院", "YYY"}});
        TfrmInData *w = open();
        QScrollBar *bar = w->findChild<QScrollArea *>("ScrollBox1")->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        auto wheel = [](QWidget *target, int dy) {
            QWheelEvent ev(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, dy), Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
            return QApplication::sendEvent(target, &ev);
        };
        TDBNumberEdit *e = edit(w, "DBNcws_yy1");
        e->setNumber(3);
        wheel(e, -120);
        QCOMPARE(bar->value(), 20);
        wheel(e, -480); // however far it turned
        QCOMPARE(bar->value(), 40);
        wheel(bar, 120);
        QCOMPARE(bar->value(), 20);
        QCOMPARE(e->text(), QStringLiteral("3"));

        // Over the picker's list: the entry grid moves, the list does not.
        int gridRow = -2;
        int barAfter = -1;
        pick(w, [&](TfrmYymc *p) {
            auto *grid = p->findChild<QTableView *>("DBGrid1");
            wheel(grid->viewport(), -120);
            wheel(grid->viewport(), -120);
            gridRow = grid->currentIndex().row();
            barAfter = bar->value();
            p->findChild<QPushButton *>("BitBtn2")->click();
        });
        QCOMPARE(barAfter, 60);
        QCOMPARE(gridRow, 0);
        delete w;
        flushDeletes();

        // Once the window is gone, wheel events reach their targets again.
        struct Counter : QWidget {
            int wheels = 0;
            void wheelEvent(QWheelEvent *) override { ++wheels; }
        } lone;
        wheel(&lone, -120);
        QCOMPARE(lone.wheels, 1);
    }

    void leftClickSelectsAll()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = open();
        TDBNumberEdit *e = edit(w, "DBNcws_yy1");
        e->setNumber(12345);
        QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, QPoint(80, 12));
        QCOMPARE(e->selectedText(), QStringLiteral("12345"));
        e->deselect();
        w->NumberEditMouseUp(e, Qt::RightButton);
        QVERIFY(e->selectedText().isEmpty());
        delete w;
    }

    void hintsShowAtOnceInYellow()
    {
        testsupport::TempProgramDir dir;
        TfrmInData *w = open();
        QCOMPARE(QToolTip::palette().color(QPalette::ToolTipBase), QColor(255, 255, 0));
        auto *label = w->findChild<QLabel *>("Lbl_cws_zk");
        w->findChild<QScrollArea *>("ScrollBox1")->ensureWidgetVisible(label);
        const QPointF local(10, 10);
        QEnterEvent enter(local, local, label->mapToGlobal(local));
        QApplication::sendEvent(label, &enter);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("指重点专科(专病)项目实际拥有的床位数"));
        // Qt's own delayed request is taken over, so the long display stays.
        QHelpEvent help(QEvent::ToolTip, local.toPoint(), label->mapToGlobal(local.toPoint()));
        QVERIFY(QApplication::sendEvent(label, &help));
        QToolTip::hideText();
        delete w;
    }
};

QTEST_MAIN(TestInData)
#include "test_indata.moc"
