// A value means the same whichever way it reaches a table: typed into a
// query object, set by a statement or written by the table writer, compared
// in a condition over a table in any code page. Tables from other writers
// (memo columns, GDAL's wide numbers, a Big5 code page) open and work.
#include "store/DbfTable.h"
#include "store/Query.h"
#include "tests/support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using store::DbfTable;
using store::FieldDef;
using store::Query;

namespace {

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const store::Error &e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

int rowsOf(const QString &dir, const QString &sql)
{
    Query q;
    q.setDirectory(dir);
    q.setSql(sql);
    q.open();
    return q.recordCount();
}

int exec(const QString &dir, const QString &sql)
{
    Query q;
    q.setDirectory(dir);
    q.setSql(sql);
    return q.execSql();
}

// The bytes of one field of one record, as the file holds them.
QByteArray fieldBytes(const QString &path, quint32 record, const QString &field)
{
    const DbfTable t = DbfTable::load(path);
    return t.rawField(record, t.fieldIndex(field));
}

QString pythonSays(const QString &script)
{
    const testsupport::ProcessResult r = testsupport::python(script);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QString::fromUtf8(r.out).trimmed();
}

} // namespace

TEST(SqlCodec, TypedLogicalsAreTakenAsTheTableWriterTakesThem)
{
    testsupport::TempProgramDir dir(false);
    const QString folder = dir.file(QStringLiteral("Result/"));
    const QString path = folder + QStringLiteral("flags.dbf");
    DbfTable::create(path, {FieldDef::make("name", 'C', 4), FieldDef::make("ok", 'L', 1)}, {{QStringLiteral("a"), false}});

    Query q;
    q.setDirectory(folder);
    q.setSql(QStringLiteral("select * from flags"));
    q.open();
    q.setFieldValue(QStringLiteral("ok"), QStringLiteral("TRUE"));
    q.post();
    EXPECT_EQ(fieldBytes(path, 0, QStringLiteral("ok")), QByteArray("T"));
    EXPECT_EQ(pythonSays(QStringLiteral("import dbf\nt = dbf.Table('%1')\nt.open()\nprint(t[0].ok)").arg(path)),
              QStringLiteral("True"));

    // Neither writer stores a word it does not know as false.
    EXPECT_TRUE(errorOf([&] { q.setFieldValue(QStringLiteral("ok"), QStringLiteral("maybe")); })
                    .contains(QStringLiteral("\"maybe\" 不是逻辑值")));
    q.cancel();
    EXPECT_THROW(DbfTable::load(path, DbfTable::Access::Write).writeFields(0, {{1, QStringLiteral("maybe")}}), store::Error);
    EXPECT_EQ(fieldBytes(path, 0, QStringLiteral("ok")), QByteArray("T"));
}

TEST(SqlCodec, NumbersAreStoredRoundedHalfAwayFromZeroAsTyped)
{
    testsupport::TempProgramDir dir;
    const QString folder = dir.file(QStringLiteral("Result/"));
    const QString path = folder + QStringLiteral("result.dbf");
    {
        Query q;
        q.setDirectory(folder);
        q.setSql(QStringLiteral("select * from result "));
        q.open();
        q.append();
        q.setFieldValue(QStringLiteral("yydm"), QStringLiteral("A1"));
        q.setFieldValue(QStringLiteral("cws_yy"), QStringLiteral("-1.005")); // typed
        q.setFieldValue(QStringLiteral("cws_zk"), 0.125);                    // a figure
        q.post();
    }
    const quint32 row = DbfTable::load(path).recordCount() - 1;
    EXPECT_EQ(fieldBytes(path, row, QStringLiteral("cws_yy")).trimmed(), QByteArray("-1.01"));
    EXPECT_EQ(fieldBytes(path, row, QStringLiteral("cws_zk")).trimmed(), QByteArray("0.13"));

    EXPECT_EQ(exec(folder, QStringLiteral("update result set cws_yy=1.005, cws_zk=2.675, rys_yjs=0.125 where yydm='A1'")), 1);
    EXPECT_EQ(fieldBytes(path, row, QStringLiteral("cws_yy")).trimmed(), QByteArray("1.01"));
    EXPECT_EQ(fieldBytes(path, row, QStringLiteral("cws_zk")).trimmed(), QByteArray("2.68"));
    EXPECT_EQ(fieldBytes(path, row, QStringLiteral("rys_yjs")).trimmed(), QByteArray("0.13"));
    // The stored figure is the one ROUND() gives.
    EXPECT_EQ(rowsOf(folder, QStringLiteral("select nd from result where cws_zk=round(2.675,2) and cws_yy=round(1.005,2)")), 1);

    // Carries, signs and whole numbers, written and computed alike.
    const QString small = folder + QStringLiteral("small.dbf");
    DbfTable::create(small, {FieldDef::make("a", 'N', 7, 2), FieldDef::make("b", 'N', 4, 0)},
                     {{9.995, 0.5}, {-0.004, -2.5}, {-99.995, 1250}});
    const DbfTable t = DbfTable::load(small);
    QList<QByteArray> stored;
    for (quint32 r = 0; r < t.recordCount(); ++r)
        stored << t.rawField(r, 0) + '|' + t.rawField(r, 1);
    EXPECT_EQ(stored, QList<QByteArray>({"  10.00|   1", "   0.00|  -3", "-100.00|1250"}));
    EXPECT_EQ(rowsOf(folder, QStringLiteral("select * from small where round(b,-2)=1300 and str(a,7,2)='-100.00'")), 1);
}

TEST(SqlCodec, TextLiteralsCompareInTheTablesOwnCodePage)
{
    testsupport::TempProgramDir dir(false);
    const QString folder = dir.file(QStringLiteral("Result/"));
    pythonSays(QStringLiteral("import dbf\n"
                              "t = dbf.Table('%1big5.dbf', 'name C(10); qty N(5,0)', dbf_type='db3', codepage='cp950')\n"
                              "t.open(dbf.READ_WRITE)\nt.append(('北京', 1))\nt.append(('上海', 2))\nt.close()")
                   .arg(folder));
    EXPECT_EQ(rowsOf(folder, QStringLiteral("select * from big5 where name='北京'")), 1);
    EXPECT_EQ(rowsOf(folder, QStringLiteral("select * from big5 where name like '上%'")), 1);
    EXPECT_EQ(exec(folder, QStringLiteral("update big5 set name='南京' where name='北京'")), 1);
    // A character the code page has no bytes for is refused, not stored as '?'.
    EXPECT_TRUE(errorOf([&] { exec(folder, QStringLiteral("update big5 set name='广州'")); })
                    .contains(QStringLiteral("文字 \"广州\" 中有表 big5 的代码页 Big5 不能保存的字符")));
    EXPECT_EQ(pythonSays(QStringLiteral("import dbf\nt = dbf.Table('%1big5.dbf')\nt.open()\n"
                                        "print(','.join(r.name.strip() for r in t))")
                             .arg(folder)),
              QStringLiteral("南京,上海"));
}

// In a GBK table too: an emoji, Hangul or the euro sign (which Windows'
// code page 936 would write as the lone byte 0x80 that other readers refuse)
// is refused in SET and in WHERE, and the table keeps its bytes. Before,
// 'x' became '?x' and where name='한국' matched a row holding '??'.
TEST(SqlCodec, TextsAGbkTableCannotHoldAreRefusedNotTurnedIntoQuestionMarks)
{
    testsupport::TempProgramDir dir(false);
    const QString folder = dir.file(QStringLiteral("Result/"));
    const QString path = folder + QStringLiteral("t.dbf");
    DbfTable::create(path, {FieldDef::make(QStringLiteral("NAME"), 'C', 10)}, {{QStringLiteral("??")}, {QStringLiteral("北京")}});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    for (const QString &text : {QStringLiteral("😀x"), QStringLiteral("한국"), QStringLiteral("é€™")}) {
        const QString setError = errorOf([&] { exec(folder, QStringLiteral("update t set name='%1'").arg(text)); });
        EXPECT_TRUE(setError.contains(QStringLiteral("文字 \"%1\" 中有表 t 的代码页 GBK 不能保存的字符").arg(text))) << setError.toStdString();
        EXPECT_NE(errorOf([&] { exec(folder, QStringLiteral("delete from t where name='%1'").arg(text)); }), QStringLiteral("(no error)"));
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(exec(folder, QStringLiteral("update t set name='上海' where name='北京'")), 1);
}

TEST(SqlCodec, TypeErrorsFailWhenPreparedWhateverTheRows)
{
    testsupport::TempProgramDir dir;
    const QString meta = dir.file(QStringLiteral("DataMeta/"));
    // Delivered empty: no row ever evaluates the condition.
    ASSERT_EQ(rowsOf(meta, QStringLiteral("select * from shtable1 ")), 0);
    const QString empty = errorOf([&] { rowsOf(meta, QStringLiteral("select * from shtable1 where name1>5")); });
    EXPECT_TRUE(empty.contains(QStringLiteral("运算对象的类型不匹配（文字 与 数值）"))) << empty.toStdString();
    // A faulty branch that the rows would never reach, a non-logical
    // condition, a value of the wrong kind for its column.
    for (const char *sql : {"select * from shtable1 where .f. and upper(name1)=1",
                            "select * from shtable1 where len(name1)",
                            "update shtable1 set name1=5 where .f."}) {
        SCOPED_TRACE(sql);
        EXPECT_NE(errorOf([&] { exec(meta, QString::fromUtf8(sql)); }), QStringLiteral("(no error)"));
    }

    // Every delivered rule prepares over the declaration table, as the
    // check runs it.
    const DbfTable rules = DbfTable::load(meta + QStringLiteral("tjjctjk.dbf"));
    const QString result = dir.file(QStringLiteral("Result/"));
    ASSERT_GT(rules.recordCount(), 40u);
    for (quint32 r = 0; r < rules.recordCount(); ++r) {
        const QString cond = rules.value(r, rules.fieldIndex(QStringLiteral("Cond"))).toString().trimmed();
        EXPECT_EQ(errorOf([&] { rowsOf(result, QStringLiteral("select nd from result where ") + cond); }),
                  QStringLiteral("(no error)"))
            << cond.toStdString();
    }
}

TEST(SqlCodec, MemoColumnsArePassedOverAndWideNumbersKeepTheirWidth)
{
    testsupport::TempProgramDir dir(false);
    const QString folder = dir.file(QStringLiteral("Result/"));
    pythonSays(QStringLiteral("import dbf\n"
                              "t = dbf.Table('%1memo.dbf', 'name C(10); qty N(5,0); notes M', dbf_type='fp')\n"
                              "t.open(dbf.READ_WRITE)\nt.append(('alpha', 1, 'first memo'))\nt.close()")
                   .arg(folder));
    {
        Query q;
        q.setDirectory(folder);
        q.setSql(QStringLiteral("select * from memo"));
        q.open();
        EXPECT_EQ(q.fieldNames(), QStringList({QStringLiteral("NAME"), QStringLiteral("QTY")}));
        q.append();
        q.setFieldValue(QStringLiteral("name"), QStringLiteral("beta"));
        q.setFieldValue(QStringLiteral("qty"), 0);
        q.post();
    }
    EXPECT_EQ(exec(folder, QStringLiteral("update memo set qty=qty+1")), 2);
    for (const char *sql : {"select notes from memo", "select * from memo where notes='x'", "update memo set notes='x'"}) {
        SCOPED_TRACE(sql);
        const QString text = QString::fromUtf8(sql);
        EXPECT_TRUE(errorOf([&] { text.startsWith(QLatin1String("select")) ? rowsOf(folder, text) : exec(folder, text); })
                        .contains(QStringLiteral("表 memo 的列 NOTES 是备注（memo）字段，本程序不读取这种字段")));
    }
    // The memo file and its pointers are as they were; the new record has none.
    EXPECT_EQ(pythonSays(QStringLiteral("import dbf\nt = dbf.Table('%1memo.dbf')\nt.open()\n"
                                        "print('|'.join('%s,%s,%s' % (r.name.strip(), r.qty, r.notes.strip()) for r in t))")
                             .arg(folder)),
              QStringLiteral("alpha,2,first memo|beta,1,"));

    // GDAL's default for a real column: N(24,15).
    const QString wide = folder + QStringLiteral("wide.dbf");
    DbfTable::create(wide, {FieldDef::make("v", 'N', 24, 15)}, {{0.1}});
    EXPECT_EQ(exec(folder, QStringLiteral("update wide set v=123.456")), 1);
    EXPECT_EQ(fieldBytes(wide, 0, QStringLiteral("v")), QByteArray("     123.456000000000000"));
    EXPECT_EQ(pythonSays(QStringLiteral("import dbfread\nprint(list(dbfread.DBF('%1'))[0]['v'])").arg(wide)),
              QStringLiteral("123.456"));
    EXPECT_TRUE(errorOf([&] { exec(folder, QStringLiteral("update wide set v=1e9")); }).contains(QStringLiteral("超出列 v 的宽度")));
}
