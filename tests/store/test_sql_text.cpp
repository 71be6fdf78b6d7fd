// The text pdeclare-cli prints for a statement, and the command itself when
// it has been built.
#include "store/DbfTable.h"
#include "store/Error.h"
#include "store/SqlText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using store::DbfTable;
using store::FieldDef;

namespace {

FieldDef field(const char *name, char type, int length, int decimals = 0)
{
    return FieldDef::make(QString::fromLatin1(name), type, length, decimals);
}

class SqlText : public ::testing::Test {
protected:
    void SetUp() override
    {
        table = dir.path() + "DataMeta/figures.dbf";
        DbfTable::create(table,
                         {field("name", 'C', 20), field("qty", 'N', 12, 2), field("ok", 'L', 1), field("born", 'D', 8)},
                         {{QStringLiteral("北京 协和  "), 35.5, true, QDate(2003, 1, 2)},
                          {QStringLiteral("a\tb"), 120.0, false, QVariant()},
                          {QString(), QVariant(), QVariant(), QVariant()}});
    }
    testsupport::TempProgramDir dir{false};
    QString table;
};

} // namespace

TEST_F(SqlText, SelectPrintsNamesThenTabSeparatedRows)
{
    const QByteArray out = store::sql::runAsText(dir.path() + "DataMeta", "select * from figures");
    EXPECT_EQ(QString::fromUtf8(out),
              "name\tqty\tok\tborn\n"
              "北京 协和\t35.5\tT\t2003-01-02\n"
              "a\\tb\t120\tF\tNULL\n"
              "\tNULL\tNULL\tNULL\n");
    EXPECT_EQ(store::sql::runAsText(dir.path() + "DataMeta", "select qty from figures where qty > 100"), "qty\n120\n");
    EXPECT_EQ(store::sql::runAsText(dir.path() + "DataMeta", "select qty from figures where qty > 1000"), "qty\n");
}

TEST_F(SqlText, OtherStatementsPrintTheCount)
{
    EXPECT_EQ(store::sql::runAsText(dir.path() + "DataMeta", "update figures set qty = 0 where qty is null"), "1\n");
    EXPECT_EQ(store::sql::runAsText(dir.path() + "DataMeta", "delete from figures where qty = 0"), "1\n");
    EXPECT_EQ(store::sql::runAsText(dir.path() + "DataMeta", "pack figures"), "1\n");
    EXPECT_EQ(DbfTable::load(table).recordCount(), 2u);
}

TEST_F(SqlText, CommandLine)
{
    const QString meta = dir.path() + "DataMeta";
    auto r = testsupport::cli({"sql", meta, "select name, qty from figures where qty = 35.5"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), "name\tqty\n北京 协和\t35.5\n");
    r = testsupport::cli({"sql", meta, "update figures set ok = .F."});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "3\n");
    const QByteArray before = [&] { QFile f(table); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    r = testsupport::cli({"sql", meta, "update figures set qty = 'x'"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QString::fromUtf8(r.err).contains("qty")) << r.err.toStdString();
    QFile f(table);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    r = testsupport::cli({"sql", meta, "select * from nosuch"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains("nosuch"));
}

TEST_F(SqlText, DumpPrintsTheHeaderAndTheFields)
{
    DbfTable::load(table).markDeleted(1);
    auto r = testsupport::cli({"dump", table});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split('\n');
    EXPECT_TRUE(lines.contains(QStringLiteral("版本：0x03（dBASE III / FoxBASE+，无备注）"))) << r.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("代码页标记：0x7a")));
    EXPECT_TRUE(lines.contains(QStringLiteral("记录数：3")));
    EXPECT_TRUE(lines.contains(QStringLiteral("已删除：1")));
    // Every label is Chinese; the fields' lines keep their form for scripts.
    const qsizetype head = lines.indexOf(QStringLiteral("字段名\t类型\t长度\t小数位\t可为空"));
    ASSERT_GE(head, 0);
    for (const QString &line : lines.mid(0, head))
        EXPECT_TRUE(line.at(0).unicode() >= 0x4e00) << line.toStdString();
    EXPECT_EQ(lines.mid(head + 1, 4), QStringList({"name\tC\t20\t0\tno", "qty\tN\t12\t2\tno", "ok\tL\t1\t0\tno",
                                                   "born\tD\t8\t0\tno"}));
    // A damaged file: the fault and the file on stderr, nothing on stdout.
    QFile f(table);
    ASSERT_TRUE(f.resize(20));
    r = testsupport::cli({"dump", table});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(table + "：文件头不完整")) << r.err.toStdString();
}
