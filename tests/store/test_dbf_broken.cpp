// Damaged tables: every one is refused with a store::Error that names the
// file and the fault; none is read past its end.
#include "store/DbfTable.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>

using store::DbfTable;

namespace {

QString corpusDir() { return testsupport::sourceDir() + QStringLiteral("tests/data/broken/"); }

// A sound dBASE III table: NAME C(6), QTY N(5,0), two records, 0x1A.
QByteArray soundTable()
{
    QByteArray b(32, '\0');
    b[0] = 0x03;
    b[1] = 124;
    b[2] = 5;
    b[3] = 1;
    auto field = [&](const char *name, char type, int len) {
        QByteArray d(32, '\0');
        d.replace(0, int(qstrlen(name)), name);
        d[11] = type;
        d[16] = char(len);
        b += d;
    };
    field("NAME", 'C', 6);
    field("QTY", 'N', 5);
    b += '\r';
    const quint16 hlen = quint16(b.size());
    b += " apple    12";
    b += " pear      3";
    b += '\x1a';
    qToLittleEndian<quint32>(2, b.data() + 4);
    qToLittleEndian<quint16>(hlen, b.data() + 8);
    qToLittleEndian<quint16>(12, b.data() + 10);
    return b;
}

QString refusal(const QByteArray &bytes, const QString &name = QStringLiteral("bad.dbf"))
{
    try {
        DbfTable::fromBytes(bytes, name);
    } catch (const store::Error &e) {
        return e.message();
    }
    return QString();
}

} // namespace

TEST(DbfBroken, EveryCorpusFileIsRefusedWithItsNameAndFault)
{
    // The fault each file must be reported with.
    const std::map<QString, QString> expected = {
        {"truncated_header.dbf", "文件头不完整"},
        {"empty.dbf", "文件头不完整（文件只有 0 字节"},
        {"unknown_version.dbf", "未知的版本字节 0x07"},
        {"header_length_beyond_file.dbf", "文件头长度 4000 超出了文件末尾"},
        {"header_length_too_small.dbf", "文件头长度 20 太小"},
        {"record_length_zero.dbf", "记录长度 0 太小"},
        {"record_length_too_small.dbf", "超过了记录长度 5"},
        {"record_count_too_large.dbf", "文件头记有 50 条记录，但文件只容得下 2 条完整记录"},
        {"record_count_huge.dbf", "文件头记有 4294967295 条记录"},
        {"truncated_last_record.dbf", "只容得下 1 条完整记录"},
        {"no_terminator.dbf", "没有 0x0D 结束符"},
        {"field_name_without_nul.dbf", "名称没有以 NUL 字节结束"},
        {"field_name_empty.dbf", "第 1 个字段没有名称"},
        {"unknown_field_type.dbf", "字段 QTY 的类型 'Z' 未知"},
        {"nul_field_type.dbf", "字段 QTY 的类型 0x00 未知"},
        {"zero_width_field.dbf", "字段 QTY 的宽度为 0"},
        {"oversize_char_field.dbf", "字段 NAME 的宽度为 255"},
        {"oversize_numeric_field.dbf", "字段 QTY 的宽度为 33（N 字段为 1 到 32 字节）"},
        {"wrong_integer_width.dbf", "I 类型的字段 ID 宽度为 2（应为 4）"},
        {"wrong_date_width.dbf", "D 类型的字段 BORN 宽度为 6（应为 8）"},
        {"decimals_not_below_width.dbf", "字段 QTY 的宽度为 4，却有 4 位小数"},
        {"fields_beyond_record_length.dbf", "需要 12 字节，超过了记录长度 9"},
        {"general_field.dbf", "表中只有备注（memo）字段"},
        {"nullable_without_nullflags.dbf", "有可为空的字段，却没有 _NullFlags 字段"},
        {"nullflags_too_short.dbf", "_NullFlags 只有 8 位，不够 9 个可为空的字段"},
        {"vfp_displacement_mismatch.dbf", "字段 QTY 标明从记录的第 9 字节开始"},
        {"descriptor_past_header.dbf", "超出了文件头长度 80"},
        {"no_fields.dbf", "表中没有字段"},
    };
    const QStringList files = QDir(corpusDir()).entryList({QStringLiteral("*.dbf")}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), int(expected.size())) << "every corpus file needs its expected fault here";
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        const QString path = corpusDir() + name;
        QString message;
        try {
            DbfTable::load(path);
        } catch (const store::Error &e) {
            message = e.message();
        }
        ASSERT_FALSE(message.isEmpty()) << "was accepted";
        EXPECT_TRUE(message.startsWith(QStringLiteral("文件 ") + path + QStringLiteral("："))) << message.toStdString();
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end());
        EXPECT_TRUE(message.contains(it->second)) << message.toStdString();
    }
}

TEST(DbfBroken, EveryCutOfASoundTableIsRefusedOrReadInBounds)
{
    const QByteArray sound = soundTable();
    ASSERT_EQ(refusal(sound), QString());
    // Cutting the file anywhere short of its last record must be refused;
    // losing only the 0x1A is fine.
    for (int len = 0; len < sound.size() - 1; ++len) {
        SCOPED_TRACE(len);
        const QString message = refusal(sound.left(len));
        EXPECT_TRUE(message.startsWith(QStringLiteral("文件 bad.dbf："))) << message.toStdString();
    }
    const DbfTable t = DbfTable::fromBytes(sound.left(sound.size() - 1), QStringLiteral("t"));
    EXPECT_EQ(t.recordCount(), 2u);
    EXPECT_FALSE(t.hasEndMarker());
}

TEST(DbfBroken, FewerRecordsCountedThanStoredReadsTheCountedOnes)
{
    QByteArray b = soundTable();
    qToLittleEndian<quint32>(1, b.data() + 4);
    const DbfTable t = DbfTable::fromBytes(b, QStringLiteral("t"));
    EXPECT_EQ(t.recordCount(), 1u);
    EXPECT_EQ(t.value(0, 0).toString(), QStringLiteral("apple "));
    EXPECT_THROW(t.value(1, 0), store::Error);
}

TEST(DbfBroken, BadValuesAndIndexesRaiseErrorsNamingFieldAndRecord)
{
    QByteArray b = soundTable();
    const int hlen = qFromLittleEndian<quint16>(b.constData() + 8);
    b.replace(hlen + 12 + 7, 5, "1x2  ");
    const DbfTable t = DbfTable::fromBytes(b, QStringLiteral("t.dbf"));
    EXPECT_DOUBLE_EQ(t.value(0, 1).toDouble(), 12.0);
    try {
        t.value(1, 1);
        ADD_FAILURE() << "garbage read as a number";
    } catch (const store::Error &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("第 2 条记录的字段 QTY：'1x2  ' 不是数值")))
            << e.message().toStdString();
    }
    EXPECT_THROW(t.value(2, 0), store::Error);
    EXPECT_THROW(t.value(0, 2), store::Error);
    EXPECT_THROW(t.value(0, -1), store::Error);
    EXPECT_THROW(t.isDeleted(2), store::Error);
    EXPECT_THROW(t.recordData(5), store::Error);
    EXPECT_THROW(t.rawView(0, 7), store::Error);

    // Overflow stars and blanks are no value, not an error.
    b.replace(hlen + 12 + 7, 5, "*****");
    EXPECT_FALSE(DbfTable::fromBytes(b, QStringLiteral("t")).value(1, 1).isValid());
}

TEST(DbfBroken, MissingFileAndInMemoryWritesAreReported)
{
    testsupport::TempProgramDir dir(false);
    const QString missing = dir.file(QStringLiteral("Result/none.dbf"));
    try {
        DbfTable::load(missing);
        ADD_FAILURE();
    } catch (const store::Error &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("文件 ") + missing + QStringLiteral("：无法打开"))) << e.message().toStdString();
    }
    DbfTable t = DbfTable::fromBytes(soundTable(), QStringLiteral("mem.dbf"));
    EXPECT_THROW(t.markDeleted(0), store::Error);
    EXPECT_THROW(t.appendRecord({QStringLiteral("x"), 1}), store::Error);
    EXPECT_FALSE(QFile::exists(QStringLiteral("mem.dbf")));
}

TEST(DbfBroken, NumberAccessorRefusesWhatIsNotANumber)
{
    QByteArray b = soundTable();
    const int hlen = qFromLittleEndian<quint16>(b.constData() + 8);
    b.replace(hlen + 12 + 7, 5, "--1  ");
    const DbfTable t = DbfTable::fromBytes(b, QStringLiteral("t.dbf"));
    double v = 0;
    EXPECT_TRUE(t.number(0, 1, v));
    EXPECT_EQ(v, 12.0);
    EXPECT_THROW(t.number(1, 1, v), store::Error);
    EXPECT_THROW(t.number(0, 0, v), store::Error); // a text field
}
