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
        {"truncated_header.dbf", "header is truncated"},
        {"empty.dbf", "header is truncated"},
        {"unknown_version.dbf", "unknown version byte 0x07"},
        {"header_length_beyond_file.dbf", "header length 4000 is beyond the end"},
        {"header_length_too_small.dbf", "header length 20 is too small"},
        {"record_length_zero.dbf", "record length 0 is too small"},
        {"record_length_too_small.dbf", "more than the record length 5"},
        {"record_count_too_large.dbf", "counts 50 records but the file holds only 2"},
        {"record_count_huge.dbf", "counts 4294967295 records"},
        {"truncated_last_record.dbf", "holds only 1 whole records"},
        {"no_terminator.dbf", "no 0x0D terminator"},
        {"field_name_without_nul.dbf", "not ended by a NUL"},
        {"field_name_empty.dbf", "field 1 has no name"},
        {"unknown_field_type.dbf", "field QTY has the unknown type 'Z'"},
        {"zero_width_field.dbf", "field QTY has width 0"},
        {"oversize_char_field.dbf", "field NAME has width 255"},
        {"oversize_numeric_field.dbf", "field QTY has width 21"},
        {"wrong_integer_width.dbf", "field ID of type I has width 2"},
        {"wrong_date_width.dbf", "field BORN of type D has width 6"},
        {"decimals_not_below_width.dbf", "field QTY has 4 decimals for width 4"},
        {"fields_beyond_record_length.dbf", "more than the record length 9"},
        {"memo_field.dbf", "field NOTES: memo fields are not supported"},
        {"general_field.dbf", "field PIC: memo fields are not supported"},
        {"nullable_without_nullflags.dbf", "nullable fields but no _NullFlags"},
        {"nullflags_too_short.dbf", "_NullFlags has 8 bits for 9 nullable fields"},
        {"vfp_displacement_mismatch.dbf", "field QTY is said to start at byte 9"},
        {"descriptor_past_header.dbf", "runs past the header length 80"},
        {"no_fields.dbf", "the table has no fields"},
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
        EXPECT_TRUE(message.startsWith(path + QStringLiteral(": "))) << message.toStdString();
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
        EXPECT_TRUE(message.startsWith(QStringLiteral("bad.dbf: "))) << message.toStdString();
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
        EXPECT_TRUE(e.message().contains(QStringLiteral("record 2, field QTY: '1x2  ' is not a number")))
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
        EXPECT_TRUE(e.message().startsWith(missing)) << e.message().toStdString();
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
