// The check run through the check window: what it stores in shtable1, what
// the status bar and the message boxes show, the busy cursor, the preview,
// and what a click during a run does.
#include "check/CheckObjects.h"
#include "check/CheckRun.h"
#include "check/HeadlessCheck.h"
#include "check/UnitCheck.h"
#include "controls/MessageBox.h"
#include "report/Preview.h"
#include "store/DbfTable.h"
#include "tests/check/CheckTestData.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace checktest;

namespace {

const QString kNotice = QStringLiteral("提示");

QStringList boxTexts()
{
    QStringList texts;
    for (const ui::ShownBox &box : ui::MessageBox::shown())
        texts << box.text;
    return texts;
}

} // namespace

class CheckRunTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempProgramDir> m_dir;
    QPointer<TfrmCheck> m_window;

    TfrmCheck *window()
    {
        if (!m_window)
            m_window = new TfrmCheck(nullptr);
        return m_window;
    }
    QString sqlOf(const char *queryObject)
    {
        const store::Query *q = check::QueryObject::find(window(), QString::fromLatin1(queryObject));
        return q ? q->sql() : QStringLiteral("<no %1>").arg(QString::fromLatin1(queryObject));
    }
    void clearCursor()
    {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

private slots:
    void initTestCase()
    {
        ui::MessageBox::setTestMode(true);
        report::PreviewWindow::setTestMode(true);
    }

    void init()
    {
        m_dir = std::make_unique<testsupport::TempProgramDir>();
        ui::MessageBox::clearShown();
        report::PreviewWindow::clearShownReports();
        report::PreviewWindow::setTestHook({});
        ui::MessageBox::setHook({});
        clearCursor();
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10"));
    }

    void cleanup()
    {
        delete m_window;
        clearCursor();
        m_dir.reset();
    }

    void theWindowCarriesItsObjects()
    {
        TfrmCheck *w = window();
        QCOMPARE(w->windowTitle(), QStringLiteral("检测数据  "));
        QCOMPARE(w->size(), QSize(291, 116));
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        auto *check = w->findChild<QPushButton *>(QStringLiteral("Btn_Check"));
        auto *exit = w->findChild<QPushButton *>(QStringLiteral("Btn_Exit"));
        QVERIFY(check && exit);
        QCOMPARE(check->text(), QStringLiteral("检测"));
        QCOMPARE(check->geometry(), QRect(64, 56, 75, 25));
        QCOMPARE(exit->text(), QStringLiteral("退出"));
        QCOMPARE(exit->geometry(), QRect(152, 56, 75, 25));
        auto *status = w->findChild<check::PanelStatusBar *>(QStringLiteral("StatusBar1"));
        QVERIFY(status);
        QCOMPARE(status->panelCount(), 2);
        QCOMPARE(status->panel(0)->width(), 150);
        QCOMPARE(status->panel(1)->width(), 120);
        for (const char *name : {"AQry_Temp", "AQry_Tjjctjk", "AQry_Shtable1"})
            QVERIFY2(check::QueryObject::find(w, QString::fromLatin1(name)), name);
        QVERIFY(check::QueryObject::find(w, QStringLiteral("AQry_Temp"))->directory().startsWith(m_dir->path() + QStringLiteral("Result")));
        QVERIFY(check::QueryObject::find(w, QStringLiteral("AQry_Shtable1"))->directory().startsWith(m_dir->path() + QStringLiteral("DataMeta")));
    }

    // No data: only the message; findings and status bar untouched.
    void noDataStopsBeforeAnything_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("empty yydm") << QStringLiteral("update result set yydm=''");
        QTest::newRow("blank yydm") << QStringLiteral("update result set yydm='   '");
        QTest::newRow("no rows") << QStringLiteral("delete from result");
        QTest::newRow("only later rows") << QStringLiteral("update result set yydm='' where nd='20020112'");
    }
    void noDataStopsBeforeAnything()
    {
        QFETCH(QString, statement);
        exec(QStringLiteral("Result"), statement);
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
        addFinding(QStringLiteral("2003年"), QStringLiteral("earlier finding"));

        QVERIFY(!RunCheck(window(), CheckMode::Window));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("无数据可检验！")});
        QCOMPARE(ui::MessageBox::shown()[0].caption, kNotice);
        QCOMPARE(ui::MessageBox::shown()[0].icon, ui::Icon::Warning);
        QCOMPARE(ui::MessageBox::shown()[0].ownerName, window()->objectName());
        QCOMPARE(findings().size(), std::size_t(1));
        QCOMPARE(findings()[0].name3, QStringLiteral("earlier finding"));
        QCOMPARE(window()->panelText(0), QString());
        QCOMPARE(window()->panelText(1), QString());
        QVERIFY(report::PreviewWindow::shownReports().empty());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(sqlOf("AQry_Temp"), QStringLiteral("select yydm from result "));
    }

    void emptyRuleTablePasses()
    {
        setRules({});
        addFinding(QStringLiteral("2003年"), QStringLiteral("earlier finding"));
        QVERIFY(RunCheck(window(), CheckMode::Window));
        QCOMPARE(window()->panelText(0), QStringLiteral(" 审核数据完毕！"));
        QCOMPARE(window()->panelText(1), QStringLiteral(" 检验，完成：100%"));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("数据通过检验！")});
        QCOMPARE(ui::MessageBox::shown()[0].caption, kNotice);
        QCOMPARE(ui::MessageBox::shown()[0].icon, ui::Icon::Warning);
        QVERIFY(findings().empty());
        QVERIFY(report::PreviewWindow::shownReports().empty());
        QVERIFY(!QApplication::overrideCursor());
    }

    void uploadModePassesWithTheCursorStillBusy()
    {
        setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
        // Upload mode makes no data test of its own.
        exec(QStringLiteral("Result"), QStringLiteral("update result set yydm=''"));
        std::optional<ui::BusyCursor> busy;
        QVERIFY(RunCheck(window(), CheckMode::Upload, nullptr, &busy));
        QVERIFY(ui::MessageBox::shown().empty());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        busy.reset(); // the upload's end
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(window()->panelText(1), QStringLiteral(" 检验，完成：100%"));
    }

    void aRuleTrueInAllPeriodsGivesFiveFindingsInRecordOrder()
    {
        setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")},
                  {QStringLiteral("  cws_yy>5  "), QStringLiteral("  床位数超出范围  ")}});
        QVERIFY(!RunCheck(window(), CheckMode::Window));
        const auto rows = findings();
        QCOMPARE(rows.size(), std::size_t(5));
        const QStringList labels{QStringLiteral("2002年"), QStringLiteral("2003年"), QStringLiteral("2004年"),
                                 QStringLiteral("2005年"), QStringLiteral("2006上半年")};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(rows[std::size_t(i)].name1, labels[i]);
            QCOMPARE(rows[std::size_t(i)].name2, QString());
            QCOMPARE(rows[std::size_t(i)].name3, QStringLiteral("床位数超出范围"));
        }
        // Shown in the preview, once, instead of a message.
        QVERIFY(ui::MessageBox::shown().empty());
        QCOMPARE(report::PreviewWindow::shownReports().size(), std::size_t(1));
        QCOMPARE(report::PreviewWindow::shownReports()[0].pages.size(), std::size_t(1));
        QCOMPARE(window()->panelText(0), QStringLiteral(" 审核数据完毕！"));
        QCOMPARE(window()->panelText(1), QStringLiteral(" 检验，完成：100%"));
        QVERIFY(!QApplication::overrideCursor());
        // The statements each query object was last given, trailing blanks
        // included; the condition goes in trimmed.
        QCOMPARE(sqlOf("AQry_Temp"), QStringLiteral("select nd from result where cws_yy>5"));
        QCOMPARE(sqlOf("AQry_Tjjctjk"), QStringLiteral("select * from tjjctjk "));
        QCOMPARE(sqlOf("AQry_Shtable1"), QStringLiteral("select * from shtable1 "));
    }

    void findingsFollowRuleOrderThenRowOrder()
    {
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=20 where nd='20040112'"));
        setRules({{QStringLiteral("cws_yy>15"), QStringLiteral("A")}, {QStringLiteral("cws_yy>5"), QStringLiteral("B")}});
        RunCheck(window(), CheckMode::Window);
        QStringList got;
        for (const Finding &f : findings())
            got << f.name3 + f.name1;
        QCOMPARE(got, (QStringList{"A2004年", "B2002年", "B2003年", "B2004年", "B2005年", "B2006上半年"}));
    }

    // A failing third rule: the run stops there, the first two rules'
    // findings stay, the status bar keeps its texts, the box says why.
    void anInvalidThirdRuleStopsTheRun_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("cond");
        QTest::newRow("window, syntax") << int(CheckMode::Window) << QStringLiteral("cws_yy >>> 3");
        QTest::newRow("upload, syntax") << int(CheckMode::Upload) << QStringLiteral("cws_yy >>> 3");
        QTest::newRow("window, unknown column") << int(CheckMode::Window) << QStringLiteral("no_such_column > 1");
        QTest::newRow("window, empty condition") << int(CheckMode::Window) << QString();
    }
    void anInvalidThirdRuleStopsTheRun()
    {
        QFETCH(int, mode);
        QFETCH(QString, cond);
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=20 where nd='20030112'"));
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("first")},
                  {QStringLiteral("cws_yy>15"), QStringLiteral("second")},
                  {cond, QStringLiteral("third")},
                  {QStringLiteral("cws_yy>5"), QStringLiteral("fourth")}});
        QVERIFY(!RunCheck(window(), CheckMode(mode)));
        QCOMPARE(findings().size(), std::size_t(6));
        QCOMPARE(findings().back().name3, QStringLiteral("second"));
        QCOMPARE(window()->panelText(0), QStringLiteral(" 正在检验数据, 请稍候..."));
        QCOMPARE(window()->panelText(1), QStringLiteral(" 检验，完成：3.4%"));
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        const ui::ShownBox box = ui::MessageBox::shown()[0];
        QCOMPARE(box.caption, kNotice);
        QCOMPARE(box.icon, ui::Icon::Warning);
        QVERIFY(!box.text.trimmed().isEmpty());
        QVERIFY(box.text != QStringLiteral("数据通过检验！"));
        QVERIFY(report::PreviewWindow::shownReports().empty());
        QVERIFY(!QApplication::overrideCursor());
    }

    // A run stopped by a fault that is not the store's own (here the host's
    // own exception after the first rule), whose findings then cannot be
    // written either (the disk is full by then): the user is told both, the
    // check does not end as if only the first had happened, and the old
    // findings stay whole.
    void aFailedFlushWhileStoppingIsToldBesideTheFault()
    {
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("first")}, {QStringLiteral("cws_yy>5"), QStringLiteral("second")}});
        RunCheck(window(), CheckMode::Window);
        QCOMPARE(findings().size(), std::size_t(10));
        ui::MessageBox::clearShown();

        struct FailingHost : check::HeadlessCheckHost {
            testsupport::FaultEnv full;
            int calls = 0;
            void processEvents() override
            {
                if (++calls < 2)
                    return;
                full.failChange(1);
                store::fileio::setEnv(&full);
                throw std::runtime_error("the host's own failure");
            }
        } host;
        bool notRun = false;
        const bool passed = check::runCheck(host, CheckMode::Window, &notRun);
        store::fileio::setEnv(nullptr);
        QVERIFY(!passed);
        QVERIFY(notRun);
        QCOMPARE(host.messages().size(), 1);
        const QString message = host.messages()[0];
        QVERIFY2(message.contains(QStringLiteral("the host's own failure")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("已得出的审核结果也未能保存")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("磁盘空间不足")), qPrintable(message));
        QCOMPARE(findings().size(), std::size_t(10));
    }

    void findingsNeverAccumulate()
    {
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
        RunCheck(window(), CheckMode::Window);
        RunCheck(window(), CheckMode::Window);
        QCOMPARE(findings().size(), std::size_t(5));
        QCOMPARE(report::PreviewWindow::shownReports().size(), std::size_t(2));
        QCOMPARE(report::PreviewWindow::shownReports()[1].pages.size(), std::size_t(1));
    }

    void thousandsOfFindingsAfterEarlierRunsAreStoredWhole()
    {
        // An earlier run's findings are deleted, not removed, until the next
        // start-up packs the table; this run writes more findings than fit
        // one write.
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("earlier")}});
        RunCheck(window(), CheckMode::Window);
        setRules({});
        {
            // 1,000 rules written at once (one post per rule takes long).
            store::DbfTable rules = store::DbfTable::load(m_dir->file(QStringLiteral("DataMeta/tjjctjk.dbf")),
                                                          store::DbfTable::Access::Write);
            std::vector<std::vector<QVariant>> rows;
            for (int i = 0; i < 1000; ++i) {
                std::vector<QVariant> row(rules.fields().size());
                row[size_t(rules.fieldIndex(QStringLiteral("Cond")))] = QStringLiteral("cws_yy>5");
                row[size_t(rules.fieldIndex(QStringLiteral("Cont")))] = QStringLiteral("规则 %1").arg(i);
                rows.push_back(std::move(row));
            }
            rules.appendRecords(rows);
        }
        QVERIFY(!RunCheck(window(), CheckMode::Window));
        QCOMPARE(report::PreviewWindow::shownReports().size(), std::size_t(2));
        // Read back by another reader: every finding once, in rule order
        // then period order, and the earlier ones still marked deleted.
        const auto r = testsupport::python(QStringLiteral(
            "import dbf\n"
            "t = dbf.Table(%1)\n"
            "t.open(dbf.READ_ONLY)\n"
            "labels = ['2002年', '2003年', '2004年', '2005年', '2006上半年']\n"
            "live = [(r.name1.strip(), r.name2.strip(), r.name3.strip()) for r in t if not dbf.is_deleted(r)]\n"
            "dead = [r.name3.strip() for r in t if dbf.is_deleted(r)]\n"
            "want = [(labels[i % 5], '', '规则 %d' % (i // 5)) for i in range(5000)]\n"
            "print(len(live), live == want, dead == ['earlier'] * 5)\n")
                                                  .arg(QStringLiteral("'") + m_dir->file(QStringLiteral("DataMeta/shtable1.dbf"))
                                                       + QStringLiteral("'")));
        QCOMPARE(QString::fromUtf8(r.out + r.err).trimmed(), QStringLiteral("5000 True True"));
    }

    void uploadWithFindingsReturnsFalseAfterThePreview()
    {
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
        bool runStillGoing = false;
        bool cursorWhilePreviewed = true;
        report::PreviewWindow::setTestHook([&](report::PreviewWindow &) {
            runStillGoing = check::isCheckRunning(window());
            cursorWhilePreviewed = QApplication::overrideCursor() != nullptr;
        });
        QVERIFY(!RunCheck(window(), CheckMode::Upload));
        QVERIFY(runStillGoing);
        QVERIFY(!cursorWhilePreviewed);
        QCOMPARE(report::PreviewWindow::shownReports().size(), std::size_t(1));
        QVERIFY(ui::MessageBox::shown().empty());
        QVERIFY(!QApplication::overrideCursor());
    }

    // Clicks that reach the window while a run goes on: "检测" does not
    // start a second run, "退出", Esc and the close box wait for the run to end.
    void inputDuringARun_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("退出") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("Esc") << 2;
    }
    void inputDuringARun()
    {
        QFETCH(int, how);
        std::vector<std::pair<QString, QString>> rules;
        for (int i = 0; i < 20; ++i)
            rules.push_back({QStringLiteral("cws_yy>50"), QStringLiteral("never")});
        setRules(rules);
        TfrmCheck *w = window();
        w->show();
        auto *check = w->findChild<QPushButton *>(QStringLiteral("Btn_Check"));
        auto *exit = w->findChild<QPushButton *>(QStringLiteral("Btn_Exit"));
        bool aliveDuringRun = false;
        int clicks = 0;
        QStringList panelsSeen;
        bool busySeen = false;
        QTimer::singleShot(0, w, [&] {
            if (!check::isCheckRunning(w))
                return;
            ++clicks;
            // The first events are processed right after the first status
            // text, before any rule, with the busy cursor on.
            panelsSeen << w->panelText(0) << w->panelText(1);
            busySeen = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            check->click(); // a second run would show a second pass message
            if (how == 0)
                exit->click();
            else if (how == 1)
                w->close();
            else
                QTest::keyClick(w, Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            aliveDuringRun = !m_window.isNull() && w->isVisible();
        });
        check->click();
        QCOMPARE(clicks, 1);
        QCOMPARE(panelsSeen, (QStringList{QStringLiteral(" 正在检验数据, 请稍候..."), QString()}));
        QVERIFY(busySeen);
        QVERIFY(aliveDuringRun);
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("数据通过检验！")});
        // The close asked for during the run happens once it has ended.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_window.isNull());
    }

    void aSecondRunOnTheSameWindowIsRefused()
    {
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
        bool nestedResult = true;
        report::PreviewWindow::setTestHook([&](report::PreviewWindow &) {
            nestedResult = RunCheck(window(), CheckMode::Window);
        });
        RunCheck(window(), CheckMode::Window);
        QVERIFY(!nestedResult);
        QCOMPARE(report::PreviewWindow::shownReports().size(), std::size_t(1));
        QCOMPARE(findings().size(), std::size_t(5));
    }

    void progressFigures()
    {
        QCOMPARE(check::progressText(1 * 1.7), QStringLiteral(" 检验，完成：1.7%"));
        QCOMPARE(check::progressText(3 * 1.7), QStringLiteral(" 检验，完成：5.1%"));
        QCOMPARE(check::progressText(58 * 1.7), QStringLiteral(" 检验，完成：98.6%"));
        QCOMPARE(check::progressText(59 * 1.7), QStringLiteral(" 检验，完成：100.3%"));
    }
};

QTEST_MAIN(CheckRunTest)
#include "test_check_run.moc"
