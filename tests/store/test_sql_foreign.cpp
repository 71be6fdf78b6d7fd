// Conditions over tables written by another program (Debian's python3-dbf):
// dBASE III with dates and logicals, Visual FoxPro with null columns, GBK
// texts, deleted records.
#include "store/Query.h"
#include "store/SqlText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using store::Query;

namespace {

class SqlForeign : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.path() + "DataMeta/";
        const QString script = QStringLiteral(
            "import datetime, dbf\n"
            "d = %1\n"
            "t = dbf.Table(d + 'basic.dbf', 'name C(10); qty N(5,0); price N(8,2); born D; ok L', dbf_type='db3'); t.open(dbf.READ_WRITE)\n"
            "t.append(('apple', 12, 3.5, datetime.date(1999, 12, 31), True)); t.append(('pear', None, None, None, None))\n"
            "t.append(('', 0, -1.25, datetime.date(2024, 2, 29), False)); t.close()\n"
            "t = dbf.Table(d + 'nulls.dbf', 'amount N(8,2) NULL; name C(10) NULL; id I', dbf_type='vfp'); t.open(dbf.READ_WRITE)\n"
            "t.append((12.5, 'one', 1)); t.append((dbf.Null, 'two', 2)); t.append((0, dbf.Null, 3)); t.close()\n"
            "t = dbf.Table(d + 'hosp.dbf', 'code C(6); name C(20); qty N(6,0)', dbf_type='vfp', codepage=0x7A); t.open(dbf.READ_WRITE)\n"
            "t.append(('A001', '北京协和医院', 5)); t.append(('A002', '上海瑞金医院', 17)); t.append(('A003', 'ABC混合文本', 0))\n"
            "dbf.delete(t[1]); t.close()\n")
                                   .arg(QStringLiteral("'%1'").arg(folder));
        const auto r = testsupport::python(script);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }

    int count(const QString &sql)
    {
        Query q;
        q.setDirectory(folder);
        q.setSql(sql);
        q.open();
        return q.recordCount();
    }

    testsupport::TempProgramDir dir{false};
    QString folder;
};

} // namespace

TEST_F(SqlForeign, DbaseDatesLogicalsAndBlanks)
{
    EXPECT_EQ(count("select * from basic where qty is null"), 1);
    EXPECT_EQ(count("select * from basic where price < 0"), 1);
    EXPECT_EQ(count("select * from basic where ok"), 1);
    EXPECT_EQ(count("select * from basic where not ok"), 1); // the blank logical is null
    EXPECT_EQ(count("select * from basic where born is null"), 1);
    EXPECT_EQ(count("select * from basic where born > born - 1"), 2);
    EXPECT_EQ(count("select * from basic where empty(name)"), 1);
    EXPECT_EQ(count("select * from basic where name = ''"), 1);
    EXPECT_EQ(count("select * from basic where name > 'b'"), 1);
}

TEST_F(SqlForeign, VisualFoxProNullColumns)
{
    EXPECT_EQ(count("select * from nulls where amount is null"), 1);
    EXPECT_EQ(count("select * from nulls where amount >= 0"), 2);
    EXPECT_EQ(count("select * from nulls where name is null"), 1);
    EXPECT_EQ(count("select * from nulls where nvl(name, 'none') = 'none' and id = 3"), 1);
    EXPECT_EQ(count("select * from nulls where id > 1"), 2);
    EXPECT_EQ(QString::fromUtf8(store::sql::runAsText(folder, "select id, amount, name from nulls where id >= 2")),
              "ID\tAMOUNT\tNAME\n2\tNULL\ttwo\n3\t0\tNULL\n");
}

TEST_F(SqlForeign, GbkTextsAndDeletedRecords)
{
    EXPECT_EQ(count("select * from hosp"), 2);
    EXPECT_EQ(count("select * from hosp where name like '%协和%'"), 1);
    EXPECT_EQ(count("select * from hosp where name like '%瑞金%'"), 0); // deleted
    EXPECT_EQ(count("select * from hosp where name = '北京协和医院'"), 1);
    EXPECT_EQ(count("select * from hosp where left(name, 2) = '北京' and len(alltrim(name)) = 6"), 1);
    EXPECT_EQ(count("select * from hosp where 'ABC' $ name"), 1);
    // Update and delete through the same path, read back by python3-dbf.
    Query q;
    q.setDirectory(folder);
    q.setSql("update hosp set qty = qty + 1, name = alltrim(name) + '（改）' where code = 'A001'");
    EXPECT_EQ(q.execSql(), 1);
    q.setSql("delete from hosp where qty = 0");
    EXPECT_EQ(q.execSql(), 1);
    const auto r = testsupport::python(QStringLiteral(
        "import dbf\nt = dbf.Table('%1hosp.dbf'); t.open(dbf.READ_ONLY)\n"
        "print('|'.join('%s,%s,%s,%s' % (dbf.is_deleted(x), x.code.strip(), x.name.strip(), x.qty) for x in t))\n")
                                           .arg(folder));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out).trimmed(), "False,A001,北京协和医院（改）,6|True,A002,上海瑞金医院,17|True,A003,ABC混合文本,0");
}
