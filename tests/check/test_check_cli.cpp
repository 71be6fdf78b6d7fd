// pdeclare-cli check: exit codes, the printed findings, the rewritten
// shtable1 and the --pdf report.
#include "tests/check/CheckTestData.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace checktest;

namespace {

testsupport::ProcessResult check(const QStringList &args)
{
    return testsupport::cli(QStringList{QStringLiteral("check")} + args);
}

class CheckCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10"));
    }
    testsupport::TempProgramDir dir;
};

} // namespace

TEST_F(CheckCli, PassedDeclarationExitsZeroAndPrintsNoFinding)
{
    setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    addFinding(QStringLiteral("2003年"), QStringLiteral("stale"));
    const auto r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(findings().empty());
}

TEST_F(CheckCli, FindingsExitOnePrintLabelTabTextAndStayInShtable1)
{
    exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=20 where nd='20060106'"));
    setRules({{QStringLiteral("cws_yy>15"), QStringLiteral(" 床位数过多 ")}, {QStringLiteral("cws_yy>5"), QStringLiteral("B")}});
    const QString pdf = dir.file(QStringLiteral("findings.pdf"));
    const auto r = check({dir.path(), QStringLiteral("--pdf"), pdf});
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("2006上半年\t床位数过多\n2002年\tB\n2003年\tB\n2004年\tB\n"
                                                       "2005年\tB\n2006上半年\tB\n"));
    EXPECT_EQ(findings().size(), 6u);
    EXPECT_EQ(testsupport::pdfPageCount(pdf), 1);
    bool found = false;
    for (const auto &w : testsupport::pdfWords(pdf))
        found = found || w.text == QStringLiteral("床位数过多");
    EXPECT_TRUE(found);
}

TEST_F(CheckCli, NoDataAndFailuresExitTwoWithTheMessage)
{
    setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("A")}});
    setProject(QString());
    auto r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("无数据可检验！")));
    EXPECT_TRUE(r.out.isEmpty());

    setProject(QStringLiteral("1001"));
    setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("A")}, {QStringLiteral("cws_yy >>> 1"), QStringLiteral("B")}});
    r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.trimmed().isEmpty());
    // The findings of the rules before the failing one are kept.
    EXPECT_EQ(findings().size(), 5u);
}

TEST_F(CheckCli, BadArgumentsExitTwo)
{
    EXPECT_EQ(check({dir.path(), QStringLiteral("--pdf")}).exitCode, 2);
    EXPECT_EQ(check({dir.path(), QStringLiteral("--bogus")}).exitCode, 2);
}

// The command line speaks for itself: --help lists every command on a line of
// its own, --version names the version, and stderr carries the program's own
// message only, even where Qt would warn about the session.
TEST_F(CheckCli, HelpVersionAndNothingButOwnMessagesOnStderr)
{
    const auto help = testsupport::cli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.err.isEmpty());
    for (const char *command : {"sql", "dump", "check", "print", "backup", "upload", "collect", "status", "export", "--help", "--version"})
        EXPECT_EQ(help.out.count(QByteArray("\n  ") + command + ' '), 1) << command;
    const auto version = testsupport::cli({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("pdeclare-cli " PDECLARE_VERSION "\n"));

    qunsetenv("XDG_RUNTIME_DIR");
    setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    const auto r = check({dir.path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(r.err), QStringLiteral("数据通过检验！\n"));
}

// Without PROGRAM_DIR: a binary beside DataMeta/ works there, exactly as a
// portable copy always has; an installed one (no DataMeta/ beside it) works
// in the user's own folder, seeded from share/pdeclare/DataMeta.
TEST_F(CheckCli, WithoutProgramDirTheBinarysFolderElseTheUsersOwn)
{
    QTemporaryDir root;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", root.filePath(QStringLiteral("home")).toUtf8());
    qunsetenv("XDG_DATA_HOME");
    const QString built = testsupport::builtProgram(QStringLiteral("pdeclare-cli"));
    const QString userDir = root.filePath(QStringLiteral("home/.local/share/pdeclare/"));

    const QString portable = dir.file(QFileInfo(built).fileName());
    ASSERT_TRUE(QFile::copy(built, portable));
    setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    const auto here = testsupport::run(portable, {QStringLiteral("check")});
    EXPECT_EQ(here.exitCode, 0) << here.err.constData();
    EXPECT_FALSE(QFileInfo::exists(userDir));
#ifdef Q_OS_WIN
    // An installed program's folders on Windows (Program Files, %APPDATA%)
    // are tried by the package test (packaging/windows/test-package).
    qputenv("HOME", oldHome);
    return;
#endif

    const QString bin = root.filePath(QStringLiteral("usr/bin/pdeclare-cli"));
    const QString shared = root.filePath(QStringLiteral("usr/share/pdeclare/DataMeta/"));
    QDir().mkpath(QFileInfo(bin).path());
    QDir().mkpath(shared);
    ASSERT_TRUE(QFile::copy(built, bin));
    for (const QString &name : QDir(dir.file(QStringLiteral("DataMeta"))).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(dir.file(QStringLiteral("DataMeta/") + name), shared + name));
    const auto installed = testsupport::run(bin, {QStringLiteral("check")});
    // The user's folder is made; the working table is the window program's
    // to make at its first start.
    EXPECT_EQ(installed.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(installed.err).contains(userDir + QStringLiteral("Result/result.dbf")))
        << installed.err.constData();
    EXPECT_TRUE(QFileInfo(userDir + QStringLiteral("Result")).isDir());
    for (const QString &name : QDir(shared).entryList(QDir::Files))
        EXPECT_EQ(testsupport::fileBytes(userDir + QStringLiteral("DataMeta/") + name),
                  testsupport::fileBytes(shared + name)) << name.toStdString();
    qputenv("HOME", oldHome);
}
