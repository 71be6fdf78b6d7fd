// Heads-down typing in the entry window: what the next keystroke or click
// does after a rule prompt, closing with unsaved figures, sideways wheel
// movement, and reaching "选择..." and the picker's codes. The prompts here
// are real modal boxes, closed as a user closes them.
#include "EntryTestSupport.h"

#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "entry/UnitInData.h"
#include "entry/UnitZk.h"
#include "store/Catalogue.h"
#include "store/UDeclareFunction.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <QtTest>

namespace cat = store::catalogue;
using ui::TDBNumberEdit;
using entrytest::focusName;
using entrytest::shownBox;

namespace {

// Shows the prompts as real boxes and presses OK on each one, recording
// their texts, while it lives.
class BoxCloser {
public:
    BoxCloser()
    {
        ui::MessageBox::setTestMode(false);
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = shownBox()) {
                seen << box->text();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        m_timer.start();
    }
    ~BoxCloser()
    {
        m_timer.stop();
        ui::MessageBox::setTestMode(true);
    }
    QStringList seen;

private:
    QTimer m_timer;
};

} // namespace

class TestTyping : public QObject {
    Q_OBJECT

    static TfrmInData *open() { return entrytest::openEntryWindow(); }

    // The window coming back to the front once the box is gone, as the
    // window manager brings it.
    static void comeBack(TfrmInData *w)
    {
        if (QApplication::activeWindow() != w) {
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
        }
    }

    static TDBNumberEdit *edit(TfrmInData *w, const char *name) { return w->findEdit(QString::fromLatin1(name)); }

    // The figures of one period as python3-dbf reads result.dbf.
    static QJsonObject periodRow(const testsupport::TempProgramDir &dir, int index)
    {
        const QJsonArray rows = entrytest::pythonRows(dir.file("Result/result.dbf"));
        for (const QJsonValue &row : rows)
            if (row.toObject().value("nd").toString() == cat::periodByIndex(index)->code)
                return row.toObject();
        return QJsonObject{{"error", QJsonDocument(rows).toJson().constData()}};
    }

private slots:
    void init()
    {
        ui::MessageBox::setTestMode(true);
        ui::MessageBox::clearShown();
    }
    void cleanup() { entrytest::deleteLeftoverWindows(); }

    // After a prompt the next figure replaces the old one, whether the focus
    // moved by a key or by a click; a click's release is lost to the box.
    void typingAfterAPromptReplacesTheFigure()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"rys_yjs>500", "研究生人数过多"}});
        TfrmInData *w = open();
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down}) {
            TDBNumberEdit *from = edit(w, "DBNrys_yjs1");
            from->setNumber(600);
            TDBNumberEdit *to = key == Qt::Key_Right ? edit(w, "DBNrys_yjs2") : edit(w, "DBNrys_bks1");
            to->setNumber(508);
            from->setFocus(Qt::MouseFocusReason);
            BoxCloser closer;
            QTest::keyClick(from, key);
            QCOMPARE(closer.seen, QStringList{QStringLiteral("2002年  研究生人数过多")});
            comeBack(w);
            QCOMPARE(focusName(), to->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_9);
            QCOMPARE(to->text(), QStringLiteral("9"));
        }

        // A click into the left of DBNrys_bks2 (holding 12): its release
        // happens while the box is up and never arrives.
        TDBNumberEdit *from = edit(w, "DBNrys_yjs2");
        from->setNumber(600);
        TDBNumberEdit *to = edit(w, "DBNrys_bks2");
        to->setNumber(12);
        from->setFocus(Qt::TabFocusReason);
        {
            BoxCloser closer;
            QTest::mousePress(to, Qt::LeftButton, Qt::NoModifier, QPoint(4, 12));
            QCOMPARE(closer.seen, QStringList{QStringLiteral("2003年  研究生人数过多")});
            comeBack(w);
        }
        QCOMPARE(focusName(), QStringLiteral("DBNrys_bks2"));
        QTest::keyClick(to, Qt::Key_7);
        QCOMPARE(to->text(), QStringLiteral("7"));
        delete w;
    }

    // Keys typed before the box had the keyboard reach the entry window:
    // Enter closes the box, the figure after it replaces the next one.
    void keysTypedAheadOfAPromptKeepTheirOrder()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"rys_yjs>500", "研究生人数过多"}});
        TfrmInData *w = open();
        TDBNumberEdit *from = edit(w, "DBNrys_yjs1");
        TDBNumberEdit *to = edit(w, "DBNrys_bks1");
        from->setNumber(600);
        to->setNumber(508);
        from->setFocus(Qt::TabFocusReason);
        ui::MessageBox::setTestMode(false);
        QStringList seen;
        QTimer::singleShot(0, w, [&] {
            if (QMessageBox *box = shownBox())
                seen << box->text();
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_9, Qt::Key_7, Qt::Key_Return})
                QTest::keyClick(from, key);
        });
        QTest::keyClick(from, Qt::Key_Return);
        ui::MessageBox::setTestMode(true);
        QCOMPARE(seen, QStringList{QStringLiteral("2002年  研究生人数过多")});
        QVERIFY(!shownBox());
        QTRY_COMPARE(focusName(), QStringLiteral("DBNrys_qt1"));
        QCOMPARE(to->text(), QStringLiteral("97"));
        QCOMPARE(from->text(), QStringLiteral("600"));
        delete w;
    }

    // A clerk typing a column from paper without looking up: each figure
    // and Enter, no extra key for the prompts. A figure typed while a prompt
    // is up answers it and lands in its own row; the edits whose figures
    // broke a rule keep a red frame and the rule's text. The keys reach the
    // program either at the box (it has the keyboard) or at the entry
    // window (typed before the box took it).
    void aColumnTypedOnThroughThePrompts_data()
    {
        QTest::addColumn<bool>("toTheBox");
        QTest::newRow("keys at the box") << true;
        QTest::newRow("keys at the entry window") << false;
    }
    void aColumnTypedOnThroughThePrompts()
    {
        QFETCH(bool, toTheBox);
        testsupport::TempProgramDir dir; // the delivered rules
        TfrmInData *w = open();
        w->findChild<QLineEdit *>("DBEdt_yydm")->setText(QStringLiteral("1001  甲医院"));
        // The figures of scripts/look-typing: five of them break a rule.
        const QHash<QString, QString> breakers{{"cws_yy", "12000"}, {"cws_zk", "13000"}, {"sb_syl", "120"},
                                               {"bcsyl", "160.25"}, {"pjzyr", "95"}};
        QStringList figures;
        QList<QChar> keys;
        for (int i = 0; i < int(cat::indicators().size()); ++i) {
            const QString f = cat::indicators()[i].field;
            figures << breakers.value(f, QString::number(i * 7 % 90 + 1) + (i % 5 == 0 ? ".5" : ""));
            for (QChar c : figures.last())
                keys << c;
            keys << QLatin1Char('\r');
        }
        edit(w, "DBNcws_yy1")->setFocus(Qt::TabFocusReason);
        ui::MessageBox::setTestMode(false);
        // One key per turn of the event loop, on through the prompts' own
        // loops: each key schedules the next before it is sent.
        int next = 0;
        QObject typist;
        std::function<void()> type = [&] {
            if (next >= keys.size())
                return;
            QTimer::singleShot(0, &typist, type);
            QWidget *to = toTheBox ? QApplication::focusWidget() : w->focusWidget();
            const QChar c = keys[next++];
            if (c == QLatin1Char('\r'))
                QTest::keyClick(to, Qt::Key_Return);
            else
                QTest::keyClick(to, c.toLatin1());
        };
        QTimer::singleShot(0, &typist, type);
        QTRY_VERIFY(next == keys.size() && !shownBox());
        ui::MessageBox::setTestMode(true);

        // Keys typed while a prompt was up are handed on after it closes,
        // one turn of the event loop later: the last figures may still be
        // on their way when the last key has been sent.
        const auto wrongFigures = [&] {
            QStringList wrong;
            for (int i = 0; i < int(figures.size()); ++i) {
                const QString name = QStringLiteral("DBN") + cat::indicators()[i].field + QStringLiteral("1");
                const QVariant v = w->findEdit(name)->value();
                if (!v.isValid() || v.toDouble() != figures[i].toDouble())
                    wrong << name + QLatin1Char('=') + v.toString();
            }
            return wrong;
        };
        QTRY_COMPARE(wrongFigures(), QStringList());
        for (const QString &f : breakers.keys()) {
            TDBNumberEdit *e = w->findEdit(QStringLiteral("DBN") + f + QStringLiteral("1"));
            QVERIFY2(e->isMarked(), qPrintable(f));
            QVERIFY2(e->toolTip().startsWith(QStringLiteral("2002年：")), qPrintable(e->toolTip()));
        }
        QCOMPARE(edit(w, "DBNcws_zk1")->toolTip(), QStringLiteral("2002年：专科床位数不能大于医院床位数"));
        QVERIFY(!edit(w, "DBNcws_yy2")->isMarked());
        // The mark goes with a changed figure.
        TDBNumberEdit *bed = edit(w, "DBNcws_yy1");
        bed->setFocus(Qt::TabFocusReason);
        bed->selectAll();
        QTest::keyClicks(bed, "900");
        QVERIFY(!bed->isMarked());
        QCOMPARE(bed->toolTip(), QString());
        delete w;
    }

    // A figure brought to the limit is said once, when its edit is left.
    void aClampedFigureIsSaidOnLeaving()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = open();
        TDBNumberEdit *e = edit(w, "DBNtryxy_yyyw3");
        e->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(e, "1234567890");
        QCOMPARE(e->text(), QStringLiteral("999999999.99"));
        QVERIFY(ui::MessageBox::shown().empty());
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown().front().text,
                 QStringLiteral("2004年  输入的数 1234567890 超过上限，已按 999999999.99 记录。"));
        e->setFocus(Qt::TabFocusReason);
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        delete w;
    }

    // A click on 保存退出 while the figure being left breaks a rule: the
    // prompt, then the save and the close the click asked for.
    void saveClickedWhileARuleIsBroken()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {{"rys_yjs>500", "研究生人数过多"}});
        QPointer<TfrmInData> w = open();
        w->findChild<QLineEdit *>("DBEdt_yydm")->setText(QStringLiteral("1001  甲医院"));
        TDBNumberEdit *e = edit(w, "DBNrys_yjs3");
        e->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(e, "600");
        auto *save = w->findChild<QPushButton *>("Btn_Save");
        w->findChild<QScrollArea *>("ScrollBox1")->ensureWidgetVisible(save);
        {
            BoxCloser closer;
            QTest::mousePress(save, Qt::LeftButton, Qt::NoModifier, QPoint(30, 12));
            QCOMPARE(closer.seen, QStringList{QStringLiteral("2004年  研究生人数过多")});
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(w.isNull());
        const QJsonObject row = periodRow(dir, 3);
        QCOMPARE(row.value("rys_yjs").toDouble(-1), 600.0);
        QCOMPARE(row.value("rys_bks").toDouble(-1), 0.0);
        QCOMPARE(row.value("yydm").toString(), QStringLiteral("1001  甲医院"));
    }

    // Closing with the close box (or Alt+F4) asks only when figures changed;
    // 是 saves as 保存退出 does, 否 throws them away, 取消 keeps them.
    void closingWithUnsavedFigures()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        entrytest::writeResult(dir, {{"20020112", "1001  甲医院", {{"cws_yy", 35.5}}},
                                     {"20030112", "1001  甲医院", {}},
                                     {"20040112", "1001  甲医院", {}},
                                     {"20050112", "1001  甲医院", {}},
                                     {"20060106", "1001  甲医院", {}}});
        const QByteArray stored = testsupport::fileBytes(dir.file("Result/result.dbf"));
        const QString question = QStringLiteral("数据已修改，是否保存？");

        // Nothing changed (35.50 typed over 35.5 is the same figure).
        QPointer<TfrmInData> w = open();
        edit(w, "DBNcws_yy1")->setText(QStringLiteral("35.50"));
        QVERIFY(w->close());
        QVERIFY(ui::MessageBox::shown().empty());

        // 取消, then 否.
        w = open();
        QTest::keyClicks(edit(w, "DBNcws_zk2"), "12");
        ui::MessageBox::queueAnswer(ui::Answer::Cancel);
        QVERIFY(!w->close());
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        const ui::ShownBox asked = ui::MessageBox::shown().front();
        QCOMPARE(asked.text, question);
        QCOMPARE(asked.caption, QStringLiteral("提示"));
        QCOMPARE(asked.buttons, ui::Buttons::YesNoCancel);
        QVERIFY(w->isVisible());
        QCOMPARE(edit(w, "DBNcws_zk2")->text(), QStringLiteral("12"));
        ui::MessageBox::queueAnswer(ui::Answer::No);
        QVERIFY(w->close());
        QCOMPARE(testsupport::fileBytes(dir.file("Result/result.dbf")), stored);

        // 是 without a project: the save's own message, the window stays.
        ui::MessageBox::clearShown();
        w = open();
        w->findChild<QLineEdit *>("DBEdt_yydm")->setText(QStringLiteral("  "));
        QTest::keyClicks(edit(w, "DBNcws_zk2"), "12");
        ui::MessageBox::queueAnswer(ui::Answer::Yes);
        QVERIFY(!w->close());
        QCOMPARE(ui::MessageBox::shown().back().text, QStringLiteral("请输入项目编号"));
        QVERIFY(w->isVisible());
        QCOMPARE(testsupport::fileBytes(dir.file("Result/result.dbf")), stored);

        // 是 with the project: saved as 保存退出 saves, and closed.
        w->findChild<QLineEdit *>("DBEdt_yydm")->setText(QStringLiteral("1001  甲医院"));
        ui::MessageBox::clearShown();
        ui::MessageBox::queueAnswer(ui::Answer::Yes);
        QVERIFY(w->close());
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(w.isNull());
        const QJsonObject row = periodRow(dir, 2);
        QCOMPARE(row.value("cws_zk").toDouble(-1), 12.0);
        QCOMPARE(row.value("cws_yy").toDouble(-1), 0.0);
        QCOMPARE(periodRow(dir, 1).value("cws_yy").toDouble(-1), 35.5);
    }

    // The grid takes vertical wheel movement only; sideways movement goes to
    // the control under the mouse.
    void sidewaysWheelReachesItsTarget()
    {
        testsupport::TempProgramDir dir;
        entrytest::writeRules(dir, {});
        TfrmInData *w = open();
        QScrollBar *bar = w->findChild<QScrollArea *>("ScrollBox1")->verticalScrollBar();
        struct Target : QWidget {
            QList<QPoint> got;
            void wheelEvent(QWheelEvent *e) override { got << e->angleDelta(); }
        } target;
        auto wheel = [&](const QPoint &angle) {
            QWheelEvent ev(QPointF(5, 5), target.mapToGlobal(QPointF(5, 5)), QPoint(), angle, Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&target, &ev);
        };
        wheel(QPoint(-120, 0));
        wheel(QPoint(0, -120));
        wheel(QPoint(60, -120));
        QCOMPARE(target.got, (QList<QPoint>{QPoint(-120, 0), QPoint(60, 0)}));
        QCOMPARE(bar->value(), 40);
        delete w;
    }

    // "选择..." from the keyboard; the picker's codes whole, its list without
    // sideways scrolling, on the delivered project list.
    void choosingTheProjectFromTheKeyboard()
    {
        testsupport::TempProgramDir dir;
        TfrmInData *w = open();
        QCOMPARE(focusName(), QStringLiteral("DBNcws_yy1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focusName(), QStringLiteral("SpeedButton1"));

        bool noSideways = false;
        QStringList cutCodes;
        int rows = 0;
        QTimer::singleShot(0, w, [&] {
            auto *picker = qobject_cast<TfrmYymc *>(QApplication::activeModalWidget());
            if (!picker)
                return;
            auto *grid = picker->findChild<QTableView *>("DBGrid1");
            noSideways = !grid->horizontalScrollBar()->isVisible()
                         && grid->horizontalHeader()->length() <= grid->viewport()->width();
            const QAbstractItemModel *model = grid->model();
            rows = model->rowCount();
            for (int r = 0; r < rows; ++r)
                for (int c : {0, 2}) {
                    const QString code = model->index(r, c).data().toString();
                    if (grid->fontMetrics().horizontalAdvance(code) + 6 > grid->columnWidth(c))
                        cutCodes << code;
                }
            auto *look = picker->findChild<QLineEdit *>("edLook");
            QTest::keyClicks(look, "1002");
            QTest::keyClick(look, Qt::Key_Return);
        });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(rows > 20);
        QVERIFY(noSideways);
        QCOMPARE(cutCodes, QStringList());
        QCOMPARE(w->findChild<QLineEdit *>("DBEdt_yydm")->text(), QStringLiteral("1002  东岭市中医医院（肝病科）"));
        QVERIFY(w->isVisible());
        delete w;
    }
};

QTEST_MAIN(TestTyping)
#include "test_typing.moc"
