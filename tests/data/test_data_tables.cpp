// The tables delivered in DataMeta/: their layout as another DBF reader
// (Debian's python3-dbf) sees it, their contents, and the tool that writes
// them refusing a bad source without touching the tables already there.
#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/UDeclareFunction.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace cat = store::catalogue;

namespace {

QString meta(const char *name) { return testsupport::builtProgramDir() + QStringLiteral("DataMeta/") + QLatin1String(name); }

// The table as python3-dbf reads it: {"fields": [[name, type, length,
// decimals], ...], "rows": [[value, ...], ...]}; texts with trailing blanks
// removed, blank numbers as null.
QJsonObject readWithPython(const QString &path)
{
    const QString script = QStringLiteral(R"(
import dbf, json
t = dbf.Table(%1)
t.open(dbf.READ_ONLY)
names = t.field_names
fields = [[n, chr(t.field_info(n)[0]), t.field_info(n)[1], t.field_info(n)[2]] for n in names]
rows = []
for r in t:
    row = []
    for n in names:
        v = r[n]
        row.append(v.rstrip() if isinstance(v, str) else (None if v is None else float(v)))
    rows.append(row)
print(json.dumps({"fields": fields, "rows": rows}))
)").arg(QStringLiteral("'%1'").arg(path));
    const testsupport::ProcessResult r = testsupport::python(script);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

void expectFields(const QJsonObject &table, const std::vector<std::tuple<QString, char, int, int>> &want)
{
    const QJsonArray fields = table.value(QStringLiteral("fields")).toArray();
    ASSERT_EQ(fields.size(), int(want.size()));
    for (int i = 0; i < fields.size(); ++i) {
        const QJsonArray f = fields[i].toArray();
        const auto &[name, type, length, decimals] = want[std::size_t(i)];
        EXPECT_EQ(f[0].toString(), name.toLower()) << i;
        EXPECT_EQ(f[1].toString(), QString(QLatin1Char(type))) << name.toStdString();
        EXPECT_EQ(f[2].toInt(), length) << name.toStdString();
        EXPECT_EQ(f[3].toInt(), decimals) << name.toStdString();
    }
}

} // namespace

TEST(DeliveredTables, AreDbase3WithTheGbkMark)
{
    for (const char *name : {"sjsbb.dbf", "zbzkyy.dbf", "tjjctjk.dbf", "shtable1.dbf"}) {
        const QByteArray bytes = testsupport::fileBytes(meta(name));
        ASSERT_GT(bytes.size(), 32) << name;
        EXPECT_EQ(quint8(bytes[0]), 0x03) << name;
        EXPECT_EQ(quint8(bytes[29]), 0x7A) << name;
        EXPECT_EQ(store::DbfTable::load(meta(name)).header().codePageMark, 0x7A) << name;
    }
}

TEST(DeliveredTables, TemplateHasTheCatalogueColumnsAndFiveBlankPeriods)
{
    std::vector<std::tuple<QString, char, int, int>> want{
        {QStringLiteral("yydm"), 'C', 120, 0}, {QStringLiteral("nd"), 'C', 8, 0}, {QStringLiteral("bln_zkjy"), 'C', 1, 0}};
    for (const cat::Indicator &ind : cat::indicators())
        want.emplace_back(ind.field, 'N', 12, 2);
    const QJsonObject table = readWithPython(meta("sjsbb.dbf"));
    expectFields(table, want);

    const QJsonArray rows = table.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 5);
    for (int r = 0; r < 5; ++r) {
        const QJsonArray row = rows[r].toArray();
        EXPECT_EQ(row[1].toString(), cat::periods()[std::size_t(r)].code);
        EXPECT_EQ(row[0].toString(), QString());
        EXPECT_EQ(row[2].toString(), QString());
        for (int c = 3; c < row.size(); ++c)
            EXPECT_TRUE(row[c].isNull()) << "row " << r << " column " << c;
    }
    // Our reader sees the same blanks as null, which the check relies on.
    const store::DbfTable ours = store::DbfTable::load(meta("sjsbb.dbf"));
    ASSERT_EQ(ours.recordCount(), 5u);
    for (quint32 r = 0; r < 5; ++r)
        for (int c = 3; c < int(ours.fields().size()); ++c)
            EXPECT_TRUE(ours.isNull(r, c)) << r << ' ' << c;
}

TEST(DeliveredTables, ProjectListHasUniqueCodesAndSearchCodes)
{
    const QJsonObject table = readWithPython(meta("zbzkyy.dbf"));
    expectFields(table, {{QStringLiteral("Xmh"), 'C', 10, 0}, {QStringLiteral("yymcks"), 'C', 80, 0},
                         {QStringLiteral("ybm"), 'C', 20, 0}});
    const QJsonArray rows = table.value(QStringLiteral("rows")).toArray();
    EXPECT_GE(rows.size(), 60);

    const store::DbfTable ours = store::DbfTable::load(meta("zbzkyy.dbf"));
    ASSERT_EQ(int(ours.recordCount()), rows.size());
    static const QRegularExpression code(QStringLiteral("^[0-9A-Z]{4}$"));
    static const QRegularExpression initials(QStringLiteral("^[A-Z]{2,20}$"));
    QSet<QString> codes;
    for (int r = 0; r < rows.size(); ++r) {
        const QJsonArray row = rows[r].toArray();
        const QString xmh = row[0].toString();
        EXPECT_TRUE(code.match(xmh).hasMatch()) << xmh.toStdString();
        EXPECT_FALSE(codes.contains(xmh)) << xmh.toStdString();
        codes.insert(xmh);
        EXPECT_FALSE(row[1].toString().isEmpty());
        EXPECT_TRUE(initials.match(row[2].toString()).hasMatch()) << row[2].toString().toStdString();
        // Both readers decode the GBK names alike.
        EXPECT_EQ(ours.value(quint32(r), 1).toString().trimmed(), row[1].toString()) << r;
    }
    // Codes sharing a prefix, for the picker's incremental search.
    for (const char *c : {"1001", "1002", "1010"})
        EXPECT_TRUE(codes.contains(QLatin1String(c))) << c;
}

TEST(DeliveredTables, FindingsTableIsEmpty)
{
    const QJsonObject table = readWithPython(meta("shtable1.dbf"));
    expectFields(table, {{QStringLiteral("name1"), 'C', 20, 0}, {QStringLiteral("name2"), 'C', 20, 0},
                         {QStringLiteral("name3"), 'C', 254, 0}});
    EXPECT_EQ(table.value(QStringLiteral("rows")).toArray().size(), 0);
}

TEST(DeliveredRules, NameOnlyResultColumnsAndReadRightInThePrompts)
{
    const QJsonObject table = readWithPython(meta("tjjctjk.dbf"));
    expectFields(table, {{QStringLiteral("Cond"), 'C', 254, 0}, {QStringLiteral("Cont"), 'C', 254, 0}});
    const QJsonArray rows = table.value(QStringLiteral("rows")).toArray();
    EXPECT_GE(rows.size(), 40);

    static const QRegularExpression word(QStringLiteral("[A-Za-z_][A-Za-z_0-9]*"));
    int fieldAgainstNumber = 0, fieldAgainstField = 0;
    for (const QJsonValue &value : rows) {
        const QString cond = value.toArray()[0].toString().trimmed();
        const QString cont = value.toArray()[1].toString().trimmed();
        EXPECT_FALSE(cont.isEmpty()) << cond.toStdString();
        for (auto it = word.globalMatch(cond); it.hasNext();) {
            const QString w = it.next().captured();
            const bool keyword = w == QLatin1String("and") || w == QLatin1String("or") || w == QLatin1String("not");
            EXPECT_TRUE(keyword || cat::indicatorIndex(w) >= 0) << w.toStdString() << " in " << cond.toStdString();
            EXPECT_EQ(w, w.toLower()) << cond.toStdString();
        }
        // The prompt on leaving the edit of field f takes the text after
        // "f" and one operator character as a number when it reads as one,
        // and then tests "value > number" whatever the operator: such a
        // rule must be exactly "f>number".
        for (const cat::Indicator &ind : cat::indicators()) {
            QString pattern = QRegularExpression::escape(ind.field);
            pattern.replace(QStringLiteral("_"), QStringLiteral("."));
            if (!QRegularExpression(pattern).match(cond).hasMatch())
                continue; // the prompt's like '%f%' does not return this rule
            const QString tail = cond.right(cond.size() - ind.field.size() - 1);
            if (UDeclareFunction::IsNumber(tail)) {
                EXPECT_EQ(cond, ind.field + QLatin1Char('>') + tail) << "misread by the prompt for " << ind.field.toStdString();
            }
        }
        const int gt = cond.indexOf(QLatin1Char('>'));
        if (gt > 0 && cat::indicatorIndex(cond.left(gt)) >= 0) {
            const QString rest = cond.mid(gt + 1);
            fieldAgainstNumber += UDeclareFunction::IsNumber(rest);
            fieldAgainstField += cat::indicatorIndex(rest) >= 0;
        }
    }
    EXPECT_GE(fieldAgainstNumber, 10);
    EXPECT_GE(fieldAgainstField, 10);
}

TEST(DataTool, RefusesABadSourceAndKeepsTheTablesThere)
{
    QTemporaryDir dir;
    const QString src = testsupport::sourceDir() + QStringLiteral("data/");
    const QString out = dir.filePath(QStringLiteral("DataMeta"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString projects = dir.filePath(QStringLiteral("zbzkyy.tsv"));
    const QString rules = src + QStringLiteral("tjjctjk.tsv");

    auto runTool = [&] {
        return testsupport::run(QStringLiteral(PDECLARE_MKDATA), {out, projects, rules});
    };
    auto writeProjects = [&](const QByteArray &body) {
        QFile f(projects);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("Xmh\tyymcks\tybm\n" + body);
    };

    // A good run writes the four tables, the same as the build's apart from
    // the date of last update (header bytes 1 to 3).
    ASSERT_TRUE(QFile::copy(src + QStringLiteral("zbzkyy.tsv"), projects + QStringLiteral(".orig")));
    QFile::copy(projects + QStringLiteral(".orig"), projects);
    testsupport::ProcessResult r = runTool();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char *name : {"sjsbb.dbf", "zbzkyy.dbf", "tjjctjk.dbf", "shtable1.dbf"}) {
        QByteArray mine = testsupport::fileBytes(out + QLatin1Char('/') + QLatin1String(name));
        QByteArray built = testsupport::fileBytes(meta(name));
        ASSERT_GT(mine.size(), 4) << name;
        mine.replace(1, 3, "xxx");
        built.replace(1, 3, "xxx");
        EXPECT_EQ(mine, built) << name;
    }
    const QByteArray before = testsupport::fileBytes(out + QStringLiteral("/zbzkyy.dbf"));

    const QByteArray longName = QString(41, QChar(0x533B)).toUtf8(); // 82 GBK bytes in an 80-byte column
    const struct {
        QByteArray body;
        const char *message;
    } bad[] = {
        {"1001\t" + longName + "\tY\n", "82 bytes"},
        {"1001\tA\tA\n1001\tB\tB\n", "appears twice"},
        {"1001\tA\n", "2 cells"},
        {"1001\t\xf0\x9f\x98\x80\tA\n", "GBK cannot encode"},
    };
    for (const auto &b : bad) {
        writeProjects(b.body);
        r = runTool();
        EXPECT_EQ(r.exitCode, 1) << b.message;
        EXPECT_TRUE(r.err.contains(b.message)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("zbzkyy.tsv:")) << "names the file and line: " << r.err.toStdString();
        EXPECT_EQ(testsupport::fileBytes(out + QStringLiteral("/zbzkyy.dbf")), before);
        EXPECT_FALSE(QDir(out + QStringLiteral("/.mkdata")).exists());
    }
}
