// The statements the program issues, run through query objects against
// table files in a temporary program directory; every effect is checked on
// the file, read back by our reader and by Debian's python3-dbf.
#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <optional>

#include <sys/file.h>

using store::DbfTable;
using store::Error;
using store::FieldDef;
using store::Query;

namespace {

FieldDef field(const char *name, char type, int length, int decimals = 0)
{
    return FieldDef::make(QString::fromLatin1(name), type, length, decimals);
}

QStringList periodCodes()
{
    QStringList codes;
    for (const auto &p : store::catalogue::periods())
        codes << p.code;
    return codes;
}

// The working declaration table: yydm, nd, bln_zkjy and the 59 figures,
// one row per period; cws_yy and cws_zk filled on some rows.
void makeResult(const QString &path)
{
    const std::vector<FieldDef> fields = store::catalogue::declarationFields();
    std::vector<std::vector<QVariant>> rows;
    const QStringList codes = periodCodes();
    const int yy = store::catalogue::indicatorIndex("cws_yy") + 3;
    const int zk = store::catalogue::indicatorIndex("cws_zk") + 3;
    for (int i = 0; i < codes.size(); ++i) {
        std::vector<QVariant> row(fields.size());
        row[1] = codes[i];
        if (i < 3) {
            row[size_t(yy)] = 100.0 + i;
            row[size_t(zk)] = i == 1 ? 150.5 : 20.0; // the 2003 row breaks "cws_zk > cws_yy"
        }
        rows.push_back(row);
    }
    DbfTable::create(path, fields, rows);
}

void makeRules(const QString &path, const std::vector<std::pair<QString, QString>> &rules)
{
    std::vector<std::vector<QVariant>> rows;
    for (const auto &r : rules)
        rows.push_back({r.first, r.second});
    DbfTable::create(path, {field("Cond", 'C', 254), field("Cont", 'C', 254)}, rows);
}

void makeFindings(const QString &path, int rows = 0)
{
    std::vector<std::vector<QVariant>> data;
    for (int i = 0; i < rows; ++i)
        data.push_back({QStringLiteral("200%1年").arg(i + 2), QString(), QStringLiteral("发现 %1").arg(i)});
    DbfTable::create(path, {field("name1", 'C', 20), field("name2", 'C', 20), field("name3", 'C', 254)}, data);
}

// Rows as python3-dbf sees them: [deleted, value, ...], texts without trailing blanks.
QJsonArray pyRows(const QString &path)
{
    const QString script = QStringLiteral(
        "import dbf, json, sys\n"
        "t = dbf.Table(%1, codepage='cp936')\n"
        "t.open(dbf.READ_ONLY)\n"
        "out = []\n"
        "for r in t:\n"
        "    vals = []\n"
        "    for v in r:\n"
        "        if isinstance(v, str): v = v.rstrip()\n"
        "        elif v is not None and not isinstance(v, (int, float, bool)): v = str(v)\n"
        "        vals.append(v)\n"
        "    out.append([dbf.is_deleted(r)] + vals)\n"
        "t.close()\n"
        "sys.stdout.write(json.dumps(out, ensure_ascii=False))\n")
                               .arg(QString::fromUtf8(QJsonDocument(QJsonArray{path}).toJson(QJsonDocument::Compact)).mid(1).chopped(1));
    const auto r = testsupport::python(script);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).array();
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

std::optional<store::ErrorKind> kindOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.kind();
    }
    return std::nullopt;
}

class SqlQuery : public ::testing::Test {
protected:
    void SetUp() override
    {
        meta = dir.path() + "DataMeta/";
        result = dir.path() + "Result/";
        QDir().mkpath(meta);
        QDir().mkpath(result);
        makeResult(result + "result.dbf");
        makeRules(meta + "tjjctjk.dbf", {{"cws_zk > cws_yy", "专科床位数大于医院床位数"},
                                         {"cws_yy > 1000", "医院床位数过多"},
                                         {"CWS_YY < 0 or cws_zk < 0", "床位数为负"},
                                         {"nd = '20060106'", "上半年"}});
        makeFindings(meta + "shtable1.dbf");
        DbfTable::create(meta + "zbzkyy.dbf", {field("Xmh", 'C', 10), field("yymcks", 'C', 80), field("ybm", 'C', 20)},
                         {{"A001", "北京协和医院（心内科）", "BJXHYY"},
                          {"B017", "上海瑞金医院（内分泌科）", "SHRJYY"},
                          {"b020", "广州中医药大学附属医院", "GZZYY"}});
    }

    testsupport::TempProgramDir dir{false};
    QString meta;
    QString result;
};

// Query is not copyable; a helper that opens and hands it back by pointer.
std::unique_ptr<Query> openQuery(const QString &subdir, const QString &sql)
{
    auto q = std::make_unique<Query>();
    q->setDirectory(store::paths::tableDir(subdir));
    q->setSql(sql);
    q->open();
    return q;
}

int exec(const QString &subdir, const QString &sql)
{
    Query q;
    q.setDirectory(store::paths::tableDir(subdir));
    q.setSql(sql);
    return q.execSql();
}

} // namespace

// A query reads the folder it is given, whatever the folder's name holds;
// its messages name the table and never its object name, which is the
// windows' own.
TEST_F(SqlQuery, FolderAsGivenAndMessagesWithoutTheObjectName)
{
    const QString odd = dir.path() + "a;SourceDB=b;x/";
    QDir().mkpath(odd);
    ASSERT_TRUE(QFile::copy(result + "result.dbf", odd + "result.dbf"));
    Query q("AQry_Temp");
    q.setDirectory(odd);
    q.setSql("select nd from result");
    q.open();
    EXPECT_EQ(q.recordCount(), 5);
    for (const QString &m : {errorOf([&] { q.fieldByName("nosuch"); }), errorOf([&] { q.post(); q.edit(); q.post(); }),
                             errorOf([&] { q.close(); q.edit(); })}) {
        EXPECT_FALSE(m.isEmpty());
        EXPECT_FALSE(m.contains("AQry_Temp")) << m.toStdString();
    }
}

TEST_F(SqlQuery, SelectAllReturnsEveryRowInRecordOrderWithNulls)
{
    // Statement 3.
    auto q = openQuery("Result", "select * from result ");
    ASSERT_EQ(q->recordCount(), 5);
    EXPECT_EQ(q->fieldNames().size(), 62);
    QStringList nds;
    for (q->first(); !q->eof(); q->next())
        nds << q->fieldByName("ND").toString();
    EXPECT_EQ(nds, periodCodes());
    q->first();
    EXPECT_DOUBLE_EQ(q->fieldByName("cws_yy").toDouble(), 100.0);
    EXPECT_FALSE(q->fieldByName(store::catalogue::indicators()[10].field).isValid()) << "a blank figure reads as null";
    EXPECT_EQ(q->fieldByName("yydm").toString(), QString(120, ' ')); // blanks kept
    EXPECT_TRUE(q->isNumericField("cws_yy"));
    EXPECT_FALSE(q->isNumericField("nd"));
    EXPECT_EQ(q->value(4, "nd").toString(), "20060106");
    EXPECT_FALSE(q->value(7, "nd").isValid());
}

TEST_F(SqlQuery, NavigationAndUnknownColumns)
{
    auto q = openQuery("Result", "select yydm from result ");
    // Statements 7 and 14: only the named column is in the result.
    EXPECT_EQ(q->fieldNames(), QStringList{"yydm"});
    EXPECT_TRUE(q->bof());
    q->last();
    EXPECT_EQ(q->recNo(), 4);
    q->next();
    EXPECT_TRUE(q->eof());
    q->prior();
    EXPECT_EQ(q->recNo(), 3);
    q->moveTo(99);
    EXPECT_EQ(q->recNo(), 4);
    const QString m = errorOf([&] { q->fieldByName("nd"); });
    EXPECT_TRUE(m.contains("nd") && m.contains("result")) << m.toStdString();
    auto exact = openQuery("Result", "select yydm from result"); // statement 14's text, no trailing blank
    EXPECT_EQ(exact->recordCount(), 5);
    EXPECT_EQ(exact->fieldByName("YYDM").toString().trimmed(), "");
    auto empty = openQuery("Result", "select * from result where nd = 'none'");
    EXPECT_EQ(empty->recordCount(), 0);
    EXPECT_TRUE(empty->eof());
    EXPECT_EQ(empty->recNo(), -1);
    EXPECT_FALSE(empty->fieldByName("nd").isValid());
}

TEST_F(SqlQuery, EditAndPostWritesOneRecordInPlace)
{
    // Statement 4: the save edits the period's row and posts it.
    const QString path = result + "result.dbf";
    auto holder = openQuery("Result", "select * from result "); // another query holds the table open
    auto q = openQuery("Result", "select * from result where nd='20030112'");
    ASSERT_EQ(q->recordCount(), 1);
    // Meanwhile another query object flags every row: the post must not undo it.
    EXPECT_EQ(exec("Result", "update result set bln_zkjy='N'"), 5);
    q->edit();
    EXPECT_EQ(q->state(), Query::State::Edit);
    q->setFieldValue("yydm", QStringLiteral("A001  北京协和医院（心内科）"));
    q->setFieldValue("cws_yy", 120.5);
    q->setFieldValue("cws_zk", QStringLiteral("35"));
    q->setFieldValue(store::catalogue::indicators()[10].field, QVariant());
    EXPECT_EQ(q->fieldByName("cws_yy").toDouble(), 120.5);
    const QString bad = errorOf([&] { q->setFieldValue("nosuch", 1); });
    EXPECT_TRUE(bad.contains("nosuch") && bad.contains("result")) << bad.toStdString();
    q->post();
    EXPECT_EQ(q->state(), Query::State::Browse);
    EXPECT_EQ(q->fieldByName("cws_zk").toDouble(), 35.0);
    EXPECT_EQ(q->fieldByName("bln_zkjy").toString(), "N");

    const DbfTable t = DbfTable::load(path);
    ASSERT_EQ(t.recordCount(), 5u);
    const int yy = t.fieldIndex("cws_yy");
    EXPECT_EQ(t.value(1, yy).toDouble(), 120.5);
    EXPECT_EQ(t.value(1, t.fieldIndex("yydm")).toString().trimmed(), "A001  北京协和医院（心内科）");
    EXPECT_EQ(t.value(0, yy).toDouble(), 100.0); // other rows untouched
    const QJsonArray py = pyRows(path);
    ASSERT_EQ(py.size(), 5);
    EXPECT_EQ(py[1].toArray()[1].toString(), "A001  北京协和医院（心内科）");
    EXPECT_EQ(py[1].toArray()[2].toString(), "20030112");
    EXPECT_EQ(py[1].toArray()[3].toString(), "N");
    EXPECT_DOUBLE_EQ(py[1].toArray()[1 + yy].toDouble(), 120.5);
    EXPECT_TRUE(py[1].toArray()[1 + t.fieldIndex(store::catalogue::indicators()[10].field)].isNull());
    EXPECT_TRUE(py[0].toArray()[1].toString().isEmpty());
    // The holder still shows what it read; a new open sees the post.
    EXPECT_EQ(holder->value(1, "cws_yy").toDouble(), 101.0);
    EXPECT_EQ(openQuery("Result", "select * from result where cws_yy = 120.5")->recordCount(), 1);
}

TEST_F(SqlQuery, EditWithoutPostWritesNothing)
{
    // Statement 6: the print window edits its period query and never posts.
    const QString path = result + "result.dbf";
    const QByteArray before = testsupport::fileBytes(path);
    {
        auto q = openQuery("Result", "select * from result where nd='20020112' ");
        ASSERT_EQ(q->recordCount(), 1);
        q->edit();
        q->setFieldValue("cws_yy", 1.0);
        q->next(); // moving away drops the edit
        EXPECT_EQ(q->state(), Query::State::Browse);
        EXPECT_EQ(q->fieldByName("cws_yy").toDouble(), 100.0);
        auto none = openQuery("Result", "select * from result where nd='19990112' ");
        none->edit(); // no row: a new blank row is started, never appended without post
        EXPECT_EQ(none->state(), Query::State::Insert);
        none->close();
    }
    EXPECT_EQ(testsupport::fileBytes(path), before);
}

TEST_F(SqlQuery, AppendPostAddsRecordsWhileAnotherQueryHoldsTheTable)
{
    // Statement 11: per finding open, append, set the three names, post.
    const QString path = meta + "shtable1.dbf";
    auto reader = openQuery("DataMeta", "select * from tjjctjk ");
    for (int i = 0; i < 3; ++i) {
        auto q = openQuery("DataMeta", "select * from shtable1 ");
        EXPECT_EQ(q->recordCount(), i); // each open sees the earlier posts
        q->append();
        q->setFieldValue("name1", store::catalogue::periodLabelFromCode(periodCodes()[i]));
        q->setFieldValue("name2", QString());
        q->setFieldValue("name3", QStringLiteral("专科床位数大于医院床位数"));
        q->post();
        EXPECT_EQ(q->recordCount(), i + 1);
        EXPECT_EQ(q->fieldByName("name1").toString().trimmed(), store::catalogue::periodLabelFromCode(periodCodes()[i]));
    }
    // A plain copy right after carries the rows.
    const QString copy = dir.path() + "copy.dbf";
    ASSERT_TRUE(QFile::copy(path, copy));
    const QJsonArray py = pyRows(copy);
    ASSERT_EQ(py.size(), 3);
    EXPECT_EQ(py[0].toArray()[1].toString(), "2002年");
    EXPECT_EQ(py[2].toArray()[1].toString(), "2004年");
    EXPECT_EQ(py[2].toArray()[3].toString(), "专科床位数大于医院床位数");
    EXPECT_EQ(reader->recordCount(), 4);
}

TEST_F(SqlQuery, FullCheckStatementsNineToEleven)
{
    auto rules = openQuery("DataMeta", "select * from tjjctjk ");
    EXPECT_EQ(exec("DataMeta", "delete from shtable1 "), 0);
    int findings = 0;
    for (rules->first(); !rules->eof(); rules->next()) {
        const QString cond = rules->fieldByName("Cond").toString().trimmed();
        const QString cont = rules->fieldByName("cont").toString().trimmed();
        auto rows = openQuery("Result", "select nd from result where " + cond);
        for (rows->first(); !rows->eof(); rows->next()) {
            auto out = openQuery("DataMeta", "select * from shtable1 ");
            out->append();
            out->setFieldValue("name1", store::catalogue::periodLabelFromCode(rows->fieldByName("nd").toString().trimmed()));
            out->setFieldValue("name2", QString());
            out->setFieldValue("name3", cont);
            out->post();
            ++findings;
        }
    }
    EXPECT_EQ(findings, 2);
    const QJsonArray py = pyRows(meta + "shtable1.dbf");
    ASSERT_EQ(py.size(), 2);
    EXPECT_EQ(py[0].toArray()[1].toString(), "2003年");
    EXPECT_EQ(py[0].toArray()[3].toString(), "专科床位数大于医院床位数");
    EXPECT_EQ(py[1].toArray()[1].toString(), "2006上半年");
    EXPECT_EQ(openQuery("DataMeta", "select * from shtable1 ")->recordCount(), 2);
}

TEST_F(SqlQuery, DeleteMarksAndPackRemoves)
{
    const QString path = meta + "shtable1.dbf";
    makeFindings(path, 4);
    // Statement 8 marks every record; they stay in the file, invisible.
    EXPECT_EQ(exec("DataMeta", "delete from shtable1 where name1 = '2003年'"), 1);
    EXPECT_EQ(exec("DataMeta", "select * from shtable1 where name1 = '2003年'"), 0);
    EXPECT_EQ(exec("DataMeta", "delete from shtable1 "), 3);
    EXPECT_EQ(exec("DataMeta", "delete from shtable1 "), 0); // deleted records are not seen again
    EXPECT_EQ(openQuery("DataMeta", "select * from shtable1 ")->recordCount(), 0);
    QJsonArray py = pyRows(path);
    ASSERT_EQ(py.size(), 4);
    for (const auto &row : py)
        EXPECT_TRUE(row.toArray()[0].toBool());
    EXPECT_EQ(DbfTable::load(path).recordCount(), 4u);
    // Statement 1 removes them from the file.
    EXPECT_EQ(exec("DataMeta", "Pack shtable1 "), 4);
    const DbfTable packed = DbfTable::load(path);
    EXPECT_EQ(packed.recordCount(), 0u);
    EXPECT_EQ(pyRows(path).size(), 0);
    EXPECT_EQ(exec("DataMeta", "PACK SHTABLE1"), 0);
}

TEST_F(SqlQuery, PackKeepsLiveRecordsInOrder)
{
    const QString path = meta + "shtable1.dbf";
    makeFindings(path, 4);
    EXPECT_EQ(exec("DataMeta", "delete from shtable1 where name3 like '%1' or name3 like '%3'"), 2);
    EXPECT_EQ(exec("DataMeta", "pack shtable1"), 2);
    const QJsonArray py = pyRows(path);
    ASSERT_EQ(py.size(), 2);
    EXPECT_EQ(py[0].toArray()[3].toString(), "发现 0");
    EXPECT_EQ(py[1].toArray()[3].toString(), "发现 2");
}

TEST_F(SqlQuery, UpdateWritesEveryVisibleRow)
{
    // Statements 12 and 13.
    const QString path = result + "result.dbf";
    {
        DbfTable t = DbfTable::load(path);
        t.markDeleted(4);
    }
    EXPECT_EQ(exec("Result", "update result set bln_zkjy='Y'"), 4);
    QJsonArray py = pyRows(path);
    ASSERT_EQ(py.size(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(py[i].toArray()[3].toString(), "Y");
    EXPECT_EQ(py[4].toArray()[3].toString(), ""); // the deleted record is not touched
    EXPECT_EQ(exec("Result", "update result set bln_zkjy='N'"), 4);
    EXPECT_EQ(DbfTable::load(path).value(0, 2).toString(), "N");
    // Values computed from the row before the update, null propagated.
    EXPECT_EQ(exec("Result", "UPDATE Result SET cws_yy = cws_yy * 2, cws_zk = cws_yy WHERE nd <> '20020112'"), 3);
    const DbfTable t = DbfTable::load(path);
    EXPECT_EQ(t.value(0, t.fieldIndex("cws_yy")).toDouble(), 100.0);
    EXPECT_EQ(t.value(1, t.fieldIndex("cws_yy")).toDouble(), 202.0);
    EXPECT_EQ(t.value(1, t.fieldIndex("cws_zk")).toDouble(), 101.0);
    EXPECT_FALSE(t.value(3, t.fieldIndex("cws_yy")).isValid());
    py = pyRows(path);
    EXPECT_DOUBLE_EQ(py[2].toArray()[1 + t.fieldIndex("cws_yy")].toDouble(), 204.0);
}

TEST_F(SqlQuery, UpdateAndPostLeaveTextThatDoesNotDecodeByteForByte)
{
    // Another writer left half a double-byte character in yydm of the first
    // row: the GBK lead byte 0xB9 followed by a blank. Statements and posts
    // that set other columns must not turn it into its decoded form.
    const QString path = result + "result.dbf";
    QByteArray bytes = testsupport::fileBytes(path);
    const DbfTable layout = DbfTable::load(path);
    const qsizetype rec0 = layout.header().headerLength;
    const QByteArray yydm = QByteArray("1001  \xD6\xD0\xB9 ").leftJustified(120, ' ');
    bytes.replace(rec0 + 1, 120, yydm);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    EXPECT_EQ(exec("Result", "update result set bln_zkjy='Y'"), 5);
    EXPECT_EQ(testsupport::fileBytes(path).mid(rec0 + 1, 120), yydm);

    auto q = openQuery("Result", "select * from result where nd='20020112'");
    q->edit();
    q->setFieldValue("cws_yy", 5);
    q->post();
    const QByteArray after = testsupport::fileBytes(path);
    EXPECT_EQ(after.mid(rec0 + 1, 120), yydm);
    EXPECT_EQ(after.at(rec0 + 121 + 8), 'Y');
    const int yy = layout.fields()[size_t(layout.fieldIndex("cws_yy"))].offset;
    EXPECT_EQ(after.mid(rec0 + yy, 12), QByteArray("        5.00"));
    EXPECT_EQ(q->fieldByName("cws_yy").toDouble(), 5.0);
}

TEST_F(SqlQuery, FailedUpdateWritesNothing)
{
    const QString path = result + "result.dbf";
    const QByteArray before = testsupport::fileBytes(path);
    // The third row's value overflows N(12,2); the first two must not be written either.
    const QString m = errorOf([&] { exec("Result", "update result set cws_yy = iif(nd = '20040112', 1e12, 1)"); });
    EXPECT_TRUE(m.contains("cws_yy")) << m.toStdString();
    EXPECT_TRUE(errorOf([&] { exec("Result", "update result set cws_yy = 'x'"); }).contains("cws_yy"));
    EXPECT_TRUE(errorOf([&] { exec("Result", "update result set nosuch = 1"); }).contains("nosuch"));
    EXPECT_EQ(testsupport::fileBytes(path), before);
}

TEST_F(SqlQuery, LikeSelectsRulesNamingAField)
{
    // Statement 5.
    auto q = openQuery("DataMeta", "select * from tjjctjk where cond like '%cws_yy%' ");
    ASSERT_EQ(q->recordCount(), 2); // "CWS_YY < 0 ..." differs in case
    EXPECT_EQ(q->value(0, "Cont").toString().trimmed(), "专科床位数大于医院床位数");
    EXPECT_EQ(q->value(1, "cond").toString().trimmed(), "cws_yy > 1000");
    EXPECT_EQ(openQuery("DataMeta", "select * from tjjctjk where cond like '%cws_zk%' ")->recordCount(), 2);
}

TEST_F(SqlQuery, LocateFromTheFirstRow)
{
    // Statement 2 and the picker's search.
    auto q = openQuery("DataMeta", "select * from zbzkyy");
    q->last();
    EXPECT_TRUE(q->locate("Xmh", "b0", true, true));
    EXPECT_EQ(q->recNo(), 1);
    EXPECT_TRUE(q->locate("xmh", "b0", false, true));
    EXPECT_EQ(q->recNo(), 2);
    EXPECT_FALSE(q->locate("Xmh", "B01", true, false));
    EXPECT_TRUE(q->locate("Xmh", "b017", true, false));
    EXPECT_EQ(q->fieldByName("yymcks").toString().trimmed(), "上海瑞金医院（内分泌科）");
    EXPECT_TRUE(q->locate("ybm", "gz", true, true));
    EXPECT_EQ(q->recNo(), 2);
    EXPECT_FALSE(q->locate("ybm", "ZZ", true, true));
    EXPECT_EQ(q->recNo(), 2); // a miss keeps the current row
    EXPECT_FALSE(q->locate("ybm", "", true, false));
    EXPECT_TRUE(errorOf([&] { q->locate("nosuch", "a", true, true); }).contains("nosuch"));
    auto r = openQuery("Result", "select * from result ");
    EXPECT_TRUE(r->locate("yydm", "", false, false)); // an empty value is found by an empty text
    EXPECT_EQ(r->recNo(), 0);
    EXPECT_TRUE(r->locate("cws_yy", "102", false, false));
    EXPECT_EQ(r->recNo(), 2);
}

TEST_F(SqlQuery, TableFileNameIgnoresCase)
{
    // By way of another name: a rename that changes the case only is a
    // no-op on some file systems that ignore case.
    ASSERT_TRUE(QFile::rename(result + "result.dbf", result + "renamed.tmp"));
    ASSERT_TRUE(QFile::rename(result + "renamed.tmp", result + "RESULT.DBF"));
    EXPECT_EQ(openQuery("Result", "select * from result ")->recordCount(), 5);
    EXPECT_EQ(exec("Result", "update Result set bln_zkjy = 'Y' where nd = '20020112'"), 1);
    EXPECT_EQ(DbfTable::load(result + "RESULT.DBF").value(0, 2).toString(), "Y");
    // The table kept its own name (no second file beside it).
    EXPECT_EQ(QDir(result).entryList({"*.dbf"}, QDir::Files), QStringList{"RESULT.DBF"});
}

TEST_F(SqlQuery, ErrorsSayWhatAndWhere)
{
    QString m = errorOf([&] { openQuery("Result", "select * from nosuch"); });
    EXPECT_TRUE(m.contains("nosuch") && m.contains("不存在")) << m.toStdString();
    m = errorOf([&] {
        Query q;
        q.setDirectory(dir.path() + "Missing/");
        q.setSql("select * from result");
        q.open();
    });
    EXPECT_TRUE(m.contains("Missing") && m.contains("目录")) << m.toStdString();
    // A rule naming a missing column: the message quotes the condition.
    m = errorOf([&] { openQuery("Result", "select nd from result where cws_xx > 1"); });
    EXPECT_TRUE(m.contains("cws_xx > 1") && m.contains("cws_xx") && m.contains("第 29 个字符")) << m.toStdString();
    m = errorOf([&] { openQuery("Result", "select nd from result where cws_yy >> 1"); });
    EXPECT_TRUE(m.contains("cws_yy >> 1") && m.contains("第 37 个字符")) << m.toStdString();
    m = errorOf([&] { openQuery("Result", "select nd, nosuch from result"); });
    EXPECT_TRUE(m.contains("nosuch")) << m.toStdString();
    m = errorOf([&] { openQuery("Result", "select nd from result where nd > 1"); });
    EXPECT_TRUE(m.contains("类型不匹配")) << m.toStdString();
    EXPECT_FALSE(errorOf([&] { openQuery("Result", "selec * from result"); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { openQuery("Result", "select * from result where"); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { openQuery("Result", "select * from result extra"); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { openQuery("DataMeta", "delete from shtable1"); }).isEmpty()); // open() needs a SELECT
    // A damaged table file is reported with the table's name.
    QFile f(meta + "broken.dbf");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\x03\x7a", 2);
    f.close();
    m = errorOf([&] { openQuery("DataMeta", "select * from broken"); });
    EXPECT_TRUE(m.contains("broken")) << m.toStdString();

    // Callers tell failures apart by kind, never by reading the message.
    using K = store::ErrorKind;
    const std::vector<std::pair<const char *, K>> kinds = {
        {"select * from nosuch", K::NotFound},
        {"select nd from result where cws_xx > 1", K::NotFound},
        {"select nd, nosuch from result", K::NotFound},
        {"select nd from result where cws_yy >> 1", K::Syntax},
        {"selec * from result", K::Syntax},
        {"select nd from result where nd > 1", K::Type},
    };
    for (const auto &[statement, kind] : kinds)
        EXPECT_EQ(kindOf([&] { openQuery("Result", statement); }), kind) << statement;
    EXPECT_EQ(kindOf([&] { openQuery("DataMeta", "select * from broken"); }), K::CorruptFile);
}

// A table another program holds for longer than the wait is a busy table:
// the statement fails with that kind (the caller may try again later), and
// the message tells the user to; nothing is written.
TEST_F(SqlQuery, ATableHeldElsewhereIsBusyAfterTheWait)
{
    const QByteArray before = testsupport::fileBytes(result + "result.dbf");
    QFile held(result + "result.dbf");
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);
    testsupport::FaultEnv env;
    env.instantWaits(true);
    store::fileio::setEnv(&env);
    std::optional<store::ErrorKind> kind;
    QString message;
    try {
        exec("Result", "update result set cws_yy=1");
    } catch (const Error &e) {
        kind = e.kind();
        message = e.message();
    }
    store::fileio::setEnv(nullptr);
    EXPECT_EQ(kind, store::ErrorKind::Busy);
    EXPECT_TRUE(message.contains(QStringLiteral("正被另一个程序使用"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("请稍后再试"))) << message.toStdString();
    EXPECT_EQ(testsupport::fileBytes(result + "result.dbf"), before);
}

TEST_F(SqlQuery, StatementFormsAndDeletedRecordsInvisible)
{
    {
        DbfTable t = DbfTable::load(result + "result.dbf");
        t.markDeleted(1);
    }
    EXPECT_EQ(exec("Result", "SELECT ND FROM RESULT.DBF WHERE cws_yy IS NOT NULL;"), 2);
    EXPECT_EQ(exec("Result", "  select * from result where cws_zk > cws_yy  "), 0); // the 2003 row is deleted
    EXPECT_EQ(exec("Result", "delete result where nd in ('20050112', '20060106')"), 2);
    EXPECT_EQ(openQuery("Result", "select * from result ")->recordCount(), 2);
    auto q = openQuery("Result", "select * from result ");
    EXPECT_EQ(q->value(1, "nd").toString(), "20040112");
}
