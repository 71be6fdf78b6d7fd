// The backup and upload command through the backup window: where the file
// goes, its name, its bytes and rows (read back with python3-dbf), the upload
// flag, the question, what a failure leaves behind.
#include "backup/BackupRun.h"
#include "backup/UnitBackUpDBF.h"
#include "check/CheckObjects.h"
#include "check/UnitCheck.h"
#include "controls/MessageBox.h"
#include "controls/WindowSupport.h"
#include "report/Preview.h"
#include "tests/check/CheckTestData.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QSettings>
#include <QTreeView>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <unistd.h>

// Whether a folder without write permission refuses new files: not for
// root, nor on Windows, where a folder's read-only mark does not stop writes.
static bool readOnlyFoldersRefuse()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() != 0;
#endif
}

using namespace checktest;

namespace {

// Every field of every row, as python3-dbf reads the table.
QString rowsByPython(const QString &path)
{
    const QString script = QStringLiteral(
        "import dbf, json\n"
        "t = dbf.Table(%1)\n"
        "t.open(dbf.READ_ONLY)\n"
        "rows = [[str(r[f]).strip() if r[f] is not None else None for f in t.field_names] for r in t]\n"
        "print(json.dumps({'fields': t.field_names, 'rows': rows}, ensure_ascii=False))\n")
                               .arg(QStringLiteral("'") + path + QStringLiteral("'"));
    const auto r = testsupport::python(script);
    return r.exitCode == 0 ? QString::fromUtf8(r.out) : QStringLiteral("python failed: ") + QString::fromUtf8(r.err);
}

QStringList boxTexts()
{
    QStringList texts;
    for (const ui::ShownBox &box : ui::MessageBox::shown())
        texts << box.caption + QLatin1Char('|') + box.text;
    return texts;
}

} // namespace

class BackupTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings; // the user's configuration folder
    std::unique_ptr<testsupport::TempProgramDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_target;
    QPointer<TfrmBackUpDBF> m_window;

    TfrmBackUpDBF *window(bool upload)
    {
        m_window = new TfrmBackUpDBF(nullptr, upload ? backup::Mode::Upload : backup::Mode::Backup);
        m_window->setDirectory(m_target->path());
        return m_window;
    }
    void press() { m_window->findChild<QAbstractButton *>(QStringLiteral("btn_Backup"))->click(); }
    QString target(const QString &name) const { return m_target->filePath(name); }
    QString source() const { return m_dir->file(QStringLiteral("Result/result.dbf")); }

    void verifySameTable(const QString &copy)
    {
        QVERIFY(QFile::exists(copy));
        QCOMPARE(testsupport::fileBytes(copy), testsupport::fileBytes(source()));
        const QString theirs = rowsByPython(copy);
        QVERIFY2(theirs.startsWith(QLatin1Char('{')), qPrintable(theirs));
        QCOMPARE(theirs, rowsByPython(source()));
    }
    void verifyNoFileWritten()
    {
        QCOMPARE(QDir(m_target->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        ui::MessageBox::setTestMode(true);
        report::PreviewWindow::setTestMode(true);
    }
    void init()
    {
        m_dir = std::make_unique<testsupport::TempProgramDir>();
        m_target = std::make_unique<QTemporaryDir>();
        QDir(m_settings.path()).removeRecursively();
        ui::MessageBox::clearShown();
        ui::MessageBox::setHook({});
        report::PreviewWindow::clearShownReports();
        report::PreviewWindow::setTestHook({});
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10"));
        setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    }
    void cleanup()
    {
        delete m_window;
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        m_target.reset();
        m_dir.reset();
    }

    void theWindowCarriesItsObjects()
    {
        TfrmBackUpDBF *w = window(false);
        QCOMPARE(w->windowTitle(), QStringLiteral("备份数据"));
        QCOMPARE(w->size(), QSize(380, 314));
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        auto *button = w->findChild<QAbstractButton *>(QStringLiteral("btn_Backup"));
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("备份"));
        QCOMPARE(w->findChild<QAbstractButton *>(QStringLiteral("btn_Close"))->text(), QStringLiteral("关闭"));
        for (const char *name : {"AQry_Temp", "AQry_DBTemp"})
            QVERIFY2(check::QueryObject::find(w, QString::fromLatin1(name)), name);
        auto *status = w->findChild<check::PanelStatusBar *>(QStringLiteral("StatusBar1"));
        QCOMPARE(status->panel(0)->width(), 250);
        QCOMPARE(status->panel(1)->width(), 50);
        // The chooser offers the root first, but the window starts at home,
        // where the user can write.
        auto *drives = w->findChild<QComboBox *>(QStringLiteral("DCmb_RestoreDB"));
        QVERIFY(drives && drives->count() >= 1);
        QCOMPARE(drives->itemData(0).toString(), QDir::rootPath());
        QVERIFY(TfrmBackUpDBF::places().contains(QDir::homePath()));
        TfrmBackUpDBF fresh;
        fresh.show();
        QCOMPARE(fresh.directory(), QDir::homePath());
        QCOMPARE(fresh.panelText(0), QStringLiteral("存放路径：") + QDir::toNativeSeparators(QDir::homePath()) + QStringLiteral("  "));
        // Places in the client area.
        const std::pair<const char *, QRect> places[] = {
            {"Lbl_Caption", QRect(27, 8, 95, 19)},     {"DCmb_RestoreDB", QRect(27, 34, 159, 19)},
            {"DLb_RestoreDB", QRect(27, 63, 160, 180)}, {"FLb_RestoreDB", QRect(197, 34, 161, 209)},
            {"btn_Backup", QRect(210, 258, 75, 25)},   {"btn_Close", QRect(291, 257, 75, 25)},
            {"btn_NewFolder", QRect(27, 258, 90, 25)},
        };
        for (const auto &p : places) {
            auto *child = w->findChild<QWidget *>(QString::fromLatin1(p.first));
            QVERIFY2(child, p.first);
            QCOMPARE(QRect(child->mapTo(w, QPoint(0, 0)), child->size()), p.second);
        }
        QCOMPARE(QRect(status->mapTo(w, QPoint(0, 0)), status->size()), QRect(0, 314 - 22, 380, 22));
    }

    void escapePressesClose()
    {
        TfrmBackUpDBF *w = window(false);
        w->show();
        QTest::keyClick(w, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_window.isNull());
    }

    void theDirectoryChoiceShowsItsPathAndTables()
    {
        QFile(target(QStringLiteral("old.dbf"))).open(QIODevice::WriteOnly);
        QFile(target(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
        TfrmBackUpDBF *w = window(false);
        QCOMPARE(w->panelText(0), QStringLiteral("存放路径：") + QDir::toNativeSeparators(m_target->path()) + QStringLiteral("  "));
        QCOMPARE(w->listedFiles(), QStringList{QStringLiteral("old.dbf")});
    }

    void theTargetJoinsWithOneSeparator()
    {
        QCOMPARE(backup::joinTarget(QStringLiteral("/"), QStringLiteral("result.dbf")), QStringLiteral("/result.dbf"));
        QCOMPARE(backup::joinTarget(QStringLiteral("/home/u/Data"), QStringLiteral("result.dbf")),
                 QStringLiteral("/home/u/Data/result.dbf"));
        QCOMPARE(backup::joinTarget(QStringLiteral("C:\\"), QStringLiteral("result.dbf")), QStringLiteral("C:\\result.dbf"));
    }

    void backupCopiesTheTableIntoASubdirectory()
    {
        QDir(m_target->path()).mkdir(QStringLiteral("Data"));
        TfrmBackUpDBF *w = window(false);
        w->setDirectory(target(QStringLiteral("Data")));
        press();
        verifySameTable(target(QStringLiteral("Data/result.dbf")));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|备份成功")});
        QCOMPARE(ui::MessageBox::shown()[0].icon, ui::Icon::Warning);
        QCOMPARE(w->panelText(0), QStringLiteral("存放路径：") + QDir::toNativeSeparators(target(QStringLiteral("Data/result.dbf"))));
        QVERIFY(w->listedFiles().contains(QStringLiteral("result.dbf")));
        // A backup neither checks nor flags.
        QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QString()));
    }

    void theModeNotTheCaptionChoosesTheCommand()
    {
        // Texts changed after the window was made (a skin, a translation)
        // do not turn a backup into an upload.
        TfrmBackUpDBF *w = window(false);
        w->setWindowTitle(QStringLiteral("上报监测中心"));
        w->findChild<QAbstractButton *>(QStringLiteral("btn_Backup"))->setText(QStringLiteral("导出"));
        press();
        verifyNoFileWrittenExcept({QStringLiteral("result.dbf")});
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|备份成功")});
        QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QString()));
    }

    void aSecondBackupReplacesTheFirst()
    {
        window(false);
        press();
        setProject(QStringLiteral("1002  东岭市中医医院（肝病科）"));
        press();
        verifySameTable(target(QStringLiteral("result.dbf")));
        QVERIFY(rowsByPython(target(QStringLiteral("result.dbf"))).contains(QStringLiteral("东岭市")));
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(2));
        verifyNoFileWrittenExcept({QStringLiteral("result.dbf")});
    }
    void verifyNoFileWrittenExcept(const QStringList &names)
    {
        QCOMPARE(QDir(m_target->path()).entryList(QDir::Files | QDir::Hidden), names);
    }

    void withoutTableOrDataNothingHappens_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("removeTable");
        QTest::newRow("backup, no table") << false << true;
        QTest::newRow("upload, no table") << true << true;
        QTest::newRow("backup, empty first yydm") << false << false;
        QTest::newRow("upload, empty first yydm") << true << false;
    }
    void withoutTableOrDataNothingHappens()
    {
        QFETCH(bool, upload);
        QFETCH(bool, removeTable);
        addFinding(QStringLiteral("2003年"), QStringLiteral("earlier"));
        if (removeTable)
            QFile::remove(source());
        else
            setProject(QString(), QStringLiteral("nd='20020112'"));
        window(upload);
        press();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        const ui::ShownBox box = ui::MessageBox::shown()[0];
        QCOMPARE(box.caption, QStringLiteral("提示"));
        QCOMPARE(box.text, removeTable ? QStringLiteral("不存在数据文件表") : QStringLiteral("申报表无数据！"));
        QCOMPARE(box.icon, removeTable ? ui::Icon::Information : ui::Icon::Warning);
        verifyNoFileWritten();
        QCOMPARE(findings().size(), std::size_t(1)); // the check did not run
        if (!removeTable)
            QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QString()));
    }

    void uploadWithoutFindingsFlagsYAndAsksNothing()
    {
        window(true);
        press();
        QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QStringLiteral("Y")));
        verifySameTable(target(QStringLiteral("1001SJSB.dbf")));
        QVERIFY(rowsByPython(target(QStringLiteral("1001SJSB.dbf"))).contains(QStringLiteral("\"Y\"")));
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|导出成功")});
        QVERIFY(report::PreviewWindow::shownReports().empty());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(m_window->panelText(0), QStringLiteral("存放路径：") + QDir::toNativeSeparators(target(QStringLiteral("1001SJSB.dbf"))));
    }

    void theUploadIsNamedByTheFirstFourCharacters_data()
    {
        QTest::addColumn<QString>("yydm");
        QTest::addColumn<QString>("file");
        QTest::newRow("code and name") << QStringLiteral("  1003  南川省中医院（糖尿病科）") << QStringLiteral("1003SJSB.dbf");
        QTest::newRow("characters, not bytes") << QStringLiteral("中医药科室") << QStringLiteral("中医药科SJSB.dbf");
        QTest::newRow("short code") << QStringLiteral("12") << QStringLiteral("12SJSB.dbf");
    }
    void theUploadIsNamedByTheFirstFourCharacters()
    {
        QFETCH(QString, yydm);
        QFETCH(QString, file);
        QCOMPARE(backup::uploadFileName(backup::projectCodeOf(yydm)), file);
        setProject(yydm);
        window(true);
        press();
        verifySameTable(target(file));
    }

    void uploadWithFindingsShowsThemThenAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void uploadWithFindingsShowsThemThenAsks()
    {
        QFETCH(bool, yes);
        setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
        exec(QStringLiteral("Result"), QStringLiteral("update result set bln_zkjy='Y'"));
        const QByteArray before = testsupport::fileBytes(source());
        QStringList order;
        report::PreviewWindow::setTestHook([&](report::PreviewWindow &) { order << QStringLiteral("preview"); });
        ui::MessageBox::setHook([&](const ui::ShownBox &box) { order << box.text; });
        ui::MessageBox::queueAnswer(yes ? ui::Answer::Yes : ui::Answer::No);
        window(true);
        press();
        QCOMPARE(order.value(0), QStringLiteral("preview"));
        QCOMPARE(order.value(1), QStringLiteral("申报有误差提示，是否申报？"));
        const ui::ShownBox question = ui::MessageBox::shown()[0];
        QCOMPARE(question.caption, QStringLiteral("提示"));
        QCOMPARE(question.buttons, ui::Buttons::YesNo);
        QCOMPARE(question.icon, ui::Icon::None);
        QVERIFY(!QApplication::overrideCursor());
        if (!yes) {
            QCOMPARE(order.size(), 2);
            QCOMPARE(testsupport::fileBytes(source()), before);
            verifyNoFileWritten();
        } else {
            QCOMPARE(order.value(2), QStringLiteral("导出成功"));
            QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QStringLiteral("N")));
            verifySameTable(target(QStringLiteral("1001SJSB.dbf")));
        }
    }

    // A check that cannot run says why, and the upload stops there: no
    // question, no flag, no file.
    void aCheckThatCannotRunStopsTheUpload()
    {
        setRules({{QStringLiteral("cws_yy >>> 1"), QStringLiteral("bad")}});
        const QByteArray before = testsupport::fileBytes(source());
        window(true);
        press();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown()[0].caption, QStringLiteral("提示"));
        QCOMPARE(testsupport::fileBytes(source()), before);
        verifyNoFileWritten();
    }

    // A project code that would leave the target directory or is no file
    // name is refused before anything is written.
    void anUnsafeProjectCodeIsRefused_data()
    {
        QTest::addColumn<QString>("yydm");
        QTest::newRow("parent") << QStringLiteral("../x 项目");
        QTest::newRow("slash") << QStringLiteral("ab/c");
        QTest::newRow("backslash") << QStringLiteral("a\\bc");
        QTest::newRow("colon") << QStringLiteral("C:ab");
        QTest::newRow("star") << QStringLiteral("1*01");
        QTest::newRow("control") << QStringLiteral("1\x01" "01");
        QTest::newRow("pipe") << QStringLiteral("10|1");
    }
    void anUnsafeProjectCodeIsRefused()
    {
        QFETCH(QString, yydm);
        setProject(yydm);
        QVERIFY_THROWS_EXCEPTION(store::Error, backup::requireSafeProjectCode(backup::projectCodeOf(yydm)));
        window(true);
        press();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown()[0].caption, QStringLiteral("错误"));
        QCOMPARE(ui::MessageBox::shown()[0].icon, ui::Icon::Warning);
        QVERIFY(ui::MessageBox::shown()[0].text.contains(QStringLiteral("项目编码")));
        QCOMPARE(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QString()));
        verifyNoFileWritten();
        QVERIFY(!QFile::exists(m_target->path() + QStringLiteral("/../xSJSB.dbf")));
        QVERIFY(!QApplication::overrideCursor());
    }

    void aFailedCopyKeepsTheEarlierFileAndSaysWhy()
    {
#ifdef Q_OS_WIN
        QSKIP("a folder that cannot hold files and a file that fails half-way are Linux's /proc");
#endif
        // Into a directory that cannot hold files: the reason under "错误",
        // no success message.
        TfrmBackUpDBF *w = window(false);
        w->setDirectory(QStringLiteral("/proc"));
        press();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown()[0].caption, QStringLiteral("错误"));
        QVERIFY(ui::MessageBox::shown()[0].text.contains(QStringLiteral("/proc/result.dbf")));
        QCOMPARE(w->panelText(0), QStringLiteral("存放路径：/proc/result.dbf"));

        // A copy that fails half-way leaves an earlier file whole and no
        // temporary file behind.
        const QString earlier = target(QStringLiteral("result.dbf"));
        {
            QFile f(earlier);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier backup");
        }
        bool threw = false;
        try {
            backup::copyReplacing(QStringLiteral("/proc/self/mem"), earlier);
        } catch (const store::Error &e) {
            threw = true;
            QVERIFY(!e.message().isEmpty());
        }
        QVERIFY(threw);
        QCOMPARE(testsupport::fileBytes(earlier), QByteArray("earlier backup"));
        verifyNoFileWrittenExcept({QStringLiteral("result.dbf")});
    }

    void aBackupIntoTheResultFolderKeepsTheTable()
    {
        const QByteArray before = testsupport::fileBytes(source());
        TfrmBackUpDBF *w = window(false);
        w->setDirectory(m_dir->file(QStringLiteral("Result")));
        press();
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|备份成功")});
        QCOMPARE(testsupport::fileBytes(source()), before);
    }

    // Each command's chooser starts at the folder it last wrote to, in a
    // later window too, with that folder open in the tree; home the first
    // time and when the folder has gone up to the root.
    void theChooserStartsWhereTheCommandLastWrote()
    {
        const QString deep = target(QStringLiteral("数据/2026"));
        QVERIFY(QDir().mkpath(deep));
        TfrmBackUpDBF *w = window(false);
        w->setDirectory(deep);
        press();
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|备份成功")});
        delete w;

        auto shown = [this](bool upload) {
            m_window = new TfrmBackUpDBF(nullptr, upload ? backup::Mode::Upload : backup::Mode::Backup);
            m_window->show();
            return m_window.data();
        };
        w = shown(false);
        QCOMPARE(w->directory(), deep);
        QCOMPARE(w->listedFiles(), QStringList{QStringLiteral("result.dbf")});
        auto *tree = w->findChild<QTreeView *>(QStringLiteral("DLb_RestoreDB"));
        auto *model = static_cast<QFileSystemModel *>(tree->model());
        QCOMPARE(model->filePath(tree->currentIndex()), deep);
        QVERIFY(tree->isExpanded(tree->currentIndex()));
        QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())));
        delete w;

        w = shown(true); // the upload has not written anywhere yet
        QCOMPARE(w->directory(), QDir::homePath());
        delete w;

        QVERIFY(QDir(deep).removeRecursively());
        w = shown(false);
        QCOMPARE(w->directory(), target(QStringLiteral("数据")));
        delete w;
        ui::programSettings()->setValue(QStringLiteral("folders/backup"), QStringLiteral("/nowhere/at/all"));
        w = shown(false);
        QCOMPARE(w->directory(), QDir::homePath());
    }

    // "新建文件夹" makes a folder in the chosen one and chooses it; a name
    // that is taken is refused in Chinese.
    void aNewFolderInTheChosenOne()
    {
        TfrmBackUpDBF *w = window(false);
        w->show();
        auto answer = [](const QString &name) {
            QTimer::singleShot(0, [name] {
                if (auto *ask = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
                    ask->setTextValue(name);
                    ask->accept();
                }
            });
        };
        auto *button = w->findChild<QAbstractButton *>(QStringLiteral("btn_NewFolder"));
        answer(QStringLiteral("二〇二六年备份"));
        button->click();
        const QString made = target(QStringLiteral("二〇二六年备份"));
        QVERIFY(QFileInfo(made).isDir());
        QCOMPARE(w->directory(), made);
        QCOMPARE(w->panelText(0), QStringLiteral("存放路径：") + QDir::toNativeSeparators(made) + QStringLiteral("  "));
        QVERIFY(ui::MessageBox::shown().empty());

        w->setDirectory(m_target->path());
        answer(QStringLiteral("二〇二六年备份"));
        button->click();
        QCOMPARE(ui::MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(ui::MessageBox::shown()[0].caption, QStringLiteral("错误"));
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("无法新建文件夹“二〇二六年备份”：") + QDir::toNativeSeparators(m_target->path())
                                                      + QStringLiteral(" 中已有同名的文件或文件夹。"));
        QCOMPARE(w->directory(), m_target->path());
    }

    // A copy into a folder that has gone says so in Chinese.
    void aFailedCopySaysWhyInChinese()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows keeps a folder that the window watches until the window lets it go: it cannot be taken away "
              "from under the window as a pulled-out stick is on Linux");
#endif
        const QString gone = target(QStringLiteral("U盘"));
        TfrmBackUpDBF *w = window(false);
        QVERIFY(QDir().mkdir(gone));
        w->setDirectory(gone);
        QVERIFY(QDir().rmdir(gone));
        press();
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("错误|无法写入 ") + gone + QStringLiteral("/result.dbf：文件夹 ")
                                         + gone + QStringLiteral(" 不存在（也许移动存储设备已拔出）。请重新选择存放路径。")});
    }

    // An upload into a folder that is gone, or cannot be written, says so
    // before the check: no findings, no question, no flag written.
    void anUploadLooksAtTheFolderFirst()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows keeps a folder that the window watches until the window lets it go: it cannot be taken away "
              "from under the window as a pulled-out stick is on Linux");
#endif
        const QByteArray before = testsupport::fileBytes(source());
        QStringList folders{target(QStringLiteral("U盘"))};
        QVERIFY(QDir().mkdir(folders[0]));
        if (readOnlyFoldersRefuse()) {
            folders << target(QStringLiteral("只读"));
            QVERIFY(QDir().mkdir(folders[1]));
            QVERIFY(QFile::setPermissions(folders[1], QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        TfrmBackUpDBF *w = window(true);
        w->setDirectory(folders[0]);
        QVERIFY(QDir().rmdir(folders[0]));
        // With data that passes (the flag "Y" was written) and with findings
        // (they were shown and 申报有误差提示，是否申报？ asked).
        for (const QString &finds : {QStringLiteral("cws_yy>50"), QStringLiteral("cws_yy>5")})
        for (const QString &folder : folders) {
            setRules({{finds, QStringLiteral("床位数过多")}});
            ui::MessageBox::clearShown();
            w->setDirectory(folder);
            press();
            const QStringList texts = boxTexts();
            QCOMPARE(texts.size(), 1);
            QVERIFY2(texts[0].startsWith(QStringLiteral("错误|无法写入 ") + folder + QStringLiteral("/1001SJSB.dbf：")),
                     qPrintable(texts[0]));
            QVERIFY(report::PreviewWindow::shownReports().empty());
            QCOMPARE(testsupport::fileBytes(source()), before);
        }
    }

    // Presses during the upload's check are ignored until it ends.
    void pressesDuringTheUploadCheckAreIgnored()
    {
        std::vector<std::pair<QString, QString>> rules(10, {QStringLiteral("cws_yy>50"), QStringLiteral("never")});
        setRules(rules);
        TfrmBackUpDBF *w = window(true);
        w->show();
        bool alive = false;
        QTimer::singleShot(0, w, [&] {
            w->findChild<QAbstractButton *>(QStringLiteral("btn_Backup"))->click();
            w->findChild<QAbstractButton *>(QStringLiteral("btn_Close"))->click();
            w->close();
            QTest::keyClick(w, Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            alive = !m_window.isNull() && w->isVisible();
        });
        press();
        QVERIFY(alive);
        QCOMPARE(boxTexts(), QStringList{QStringLiteral("提示|导出成功")});
        QVERIFY(w->isVisible());
        // Once the command has ended the window closes as usual.
        w->findChild<QAbstractButton *>(QStringLiteral("btn_Close"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_window.isNull());
    }
};

QTEST_MAIN(BackupTest)
#include "test_backup.moc"
