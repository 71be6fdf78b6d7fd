// Our writes: read back by ours and by other programs (python3-dbf and
// python3-dbfread), with the bytes on disk checked where layout matters.
#include "store/DbfTable.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

using store::DbfTable;
using store::FieldDef;

namespace {

FieldDef field(const char *name, char type, int length = 0, int decimals = 0, bool nullable = false)
{
    return FieldDef::make(QString::fromLatin1(name), type, length, decimals, nullable);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

// Output of a python script run with @FILE@ replaced by the table's path.
QString pythonSays(const QString &path, const QString &script)
{
    QString s = script;
    s.replace(QStringLiteral("@FILE@"), path);
    const testsupport::ProcessResult r = testsupport::python(s);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QString::fromUtf8(r.out).trimmed();
}

// Every live record as dbfread sees it, one line per record, fields joined by '|'.
QString dbfreadRows(const QString &path)
{
    return pythonSays(path, QStringLiteral(R"(
import dbfread
for r in dbfread.DBF('@FILE@', encoding='gbk', char_decode_errors='strict', ignore_missing_memofile=True):
    print('|'.join(repr(v) for v in r.values()))
)"));
}

// Every record as python3-dbf sees it: deleted flag, then the fields.
QString pydbfRows(const QString &path)
{
    return pythonSays(path, QStringLiteral(R"(
import dbf
t = dbf.Table('@FILE@')
t.open()
for r in t:
    print('|'.join([str(dbf.is_deleted(r))] + [repr(v).strip() for v in r]))
t.close()
)"));
}

std::vector<FieldDef> declarationFields()
{
    return {field("yydm", 'C', 20), field("nd", 'C', 8), field("cws_zk", 'N', 12, 2), field("born", 'D', 8),
            field("ok", 'L', 1)};
}

} // namespace

TEST(DbfWrite, CreateWritesADbaseThreeTableThatOthersRead)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/t.dbf"));
    DbfTable::create(path, declarationFields(),
                     {{QStringLiteral("A001  北京协和医院"), QStringLiteral("2023"), 1234.5, QDate(2024, 2, 29), true},
                      {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
                      {QStringLiteral("x"), QStringLiteral("y"), -0.004, QStringLiteral("19991231"), false}});

    const QByteArray b = fileBytes(path);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(quint8(b[0]), 0x03);
    EXPECT_EQ(quint8(b[1]), today.year() - 1900);
    EXPECT_EQ(quint8(b[2]), today.month());
    EXPECT_EQ(quint8(b[3]), today.day());
    EXPECT_EQ(quint8(b[29]), 0x7A);
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 4), 3u);
    const int hlen = qFromLittleEndian<quint16>(b.constData() + 8);
    const int rlen = qFromLittleEndian<quint16>(b.constData() + 10);
    EXPECT_EQ(hlen, 32 + 5 * 32 + 1);
    EXPECT_EQ(rlen, 1 + 20 + 8 + 12 + 8 + 1);
    EXPECT_EQ(b.size(), hlen + 3 * rlen + 1);
    EXPECT_EQ(b.at(b.size() - 1), '\x1a');
    EXPECT_EQ(b.mid(hlen + 1 + 28, 12), QByteArray("     1234.50"));
    EXPECT_EQ(b.mid(hlen + rlen + 1 + 28, 12), QByteArray(12, ' ')); // null blanks the number
    EXPECT_EQ(b.mid(hlen + 2 * rlen + 1 + 28, 12), QByteArray("        0.00")); // no "-0.00"

    const DbfTable t = DbfTable::load(path);
    EXPECT_EQ(t.value(0, 0).toString(), QStringLiteral("A001  北京协和医院  "));
    EXPECT_EQ(t.value(0, 2).toDouble(), 1234.5);
    EXPECT_TRUE(t.isNull(1, 2));
    EXPECT_TRUE(t.isNull(1, 3));
    EXPECT_TRUE(t.isNull(1, 4));
    EXPECT_EQ(t.value(2, 3).toDate(), QDate(1999, 12, 31));

    EXPECT_EQ(dbfreadRows(path),
              QStringLiteral("'A001  北京协和医院'|'2023'|1234.5|datetime.date(2024, 2, 29)|True\n"
                             "''|''|None|None|None\n"
                             "'x'|'y'|0.0|datetime.date(1999, 12, 31)|False"));
    EXPECT_EQ(pythonSays(path, QStringLiteral("import dbf\nt = dbf.Table('@FILE@')\nt.open()\nprint(t.structure())")),
              QStringLiteral("['yydm C(20)', 'nd C(8)', 'cws_zk N(12,2)', 'born D', 'ok L']"));
}

TEST(DbfWrite, NullableAndFoxProTypesMakeAVisualFoxProTable)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/v.dbf"));
    // A non-nullable field first: the null bits count nullable fields only.
    DbfTable::create(path,
                     {field("id", 'I'), field("amt", 'N', 8, 2, true), field("name", 'C', 10, 0, true),
                      field("cost", 'B'), field("money", 'Y'), field("stamp", 'T')},
                     {{1, QVariant(), QStringLiteral("一"), 2.25, 12.5, QDateTime(QDate(2024, 3, 1), QTime(13, 45, 30))},
                      {-7, 3.5, QVariant(), -0.5, -1, QVariant()}});
    const DbfTable t = DbfTable::load(path);
    EXPECT_EQ(t.header().version, 0x30);
    EXPECT_EQ(t.header().headerLength, 32 + 7 * 32 + 1 + 263);
    EXPECT_EQ(t.nullFlagsLength(), 1);
    EXPECT_TRUE(t.hasEndMarker());
    const int flags = t.header().recordLength - 1;
    EXPECT_EQ(quint8(t.recordData(0)[flags]), 0x01);
    EXPECT_EQ(quint8(t.recordData(1)[flags]), 0x02);
    EXPECT_TRUE(t.isNull(0, 1));
    EXPECT_FALSE(t.isNull(0, 2));
    EXPECT_TRUE(t.isNull(1, 2));
    EXPECT_EQ(t.value(1, 1).toDouble(), 3.5);
    EXPECT_EQ(t.value(0, 5).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(13, 45, 30)));
    EXPECT_EQ(t.value(1, 4).toDouble(), -1.0);

    // dbfread ignores null flags: it shows the blank data and the raw flag byte.
    EXPECT_EQ(dbfreadRows(path),
              QStringLiteral("1|None|'一'|2.25|Decimal('12.5')|datetime.datetime(2024, 3, 1, 13, 45, 30)|b'\\x01'\n"
                             "-7|3.5|''|-0.5|Decimal('-1')|None|b'\\x02'"));
}

TEST(DbfWrite, InPlaceWritesAppendsAndDeleteMarksReachTheDisk)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/t.dbf"));
    DbfTable::create(path, declarationFields(),
                     {{QStringLiteral("a"), QStringLiteral("1"), 1, QVariant(), true},
                      {QStringLiteral("b"), QStringLiteral("2"), 2, QVariant(), false}});
    DbfTable t = DbfTable::load(path);
    t.writeRecord(1, {QStringLiteral("上海"), QStringLiteral("2"), QStringLiteral(" 35.5 "), QDate(2020, 1, 1), QVariant()});
    EXPECT_EQ(t.appendRecord({QStringLiteral("c"), QStringLiteral("3"), 120, QVariant(), true}), 2u);
    t.markDeleted(0);

    // What this object holds and what a fresh reader sees agree.
    const DbfTable fresh = DbfTable::load(path);
    ASSERT_EQ(fresh.recordCount(), 3u);
    for (quint32 r = 0; r < 3; ++r) {
        EXPECT_EQ(fresh.isDeleted(r), t.isDeleted(r));
        for (int f = 0; f < 5; ++f)
            EXPECT_EQ(fresh.value(r, f), t.value(r, f)) << r << "," << f;
    }
    EXPECT_EQ(fresh.value(1, 2).toDouble(), 35.5);

    const QByteArray b = fileBytes(path);
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 4), 3u);
    EXPECT_EQ(b.size(), fresh.header().headerLength + 3 * fresh.header().recordLength + 1);
    EXPECT_EQ(b.count('\x1a'), 1);
    EXPECT_EQ(b.at(b.size() - 1), '\x1a');

    EXPECT_EQ(pydbfRows(path),
              QStringLiteral("True|'a                   '|'1       '|1.0|None|True\n"
                             "False|'上海                '|'2       '|35.5|datetime.date(2020, 1, 1)|None\n"
                             "False|'c                   '|'3       '|120.0|None|True"));

    // Undeleting restores the record; the flag byte of a rewrite is left alone.
    t.markDeleted(0, false);
    t.markDeleted(2);
    t.writeRecord(2, {QStringLiteral("d"), QStringLiteral("3"), 7, QVariant(), true});
    const DbfTable again = DbfTable::load(path);
    EXPECT_FALSE(again.isDeleted(0));
    EXPECT_TRUE(again.isDeleted(2));
    EXPECT_EQ(again.value(2, 0).toString().trimmed(), QStringLiteral("d"));
}

TEST(DbfWrite, TextIsGbkAndCutAtWholeCharacters)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/t.dbf"));
    const QStringList texts = {QStringLiteral("北京协和"), QStringLiteral("a北京协"), QStringLiteral("abcdefg"),
                               QStringLiteral("ab北")};
    // A character GBK has no bytes for is refused, not stored as '?'; so is
    // the euro sign, which code page 936 would write as the lone byte 0x80
    // that other readers cannot decode.
    for (const QString &bad : {QString::fromUtf8("\xF0\x9F\x98\x80z"), QStringLiteral("€x")}) {
        EXPECT_THROW(DbfTable::create(path, {field("name", 'C', 5)}, {{bad}}), store::Error);
        EXPECT_FALSE(QFile::exists(path));
    }
    std::vector<std::vector<QVariant>> rows;
    for (const QString &s : texts)
        rows.push_back({s});
    DbfTable::create(path, {field("name", 'C', 5)}, rows);
    const DbfTable t = DbfTable::load(path);
    const QList<QByteArray> raw = {"\xb1\xb1\xbe\xa9 ", "a\xb1\xb1\xbe\xa9", "abcde", "ab\xb1\xb1 "};
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(t.rawField(quint32(i), 0), raw[i]) << i;
    EXPECT_EQ(t.value(0, 0).toString(), QStringLiteral("北京 "));
    EXPECT_EQ(t.value(1, 0).toString(), QStringLiteral("a北京"));
    // Another reader decodes the records as clean GBK.
    EXPECT_EQ(dbfreadRows(path), QStringLiteral("'北京'\n'a北京'\n'abcde'\n'ab北'"));
}

TEST(DbfWrite, NumbersAreRightAlignedAndOverflowIsRefused)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/t.dbf"));
    DbfTable::create(path, {field("n", 'N', 6, 2), field("i", 'N', 3, 0)}, {{1, 1}});
    DbfTable t = DbfTable::load(path);
    const QByteArray before = fileBytes(path);

    t.writeRecord(0, {3.14159, -12});
    EXPECT_EQ(t.rawField(0, 0), QByteArray("  3.14"));
    EXPECT_EQ(t.rawField(0, 1), QByteArray("-12"));
    t.writeRecord(0, {999.994, 999});
    EXPECT_EQ(t.rawField(0, 0), QByteArray("999.99"));
    t.writeRecord(0, {-0.001, 0});
    EXPECT_EQ(t.rawField(0, 0), QByteArray("  0.00"));
    const QByteArray good = fileBytes(path).mid(t.header().headerLength);

    // Too wide, not a number, or a wrong value count: refused, nothing written.
    for (const std::vector<QVariant> &bad :
         std::vector<std::vector<QVariant>>{{999.996, 1}, {1, 1000}, {-100.0, 1}, {1, -100}, {QStringLiteral("abc"), 1},
                                            {1e300, 1}, {std::nan(""), 1}, {1}, {1, 2, 3}}) {
        EXPECT_THROW(t.writeRecord(0, bad), store::Error);
        EXPECT_THROW(t.appendRecord(bad), store::Error);
    }
    EXPECT_EQ(fileBytes(path).mid(t.header().headerLength), good);
    EXPECT_EQ(t.recordCount(), 1u);
    EXPECT_EQ(fileBytes(path).size(), before.size());
    try {
        t.writeRecord(0, {12345.0, 1});
        ADD_FAILURE();
    } catch (const store::Error &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("字段 n N(6,2)：数值 12345 超出字段宽度")))
            << e.message().toStdString();
    }

    DbfTable::create(path, {field("id", 'I'), field("when", 'D'), field("ok", 'L')}, {{0, QVariant(), QVariant()}});
    DbfTable v = DbfTable::load(path);
    EXPECT_THROW(v.writeRecord(0, {2147483648.0, QVariant(), QVariant()}), store::Error);
    EXPECT_THROW(v.writeRecord(0, {1, QStringLiteral("2024-13-01"), QVariant()}), store::Error);
    EXPECT_THROW(v.writeRecord(0, {1, QVariant(), QStringLiteral("maybe")}), store::Error);
    v.writeRecord(0, {-2147483648.0, QStringLiteral("2024-02-29"), QStringLiteral(".T.")});
    EXPECT_EQ(v.value(0, 0).toDouble(), -2147483648.0);
    EXPECT_EQ(v.value(0, 1).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(v.value(0, 2), QVariant(true));
}

TEST(DbfWrite, NullFlagsOfAnotherWritersTableAreSetAndCleared)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/n.dbf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PDECLARE_DBF_SAMPLES "vfp_null.dbf"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = fileBytes(path);
    DbfTable t = DbfTable::load(path);
    t.writeRecord(0, {QVariant(), QStringLiteral("one"), 1});  // AMOUNT becomes null
    t.writeRecord(1, {5.25, QStringLiteral("two"), 2});        // AMOUNT null cleared
    t.writeRecord(2, {0, QVariant(), 3});                       // unchanged
    const QByteArray after = fileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.mid(4, t.header().headerLength - 4), before.mid(4, t.header().headerLength - 4));
    EXPECT_EQ(after.at(0), before.at(0));
    EXPECT_EQ(pydbfRows(path), QStringLiteral("False|<null>|'one       '|1\n"
                                              "False|5.25|'two       '|2\n"
                                              "False|0.0|<null>|3"));
}

TEST(DbfWrite, WritingSomeFieldsLeavesEveryOtherByteAsTheFileHoldsIt)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/n.dbf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PDECLARE_DBF_SAMPLES "vfp_null.dbf"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    // AMOUNT N(8,2) NULL, NAME C(10) NULL, ID I; both null bits in one byte.
    DbfTable one = DbfTable::load(path);
    DbfTable two = DbfTable::load(path);
    const int amount = one.fieldIndex(QStringLiteral("amount"));
    const int name = one.fieldIndex(QStringLiteral("name"));
    // Another object sets NAME of record 1 to null after this one read it;
    // writing AMOUNT here must keep that, in the data and in the flag byte.
    two.writeFields(0, {{name, QVariant()}});
    one.writeFields(0, {{amount, QVariant()}});
    one.writeFields(1, {{amount, 7.5}});
    EXPECT_EQ(pydbfRows(path), QStringLiteral("False|<null>|<null>|1\n"
                                              "False|7.5|'two       '|2\n"
                                              "False|0.0|<null>|3"));
    // Only the bytes of the field set change; the deletion flag and the
    // other fields stay byte for byte.
    const QByteArray before = fileBytes(path);
    two.writeFields(2, {{amount, 12}});
    const QByteArray after = fileBytes(path);
    const DbfTable t = DbfTable::load(path);
    const qsizetype rec = t.header().headerLength + 2 * t.header().recordLength;
    const int off = t.fields()[size_t(amount)].offset;
    EXPECT_EQ(after.mid(rec, off), before.mid(rec, off));
    EXPECT_EQ(after.mid(rec + off, 8), QByteArray("   12.00"));
    EXPECT_EQ(after.mid(rec + off + 8), before.mid(rec + off + 8));
    EXPECT_THROW(two.writeFields(0, {{9, 1}}), store::Error);
}

TEST(DbfWrite, PackRewritesWithoutDeletedRecordsAndLeavesNoTemporaryFile)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/p.dbf"));
    std::vector<std::vector<QVariant>> rows;
    for (int i = 0; i < 5; ++i)
        rows.push_back({QStringLiteral("r%1").arg(i), QString(), i, QVariant(), QVariant()});
    DbfTable::create(path, declarationFields(), rows);
    {
        DbfTable t = DbfTable::load(path);
        t.markDeleted(1);
        t.markDeleted(3);
    }
    EXPECT_EQ(DbfTable::pack(path), 2u);
    const DbfTable t = DbfTable::load(path);
    ASSERT_EQ(t.recordCount(), 3u);
    EXPECT_EQ(t.deletedCount(), 0u);
    EXPECT_EQ(t.value(0, 2).toDouble(), 0.0);
    EXPECT_EQ(t.value(1, 2).toDouble(), 2.0);
    EXPECT_EQ(t.value(2, 2).toDouble(), 4.0);
    EXPECT_TRUE(t.hasEndMarker());
    EXPECT_EQ(fileBytes(path).size(), t.header().headerLength + 3 * t.header().recordLength + 1);
    EXPECT_EQ(QDir(dir.file(QStringLiteral("Result"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("p.dbf")});
    EXPECT_EQ(dbfreadRows(path), QStringLiteral("'r0'|''|0.0|None|None\n'r2'|''|2.0|None|None\n'r4'|''|4.0|None|None"));

    // Nothing to remove: the file is left exactly as it was.
    const QByteArray before = fileBytes(path);
    EXPECT_EQ(DbfTable::pack(path), 0u);
    EXPECT_EQ(fileBytes(path), before);

    // A FoxPro table without the 0x1A end byte keeps its layout.
    const QString vfp = dir.file(QStringLiteral("Result/d.dbf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PDECLARE_DBF_SAMPLES "vfp_deleted.dbf"), vfp));
    QFile::setPermissions(vfp, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(DbfTable::pack(vfp), 1u);
    const DbfTable d = DbfTable::load(vfp);
    EXPECT_EQ(d.header().version, 0x30);
    EXPECT_FALSE(d.hasEndMarker());
    EXPECT_EQ(fileBytes(vfp).size(), d.header().headerLength + 2 * d.header().recordLength);
    EXPECT_EQ(pydbfRows(vfp), QStringLiteral("False|'keep1     '|1\nFalse|'keep3     '|3"));
}

TEST(DbfWrite, AppendToATableWithoutEndByteAddsNone)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/c.dbf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PDECLARE_DBF_SAMPLES "vfp_cp936.dbf"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    DbfTable t = DbfTable::load(path);
    EXPECT_EQ(t.appendRecord({QStringLiteral("A004"), QStringLiteral("广州中医药大学附属医院"), 9}), 3u);
    const QByteArray b = fileBytes(path);
    EXPECT_EQ(b.size(), t.header().headerLength + 4 * t.header().recordLength);
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 4), 4u);
    EXPECT_EQ(DbfTable::load(path).value(3, 1).toString(), QStringLiteral("广州中医药大学附属医"));
}

TEST(DbfWrite, TwoObjectsOnOneFileDoNotDamageEachOther)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/s.dbf"));
    DbfTable::create(path, {field("name", 'C', 10)}, {{QStringLiteral("a")}, {QStringLiteral("b")}});
    DbfTable one = DbfTable::load(path);
    DbfTable two = DbfTable::load(path);
    EXPECT_EQ(one.appendRecord({QStringLiteral("c")}), 2u);
    // The second object appends after the first one's record, not over it.
    EXPECT_EQ(two.appendRecord({QStringLiteral("d")}), 3u);
    const DbfTable both = DbfTable::load(path);
    ASSERT_EQ(both.recordCount(), 4u);
    EXPECT_EQ(both.value(2, 0).toString().trimmed(), QStringLiteral("c"));
    EXPECT_EQ(both.value(3, 0).toString().trimmed(), QStringLiteral("d"));

    // After a pack removed records, writing by the old record numbers is refused.
    DbfTable three = DbfTable::load(path);
    two.markDeleted(0);
    DbfTable::pack(path);
    const QByteArray packed = fileBytes(path);
    EXPECT_THROW(three.writeRecord(3, {QStringLiteral("x")}), store::Error);
    EXPECT_THROW(three.writeRecord(1, {QStringLiteral("x")}), store::Error);
    EXPECT_THROW(three.markDeleted(1), store::Error);
    EXPECT_EQ(fileBytes(path), packed);
    // A table whose layout changed is refused too, even for an append.
    DbfTable::create(path, {field("name", 'C', 12)});
    EXPECT_THROW(three.appendRecord({QStringLiteral("y")}), store::Error);
    EXPECT_EQ(DbfTable::load(path).recordCount(), 0u);
}

TEST(DbfWrite, CreateRefusesUnsoundFieldLists)
{
    testsupport::TempProgramDir dir(false);
    const QString path = dir.file(QStringLiteral("Result/x.dbf"));
    const std::vector<std::vector<FieldDef>> bad = {
        {},
        {field("", 'C', 5)},
        {field("toolongname", 'C', 5)},
        {field("1abc", 'C', 5)},
        {field("a b", 'C', 5)},
        {field("a", 'C', 5), field("A", 'N', 5)},
        {field("a", 'C', 255)},
        {field("a", 'N', 33)},
        {field("a", 'N', 4, 4)},
        {field("a", 'M', 10)},
        {field("a", 'Q', 10)},
        {field("a", 'D', 6)},
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_THROW(DbfTable::create(path, bad[i]), store::Error) << i;
        EXPECT_FALSE(QFile::exists(path)) << i;
    }
    EXPECT_THROW(DbfTable::create(path, {field("a", 'N', 3)}, {{1000}}), store::Error);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(dir.file(QStringLiteral("Result"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
