// pdeclare-cli backup and upload: exit codes, the written file, the flag,
// the printed findings, and the answer to the upload's question.
#include "tests/check/CheckTestData.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace checktest;

namespace {

using testsupport::cli;

class BackupCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10"));
        setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    }
    QStringList targetFiles() const { return QDir(target.path()).entryList(QDir::Files | QDir::Hidden); }
    testsupport::TempProgramDir dir;
    QTemporaryDir target;
};

} // namespace

TEST_F(BackupCli, BackupWritesResultDbf)
{
    const auto r = cli({QStringLiteral("backup"), target.path(), dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(testsupport::fileBytes(target.filePath(QStringLiteral("result.dbf"))), testsupport::fileBytes(dir.file(QStringLiteral("Result/result.dbf"))));
}

TEST_F(BackupCli, BackupWithoutDataOrIntoAMissingDirectoryExitsTwo)
{
    EXPECT_EQ(cli({QStringLiteral("backup"), target.filePath(QStringLiteral("missing")), dir.path()}).exitCode, 2);
    setProject(QString());
    const auto r = cli({QStringLiteral("backup"), target.path(), dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("申报表无数据！")));
    EXPECT_TRUE(targetFiles().isEmpty());
}

TEST_F(BackupCli, UploadWithoutFindingsFlagsYAndWrites)
{
    const auto r = cli({QStringLiteral("upload"), target.path(), dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QStringLiteral("Y")));
    EXPECT_EQ(testsupport::fileBytes(target.filePath(QStringLiteral("1001SJSB.dbf"))), testsupport::fileBytes(dir.file(QStringLiteral("Result/result.dbf"))));
}

TEST_F(BackupCli, UploadWithFindingsPrintsThemAndFollowsTheAnswer)
{
    setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("床位")}});
    auto r = cli({QStringLiteral("upload"), target.path(), dir.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.out).startsWith(QStringLiteral("2002年\t床位\n2003年\t床位\n")));
    EXPECT_TRUE(targetFiles().isEmpty());
    EXPECT_EQ(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QString()));

    r = cli({QStringLiteral("upload"), target.path(), QStringLiteral("--no"), dir.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(targetFiles().isEmpty());

    r = cli({QStringLiteral("upload"), target.path(), QStringLiteral("--yes"), dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(resultColumn(QStringLiteral("bln_zkjy")), QStringList(5, QStringLiteral("N")));
    EXPECT_EQ(targetFiles(), QStringList{QStringLiteral("1001SJSB.dbf")});
}

TEST_F(BackupCli, UnsafeCodeAndBadArgumentsExitTwo)
{
    setProject(QStringLiteral("../x"));
    const auto r = cli({QStringLiteral("upload"), target.path(), QStringLiteral("--yes"), dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("错误")));
    EXPECT_TRUE(targetFiles().isEmpty());
    EXPECT_EQ(cli({QStringLiteral("upload")}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("backup")}).exitCode, 2);
}
