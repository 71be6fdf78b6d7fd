// Tables written by another program (Debian's python3-dbf, and the shared
// samples it made) read the way that program meant them.
#include "store/DbfTable.h"
#include "tests/support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

using store::DbfTable;

namespace {

const QString kSamples = QStringLiteral(PDECLARE_DBF_SAMPLES);

// Runs a python3-dbf script with @DIR@ replaced by the directory.
void pythonWrites(const QString &dir, const QString &script)
{
    QString s = script;
    s.replace(QStringLiteral("@DIR@"), dir);
    const testsupport::ProcessResult r = testsupport::python(s);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

QString text(const DbfTable &t, quint32 r, const char *field) { return t.value(r, t.fieldIndex(field)).toString(); }
double number(const DbfTable &t, quint32 r, const char *field) { return t.value(r, t.fieldIndex(field)).toDouble(); }
bool null(const DbfTable &t, quint32 r, const char *field)
{
    const int f = t.fieldIndex(field);
    EXPECT_EQ(t.isNull(r, f), !t.value(r, f).isValid()) << field;
    return t.isNull(r, f);
}

} // namespace

TEST(DbfRead, DBaseThreeTableWithBlanksAndADeletedRecord)
{
    testsupport::TempProgramDir dir(false);
    pythonWrites(dir.path(), QStringLiteral(R"(
import dbf, datetime
t = dbf.Table('@DIR@db3.dbf', 'name C(10); qty N(5,0); price N(8,2); rate F(10,4); born D; ok L', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('apple', 12, 3.5, 0.125, datetime.date(1999, 12, 31), True))
t.append(('pear', None, None, None, None, None))
t.append(('', 0, -1.25, -7.5, datetime.date(2024, 2, 29), False))
dbf.delete(t[1])
t.close()
)"));
    const DbfTable t = DbfTable::load(dir.file(QStringLiteral("db3.dbf")));
    EXPECT_EQ(t.header().version, 0x03);
    ASSERT_EQ(t.recordCount(), 3u);
    ASSERT_EQ(t.fields().size(), 6u);
    EXPECT_EQ(t.deletedCount(), 1u);
    EXPECT_TRUE(t.hasEndMarker());
    EXPECT_FALSE(t.isDeleted(0));
    EXPECT_TRUE(t.isDeleted(1));

    // Names match without regard to case.
    EXPECT_EQ(t.fieldIndex(QStringLiteral("Price")), 2);
    EXPECT_EQ(t.fieldIndex(QStringLiteral("PRICE")), 2);
    EXPECT_EQ(t.fieldIndex(QStringLiteral("pric")), -1);

    EXPECT_EQ(text(t, 0, "name"), QStringLiteral("apple     ")); // trailing blanks kept
    EXPECT_EQ(number(t, 0, "qty"), 12.0);
    EXPECT_EQ(number(t, 0, "price"), 3.5);
    EXPECT_EQ(number(t, 0, "rate"), 0.125);
    EXPECT_EQ(t.value(0, t.fieldIndex("born")).toDate(), QDate(1999, 12, 31));
    EXPECT_EQ(t.value(0, t.fieldIndex("ok")), QVariant(true));

    for (const char *f : {"qty", "price", "rate", "born", "ok"})
        EXPECT_TRUE(null(t, 1, f)) << f;
    EXPECT_FALSE(null(t, 1, "name"));

    EXPECT_EQ(text(t, 2, "name"), QString(10, QLatin1Char(' ')));
    EXPECT_FALSE(null(t, 2, "qty")); // a written 0 is a number, not a blank
    EXPECT_EQ(number(t, 2, "qty"), 0.0);
    EXPECT_EQ(number(t, 2, "price"), -1.25);
    EXPECT_EQ(t.value(2, t.fieldIndex("born")).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(t.value(2, t.fieldIndex("ok")), QVariant(false));
    EXPECT_EQ(t.rawField(2, t.fieldIndex("price")), QByteArray("   -1.25"));
}

TEST(DbfRead, FoxProTwoLayoutWithBacklink)
{
    // python3-dbf lays out a FoxPro 2 table with a 263-byte backlink but
    // marks it version 0, which it cannot reopen itself; give the new file
    // FoxPro's 0xF5, then let python3-dbf fill it.
    testsupport::TempProgramDir dir(false);
    pythonWrites(dir.path(), QStringLiteral(R"(
import dbf
dbf.Table('@DIR@fp.dbf', 'name C(10); qty N(5,0)', dbf_type='fp')
raw = bytearray(open('@DIR@fp.dbf', 'rb').read())
raw[0] = 0xF5
open('@DIR@fp.dbf', 'wb').write(raw)
t = dbf.Table('@DIR@fp.dbf')
t.open(dbf.READ_WRITE)
t.append(('abc', 5))
t.append(('de', -3))
t.close()
)"));
    const DbfTable t = DbfTable::load(dir.file(QStringLiteral("fp.dbf")));
    EXPECT_EQ(t.header().version, 0xF5);
    EXPECT_EQ(t.header().headerLength, 32 + 2 * 32 + 1 + 263);
    ASSERT_EQ(t.recordCount(), 2u);
    EXPECT_EQ(text(t, 1, "NAME"), QStringLiteral("de        "));
    EXPECT_EQ(number(t, 1, "QTY"), -3.0);
}

TEST(DbfRead, VisualFoxProTypesNullsAndGbkText)
{
    testsupport::TempProgramDir dir(false);
    pythonWrites(dir.path(), QStringLiteral(R"(
import dbf, datetime
t = dbf.Table('@DIR@vfp.dbf',
    'amt N(8,2) NULL; name C(20) NULL; id I; cost B; money Y; stamp T; flag L; born D; rate F(10,4)',
    dbf_type='vfp', codepage=0x7A)
t.open(dbf.READ_WRITE)
t.append((12.5, '北京协和医院', 1, 2.25, 12.5, datetime.datetime(2024, 3, 1, 13, 45, 30), True, datetime.date(2000, 2, 29), 3.1416))
t.append((dbf.Null, '上海', -7, -0.5, -1, None, False, None, None))
t.append((0, dbf.Null, -2000000000, 1e300, 0, datetime.datetime(1999, 12, 31, 23, 59, 59), None, datetime.date(1970, 1, 1), -2.5))
dbf.delete(t[2])
t.close()
)"));
    const DbfTable t = DbfTable::load(dir.file(QStringLiteral("vfp.dbf")));
    EXPECT_EQ(t.header().version, 0x30);
    EXPECT_EQ(t.header().codePageMark, 0x7A);
    ASSERT_EQ(t.fields().size(), 9u); // _NullFlags is not a column
    EXPECT_EQ(t.fieldIndex(QStringLiteral("_NullFlags")), -1);
    EXPECT_TRUE(t.fields()[0].nullable);
    EXPECT_TRUE(t.fields()[1].nullable);
    EXPECT_FALSE(t.fields()[2].nullable);
    ASSERT_EQ(t.recordCount(), 3u);

    EXPECT_EQ(number(t, 0, "amt"), 12.5);
    EXPECT_EQ(text(t, 0, "name"), QStringLiteral("北京协和医院        ")); // 12 bytes of GBK + 8 blanks
    EXPECT_EQ(number(t, 0, "id"), 1.0);
    EXPECT_EQ(number(t, 0, "cost"), 2.25);
    EXPECT_EQ(number(t, 0, "money"), 12.5);
    EXPECT_EQ(t.value(0, t.fieldIndex("stamp")).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(13, 45, 30)));
    EXPECT_EQ(t.value(0, t.fieldIndex("flag")), QVariant(true));
    EXPECT_EQ(t.value(0, t.fieldIndex("born")).toDate(), QDate(2000, 2, 29));
    EXPECT_DOUBLE_EQ(number(t, 0, "rate"), 3.1416);
    EXPECT_FALSE(null(t, 0, "amt"));

    EXPECT_TRUE(null(t, 1, "amt")); // the null flag
    EXPECT_EQ(text(t, 1, "name"), QStringLiteral("上海                "));
    EXPECT_EQ(number(t, 1, "id"), -7.0);
    EXPECT_EQ(number(t, 1, "money"), -1.0);
    for (const char *f : {"stamp", "born", "rate"})
        EXPECT_TRUE(null(t, 1, f)) << f;

    EXPECT_FALSE(null(t, 2, "amt"));
    EXPECT_EQ(number(t, 2, "amt"), 0.0);
    EXPECT_TRUE(null(t, 2, "name"));
    EXPECT_EQ(number(t, 2, "id"), -2000000000.0);
    EXPECT_EQ(number(t, 2, "cost"), 1e300);
    EXPECT_TRUE(null(t, 2, "flag"));
    EXPECT_TRUE(t.isDeleted(2));
    EXPECT_FALSE(t.hasEndMarker());
}

TEST(DbfRead, SharedSamples)
{
    {
        const DbfTable t = DbfTable::load(kSamples + QStringLiteral("db3_basic.dbf"));
        EXPECT_EQ(t.header().codePageMark, 0x00); // taken as GBK
        ASSERT_EQ(t.recordCount(), 3u);
        EXPECT_EQ(text(t, 0, "NAME"), QStringLiteral("apple     "));
        EXPECT_TRUE(null(t, 1, "QTY"));
        EXPECT_TRUE(null(t, 1, "BORN"));
        EXPECT_TRUE(null(t, 1, "OK"));
        EXPECT_EQ(number(t, 2, "PRICE"), -1.25);
    }
    for (const char *name : {"vfp_null.dbf", "vfp_null_mixedcase.dbf"}) {
        SCOPED_TRACE(name);
        const DbfTable t = DbfTable::load(kSamples + QLatin1String(name));
        ASSERT_EQ(t.recordCount(), 3u);
        ASSERT_EQ(t.fields().size(), 3u);
        EXPECT_FALSE(null(t, 0, "AMOUNT"));
        EXPECT_TRUE(null(t, 1, "AMOUNT"));
        EXPECT_FALSE(null(t, 1, "NAME"));
        EXPECT_FALSE(null(t, 2, "AMOUNT"));
        EXPECT_TRUE(null(t, 2, "NAME"));
        EXPECT_EQ(number(t, 2, "ID"), 3.0);
    }
    {
        const DbfTable t = DbfTable::load(kSamples + QStringLiteral("vfp_cp936.dbf"));
        ASSERT_EQ(t.recordCount(), 3u);
        EXPECT_EQ(text(t, 1, "NAME").trimmed(), QStringLiteral("上海瑞金医院"));
        EXPECT_EQ(text(t, 2, "NAME").trimmed(), QStringLiteral("ABC混合文本"));
        EXPECT_EQ(number(t, 1, "QTY"), 17.0);
    }
    {
        const DbfTable t = DbfTable::load(kSamples + QStringLiteral("db3_cp936_ldid4d.dbf"));
        EXPECT_EQ(t.header().codePageMark, 0x4D);
        EXPECT_EQ(text(t, 0, "NAME").trimmed(), QStringLiteral("中文测试"));
    }
    for (const char *name : {"db3_deleted.dbf", "vfp_deleted.dbf"}) {
        SCOPED_TRACE(name);
        const DbfTable t = DbfTable::load(kSamples + QLatin1String(name));
        ASSERT_EQ(t.recordCount(), 3u);
        EXPECT_FALSE(t.isDeleted(0));
        EXPECT_TRUE(t.isDeleted(1));
        EXPECT_FALSE(t.isDeleted(2));
        EXPECT_EQ(text(t, 1, "NAME"), QStringLiteral("gone      "));
    }
    {
        // The memo column is passed over; the others read as usual.
        const DbfTable t = DbfTable::load(kSamples + QStringLiteral("fp2_memo.dbf"));
        ASSERT_EQ(t.fields().size(), 2u);
        EXPECT_EQ(t.memoFields().at(0).name, QStringLiteral("NOTES"));
        EXPECT_EQ(text(t, 1, "NAME"), QStringLiteral("beta      "));
        EXPECT_EQ(number(t, 1, "QTY"), 22.0);
    }
}

TEST(DbfRead, RawAccessMatchesTypedValues)
{
    const DbfTable t = DbfTable::load(kSamples + QStringLiteral("vfp_cp936.dbf"));
    const int name = t.fieldIndex("name");
    const store::FieldDef &f = t.fields()[size_t(name)];
    for (quint32 r = 0; r < t.recordCount(); ++r) {
        const QByteArrayView view(t.recordData(r) + f.offset, f.length);
        EXPECT_EQ(view, t.rawView(r, name));
        EXPECT_EQ(t.decodeText(view), t.value(r, name).toString());
    }
}

TEST(DbfRead, NumberTextsReadAsTheNearestDouble)
{
    // One N(20,d) column; every text must read exactly as strtod reads it.
    std::vector<std::string> texts = {"0", "-0.00", "+5", "1.", ".5", "-.25", "0.1", "0.3", "123456789012345",
                                      "1234567890123456", "99999999999999.99", "1e5", "-1.5E-3", "3.14159265358979",
                                      "  7  ", "000012.50"};
    quint64 x = 88172645463325252ull;
    for (int i = 0; i < 2000; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const int decimals = int(x % 9);
        const quint64 mantissa = (x >> 8) % 100000000000000000ull;
        std::string s = std::to_string(mantissa);
        if (decimals > 0) {
            s.insert(s.begin(), std::max<int>(0, decimals + 1 - int(s.size())), '0');
            s.insert(s.size() - size_t(decimals), ".");
        }
        if (x & 1)
            s.insert(0, "-");
        texts.push_back(s.substr(0, 20));
    }
    QByteArray b(32, '\0');
    b[0] = 0x03;
    QByteArray d(32, '\0');
    d[0] = 'N';
    d[11] = 'N';
    d[16] = 20;
    b += d;
    b += '\r';
    for (const std::string &s : texts)
        b += ' ' + QByteArray(s.c_str()).rightJustified(20, ' ');
    qToLittleEndian<quint32>(quint32(texts.size()), b.data() + 4);
    qToLittleEndian<quint16>(65, b.data() + 8);
    qToLittleEndian<quint16>(21, b.data() + 10);
    const DbfTable t = DbfTable::fromBytes(b, QStringLiteral("n.dbf"));
    for (quint32 r = 0; r < t.recordCount(); ++r) {
        const double expected = std::strtod(texts[r].c_str(), nullptr);
        double fast = -1;
        ASSERT_TRUE(t.number(r, 0, fast)) << texts[r];
        EXPECT_EQ(fast, expected) << texts[r];
        EXPECT_EQ(t.value(r, 0).toDouble(), expected) << texts[r];
        EXPECT_FALSE(std::signbit(fast) && fast == 0) << texts[r];
    }
}
