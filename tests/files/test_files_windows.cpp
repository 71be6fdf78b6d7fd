// The file layer of the Windows build, seen from outside (run under Wine):
// a full disk or a kill at every write of the writing commands leaves each
// table old or new, as ours and python3-dbf read it; a table that another
// program holds open without sharing is refused with a message and left as
// it was; Chinese folder names and paths longer than 260 characters work;
// a second program on one folder is refused.
#include "tests/check/CheckTestData.h"
#include "tests/support/TestSupport.h"
#include "FilesTestSupport.h"

#include "store/DbfTable.h"
#include "store/FileIo.h"
#include "store/SqlTable.h"
#include "store/SqlText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

#include <windows.h>

using namespace checktest;
using namespace filestest;

namespace {

struct Outcome {
    int exitCode = -1;
    QString err;
};

// pdeclare-cli, or with faults before the command (--fail-change N,
// --exit-after-change N) its test build over the fault-injecting file layer.
Outcome cli(const QStringList &args, const QStringList &faults = {})
{
    const testsupport::ProcessResult r = faults.isEmpty() ? testsupport::cli(args)
                                                          : testsupport::run(QStringLiteral(PDECLARE_FAULTY_CLI), faults + args);
    return {r.exitCode, QString::fromUtf8(r.err)};
}

// The live records of a table as python3-dbf reads it.
QString pythonView(const QString &path)
{
    const auto r = testsupport::python(
        QStringLiteral("import dbf\nt = dbf.Table('%1')\nt.open()\n"
                       "print('|'.join(repr([str(v).rstrip() for v in r]) for r in t if not dbf.is_deleted(r)))\n")
            .arg(path));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QString::fromUtf8(r.out);
}

// A file held open the way a spreadsheet holds it: no sharing at all, or
// reading and writing shared but not deleting (renaming over it).
struct Holder {
    HANDLE h;
    Holder(const QString &path, DWORD share)
        : h(CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ, share,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~Holder() { CloseHandle(h); }
};

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10, jsjxry=3"));
    }

    void everyWrite(const QStringList &command, const QString &watched)
    {
        const QString root = dir.path().chopped(1);
        const QString table = root + QLatin1Char('/') + watched;
        const auto before = snapshot(root);
        const QString oldState = ours(table);
        const QString oldView = pythonView(table);
        const Outcome clean = cli(command);
        ASSERT_EQ(clean.exitCode, 0) << clean.err.toStdString();
        const auto after = snapshot(root);
        const QString newState = ours(table);
        const QString newView = pythonView(table);
        ASSERT_NE(oldState, newState);
        int faults = 0;
        for (const QString &mode : {QStringLiteral("--fail-change"), QStringLiteral("--exit-after-change")}) {
            for (int n = 1;; ++n) {
                ASSERT_LT(n, 200);
                restore(root, before);
                const Outcome r = cli(command, {mode, QString::number(n)});
                const std::string where = QStringLiteral("%1 %2: %3").arg(mode).arg(n).arg(r.err).toStdString();
                if (r.exitCode == 0)
                    break;
                ++faults;
                if (mode == QLatin1String("--fail-change")) {
                    EXPECT_EQ(r.exitCode, 2) << where;
                    EXPECT_TRUE(r.err.contains(QStringLiteral("磁盘空间不足"))) << where;
                    EXPECT_EQ(leftovers(root), QStringList()) << where;
                } else {
                    EXPECT_EQ(r.exitCode, 86) << where;
                }
                const QString state = ours(table);
                EXPECT_TRUE(state == oldState || state == newState) << where << "\nreads\n" << state.toStdString();
                const QString view = pythonView(table);
                EXPECT_EQ(view, state == oldState ? oldView : newView) << where;
                EXPECT_EQ(leftovers(root).filter(QStringLiteral("-journal")), QStringList()) << where;
            }
        }
        EXPECT_GT(faults, 2);
        EXPECT_EQ(snapshot(root), after);
    }

    testsupport::TempProgramDir dir;
};

} // namespace

TEST_F(WindowsFiles, UpdateAndPackAreAllOrNothingAtEveryWrite)
{
    const QString result = dir.file(QStringLiteral("Result"));
    everyWrite({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7, jsjxry=7")},
               QStringLiteral("Result/result.dbf"));
    everyWrite({QStringLiteral("sql"), result, QStringLiteral("delete from result where nd>'20040000'")},
               QStringLiteral("Result/result.dbf"));
    everyWrite({QStringLiteral("sql"), result, QStringLiteral("pack result")}, QStringLiteral("Result/result.dbf"));
}

TEST_F(WindowsFiles, BackupOverAnEarlierOneIsAllOrNothingAtEveryWrite)
{
    const QString backupDir = dir.file(QStringLiteral("Backup"));
    ASSERT_TRUE(QDir().mkpath(backupDir));
    ASSERT_EQ(cli({QStringLiteral("backup"), backupDir, dir.path()}).exitCode, 0);
    exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=11"));
    everyWrite({QStringLiteral("backup"), backupDir, dir.path()}, QStringLiteral("Backup/result.dbf"));
}

TEST_F(WindowsFiles, ATableAnotherProgramHoldsIsRefusedAndLeftWhole)
{
    const QString result = dir.file(QStringLiteral("Result/result.dbf"));
    // A deleted record, so that a pack has a new file to write.
    ASSERT_EQ(cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")),
                   QStringLiteral("delete from result where nd = '20020112'")}).exitCode, 0);
    const QByteArray before = testsupport::fileBytes(result);
    {
        // Opened without sharing (as Excel opens a .dbf): not even read.
        Holder excel(result, 0);
        ASSERT_NE(excel.h, INVALID_HANDLE_VALUE);
        const Outcome r = cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")),
                               QStringLiteral("update result set cws_yy=99")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("另一个程序"))) << r.err.toStdString();
    }
    {
        // Reading and writing shared, deleting not: a pack cannot put its new
        // file over the table.
        Holder tool(result, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(tool.h, INVALID_HANDLE_VALUE);
        const Outcome r = cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")), QStringLiteral("pack result")});
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.err.contains(QStringLiteral("另一个程序"))) << r.err.toStdString();
    }
    EXPECT_EQ(testsupport::fileBytes(result), before);
    EXPECT_EQ(leftovers(dir.path()), QStringList());
}

// Where renames lack POSIX semantics (Wine, FAT, network drives), a table
// that this program holds open is replaced by moving it aside first. A kill
// between the two renames leaves the table only aside: the next use of the
// table puts it back, whole.
TEST_F(WindowsFiles, ATableLeftAsideByAKillIsPutBack)
{
    const QString result = dir.file(QStringLiteral("Result/result.dbf"));
    const QByteArray before = testsupport::fileBytes(result);
    ASSERT_TRUE(QFile::rename(result, result + QStringLiteral("~pdeclare-old-Ab12Cd")));
    const Outcome r = cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")),
                           QStringLiteral("update result set cws_yy=12")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.file(QStringLiteral("Result"))).entryList(QDir::Files), QStringList{QStringLiteral("result.dbf")});
    EXPECT_NE(testsupport::fileBytes(result), before); // the update reached the table put back
    EXPECT_EQ(testsupport::fileBytes(result).size(), before.size());
}

TEST(WindowsPaths, ChineseAndLongFolderNamesWork)
{
    QTemporaryDir base;
    QString deep = base.path() + QStringLiteral("/申报数据备份");
    while (deep.size() < 300)
        deep += QStringLiteral("/重点专科项目数据申报文件夹");
    ASSERT_TRUE(QDir().mkpath(deep + QStringLiteral("/Result")));
    ASSERT_TRUE(QDir().mkpath(deep + QStringLiteral("/DataMeta")));
    const QString meta = testsupport::builtProgramDir() + QStringLiteral("DataMeta/");
    for (const QString &name : QDir(meta).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(meta + name, deep + QStringLiteral("/DataMeta/") + name));
    ASSERT_TRUE(QFile::copy(meta + QStringLiteral("sjsbb.dbf"), deep + QStringLiteral("/Result/result.dbf")));
    const Outcome r = cli({QStringLiteral("sql"), deep + QStringLiteral("/Result"),
                           QStringLiteral("update result set yydm='8888  辛医院', cws_zk=35.5 where nd='20030112'")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const Outcome pack = cli({QStringLiteral("sql"), deep + QStringLiteral("/Result"), QStringLiteral("pack result")});
    ASSERT_EQ(pack.exitCode, 0) << pack.err.toStdString();
    const QString view = pythonView(deep + QStringLiteral("/Result/result.dbf"));
    EXPECT_TRUE(view.contains(QStringLiteral("8888  辛医院"))) << view.toStdString();
    EXPECT_TRUE(view.contains(QStringLiteral("35.5"))) << view.toStdString();
}

TEST(WindowsPaths, ASecondProgramOnTheSameFolderIsRefused)
{
    QTemporaryDir folder;
    const QString lock = folder.filePath(QStringLiteral("程序.lock"));
    EXPECT_TRUE(store::fileio::holdInstanceLock(lock));
    // Another open of the same lock file, as a second program makes it.
    EXPECT_FALSE(store::fileio::holdInstanceLock(lock));
}
