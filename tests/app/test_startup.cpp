// The start-up sequence run by the main window's creation, against a
// temporary program directory each time.
#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "controls/MessageBox.h"
#include "store/DbfTable.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <memory>

using testsupport::TempProgramDir;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// Creates the main window and frees it at once; the start-up sequence runs
// in its constructor.
void startProgram()
{
    auto *main = new TfrmMain;
    delete main;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ui::MessageBox::setTestMode(true);
        ui::MessageBox::clearShown();
        qApp->setStyleSheet(QString());
    }

    void firstStartCopiesTemplateAndLaterStartsKeepIt()
    {
        TempProgramDir dir(false);
        const QString result = dir.file(QStringLiteral("Result/result.dbf"));
        const QString templ = dir.file(QStringLiteral("DataMeta/sjsbb.dbf"));
        QVERIFY(!QFile::exists(result));

        startProgram();
        QVERIFY(QFile::exists(result));
        QCOMPARE(testsupport::fileBytes(result), testsupport::fileBytes(templ));
        QVERIFY(ui::MessageBox::shown().empty());
        // Nothing but the table is left behind in Result/.
        QCOMPARE(QDir(dir.file(QStringLiteral("Result"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("result.dbf")});
        // The table is an ordinary file the user can write.
        QVERIFY(QFileInfo(result).isWritable());

        // The user's data, then a changed template: later starts keep the table.
        QByteArray userData = testsupport::fileBytes(result);
        userData[userData.size() - 2] = 'x';
        writeBytes(result, userData);
        writeBytes(templ, testsupport::fileBytes(templ) + QByteArray("changed"));
        startProgram();
        startProgram();
        QCOMPARE(testsupport::fileBytes(result), userData);
        QVERIFY(ui::MessageBox::shown().empty());
    }

    void missingResultDirOrTemplateIsSilent()
    {
        {
            TempProgramDir dir(false);
            QVERIFY(QDir(dir.file(QStringLiteral("Result"))).removeRecursively());
            startProgram();
            QVERIFY(!QFileInfo::exists(dir.file(QStringLiteral("Result"))));
            QVERIFY(ui::MessageBox::shown().empty());
        }
        {
            TempProgramDir dir(false);
            QVERIFY(QFile::remove(dir.file(QStringLiteral("DataMeta/sjsbb.dbf"))));
            startProgram();
            QVERIFY(!QFile::exists(dir.file(QStringLiteral("Result/result.dbf"))));
            QVERIFY(QDir(dir.file(QStringLiteral("Result"))).entryList(QDir::Files).isEmpty());
            QVERIFY(ui::MessageBox::shown().empty());
        }
    }

    // Only the program's own temporary files go: a user's copies beside the
    // tables, named like them, stay.
    void damagedTemplateIsToldNotCopiedAndLeftoversAreRemoved()
    {
        TempProgramDir dir(false);
        const QString templ = dir.file(QStringLiteral("DataMeta/sjsbb.dbf"));
        const QString leftover = dir.file(QStringLiteral("Result/result.dbf~pdeclare-tmp-Ab12Cd"));
        writeBytes(leftover, "half a table");
        const QStringList users{QStringLiteral("Result/result.dbf.backup"), QStringLiteral("Result/result.dbf.2024v1"),
                                QStringLiteral("DataMeta/sjsbb.DBF.Backup"), QStringLiteral("Result/result.dbf.Ab12Cd")};
        for (const QString &name : users)
            writeBytes(dir.file(name), "a user's copy");
        writeBytes(templ, testsupport::fileBytes(templ).left(100));
        startProgram();
        QVERIFY(!QFile::exists(leftover));
        for (const QString &name : users)
            QCOMPARE(testsupport::fileBytes(dir.file(name)), QByteArray("a user's copy"));
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("Result/result.dbf"))));
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        const ui::ShownBox box = ui::MessageBox::shown().front();
        QCOMPARE(box.caption, ui::applicationTitle());
        QVERIFY2(box.text.startsWith(QStringLiteral("数据模板不是有效的表，没有建立工作表 result.dbf。请重新安装程序。\n")),
                 qPrintable(box.text));
    }

    void skinAppliedWhenPresentAndSilentWhenMissing()
    {
        TempProgramDir dir(true);
        startProgram();
        QVERIFY(ui::MessageBox::shown().empty());
        QVERIFY(qApp->styleSheet().isEmpty());

        QVERIFY(QDir().mkpath(dir.file(QString::fromUtf8("风格"))));
        const QByteArray sheet = testsupport::fileBytes(testsupport::sourceDir() + QStringLiteral("app/skin/Main.skn"));
        QVERIFY(sheet.contains("QPushButton"));
        writeBytes(store::paths::skinFile(), sheet);
        startProgram();
        QCOMPARE(qApp->styleSheet(), QString::fromUtf8(sheet));

        // The delivered skin leaves tooltips to their windows.
        QVERIFY(!qApp->styleSheet().contains(QStringLiteral("QToolTip")));

        QVERIFY(QFile::remove(store::paths::skinFile()));
        startProgram();
        QVERIFY(qApp->styleSheet().isEmpty());
        QVERIFY(ui::MessageBox::shown().empty());
    }

    void brokenFindingsTableGivesOneErrorAndAWorkingMenu_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("missing shtable1") << 0;
        QTest::newRow("unreadable shtable1") << 1;
        QTest::newRow("no DataMeta at all") << 2;
    }

    void brokenFindingsTableGivesOneErrorAndAWorkingMenu()
    {
        QFETCH(int, damage);
        TempProgramDir dir(false);
        const QString shtable = dir.file(QStringLiteral("DataMeta/shtable1.dbf"));
        if (damage == 0)
            QVERIFY(QFile::remove(shtable));
        else if (damage == 1)
            writeBytes(shtable, QByteArray("\x03\x01\x02 not a table", 16));
        else
            QVERIFY(QDir(dir.file(QStringLiteral("DataMeta"))).removeRecursively());

        QPointer<TfrmMain> main = new TfrmMain;
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        const ui::ShownBox box = ui::MessageBox::shown().front();
        QCOMPARE(box.icon, ui::Icon::Error);
        QCOMPARE(box.caption, ui::applicationTitle());
        QVERIFY(!box.text.trimmed().isEmpty());
        // The steps before the purge ran: the working table was made.
        QCOMPARE(QFile::exists(dir.file(QStringLiteral("Result/result.dbf"))), damage != 2);

        main->show();
        const auto actions = main->findChildren<QAction *>();
        QVERIFY(actions.size() >= 10);
        for (QAction *action : actions)
            QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));

        // About opens modally over the main window and frees itself.
        QString opened;
        QTimer::singleShot(0, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            opened = QString::fromUtf8(modal->metaObject()->className());
            QCOMPARE(modal->parentWidget(), main.data());
            modal->close();
        });
        main->findChild<QAction *>(QStringLiteral("N15"))->trigger();
        QCOMPARE(opened, QStringLiteral("TfrmAbout"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(main->findChildren<TfrmAbout *>().isEmpty());
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        delete main;
    }

    void startupPurgesDeletedFindings()
    {
        TempProgramDir dir(true);
        const QString path = dir.file(QStringLiteral("DataMeta/shtable1.dbf"));
        {
            store::DbfTable table = store::DbfTable::load(path);
            QCOMPARE(int(table.recordCount()), 0);
            const int name1 = table.fieldIndex(QStringLiteral("name1"));
            const int name3 = table.fieldIndex(QStringLiteral("name3"));
            QVERIFY(name1 >= 0 && name3 >= 0);
            const QStringList labels{QString::fromUtf8("2002年"), QString::fromUtf8("2003年"),
                                     QString::fromUtf8("2006上半年")};
            for (const QString &label : labels) {
                std::vector<QVariant> values(table.fields().size(), QString());
                values[std::size_t(name1)] = label;
                values[std::size_t(name3)] = QString::fromUtf8("门诊量不应为零");
                table.appendRecord(values);
            }
            table.markDeleted(0);
            table.markDeleted(2);
        }
        {
            TfrmMain main;
            QCOMPARE(main.AQry_Tmp().objectName(), QStringLiteral("AQry_Tmp"));
            QCOMPARE(main.AQry_Tmp().directory(), store::paths::dataMetaDir());
        }
        QVERIFY(ui::MessageBox::shown().empty());

        const store::DbfTable after = store::DbfTable::load(path);
        QCOMPARE(int(after.recordCount()), 1);
        QVERIFY(!after.isDeleted(0));
        QCOMPARE(after.value(0, after.fieldIndex(QStringLiteral("name1"))).toString().trimmed(),
                 QString::fromUtf8("2003年"));

        // Another reader sees the same single, live record.
        const auto r = testsupport::python(
            QStringLiteral("import dbf\n"
                           "t = dbf.Table(%1)\n"
                           "t.open()\n"
                           "print(len(t), sum(1 for x in t if dbf.is_deleted(x)))\n"
                           "print(t[0].name1.strip())\n")
                .arg(QStringLiteral("'") + path + QStringLiteral("'")));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out).split(QLatin1Char('\n')).value(0).trimmed(), QStringLiteral("1 0"));
        QCOMPARE(QString::fromUtf8(r.out).split(QLatin1Char('\n')).value(1).trimmed(), QString::fromUtf8("2003年"));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
