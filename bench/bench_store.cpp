// Statement speed over generated tables:
//  - Scan: "select nd from big where cws_zk>cws_yy" over 200,000 declaration
//    rows, against reading the same file's bytes once.
//  - Check: statements 8 to 11 of a full check, 1,000 rules over the five
//    period rows.
//  - Prompt: statement 5 against a 1,000-rule tjjctjk.
// PDECLARE_BENCH_KEEP_BIG=FILE keeps a copy of the 200,000-row table, e.g.
// to time python3-dbfread over it.
#include "store/Bytes.h"
#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Query.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <random>

using store::DbfTable;
using store::FieldDef;
using store::Query;

namespace {

FieldDef field(const QString &name, char type, int length, int decimals = 0)
{
    return FieldDef::make(name, type, length, decimals);
}

QString fieldName(int indicator) { return store::catalogue::indicators()[size_t(indicator)].field; }

struct Fixture {
    QTemporaryDir dir;
    QString big;      // 200,000 declaration rows
    QString metaDir;  // tjjctjk (1,000 rules), shtable1
    QString resultDir; // result (the five period rows)

    Fixture()
    {
        QDir root(dir.path());
        root.mkpath("DataMeta");
        root.mkpath("Result");
        metaDir = dir.path() + "/DataMeta/";
        resultDir = dir.path() + "/Result/";
        makeBig();
        makeResult();
        makeRules();
        DbfTable::create(metaDir + "shtable1.dbf",
                         {field("name1", 'C', 20), field("name2", 'C', 20), field("name3", 'C', 254)});
    }

    // 1,000 varied rows written by our table writer, then the record block
    // repeated to 200,000 rows with the header's count set to match.
    void makeBig()
    {
        const std::vector<FieldDef> fields = store::catalogue::declarationFields();
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> figure(0, 99999);
        const QStringList codes = {"20020112", "20030112", "20040112", "20050112", "20060106"};
        std::vector<std::vector<QVariant>> rows;
        for (int i = 0; i < 1000; ++i) {
            std::vector<QVariant> row(fields.size());
            row[0] = QStringLiteral("%1  某某市第%2人民医院（心内科）").arg(1000 + i % 60).arg(i % 7 + 1);
            row[1] = codes[i % 5];
            for (size_t f = 3; f < fields.size(); ++f)
                row[f] = (i + int(f)) % 9 == 0 ? QVariant() : QVariant(figure(rng) / 100.0);
            rows.push_back(row);
        }
        const QString seed = dir.path() + "/seed.dbf";
        DbfTable::create(seed, fields, rows);
        const DbfTable t = DbfTable::load(seed);
        QFile in(seed);
        in.open(QIODevice::ReadOnly);
        const QByteArray bytes = in.readAll();
        const int header = t.header().headerLength;
        const int length = t.header().recordLength;
        const QByteArray block = bytes.mid(header, qsizetype(length) * 1000);
        QByteArray head = bytes.left(header);
        store::bytes::putLe32(head.data() + 4, 200000);
        big = dir.path() + "/big.dbf";
        QFile out(big);
        out.open(QIODevice::WriteOnly);
        out.write(head);
        for (int i = 0; i < 200; ++i)
            out.write(block);
        out.write("\x1a", 1);
        out.close();
        // For timing another reader over the very same file.
        const QString keep = qEnvironmentVariable("PDECLARE_BENCH_KEEP_BIG");
        if (!keep.isEmpty()) {
            QFile::remove(keep);
            QFile::copy(big, keep);
        }
    }

    void makeResult()
    {
        const std::vector<FieldDef> fields = store::catalogue::declarationFields();
        const QStringList codes = {"20020112", "20030112", "20040112", "20050112", "20060106"};
        std::vector<std::vector<QVariant>> rows;
        for (int p = 0; p < 5; ++p) {
            std::vector<QVariant> row(fields.size());
            row[0] = QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）");
            row[1] = codes[p];
            for (size_t f = 3; f < fields.size(); ++f)
                row[f] = double(100 + 10 * int(f) + p);
            rows.push_back(row);
        }
        DbfTable::create(resultDir + "result.dbf", fields, rows);
    }

    // Rules of the delivered shapes over random indicator pairs: field >
    // field, field > number, and compound ones; about one in fifty holds for
    // some period.
    void makeRules()
    {
        std::mt19937 rng(11);
        const int n = int(store::catalogue::indicators().size());
        std::uniform_int_distribution<int> pick(0, n - 1);
        std::vector<std::vector<QVariant>> rows;
        for (int i = 0; i < 1000; ++i) {
            const int a = pick(rng);
            int b = pick(rng);
            if (b == a)
                b = (a + 1) % n;
            QString cond;
            switch (i % 4) {
            case 0: cond = QStringLiteral("%1>%2").arg(fieldName(std::min(a, b)), fieldName(std::max(a, b))); break;
            case 1: cond = QStringLiteral("%1>%2").arg(fieldName(a)).arg(i % 50 == 1 ? 100 : 999999); break;
            case 2: cond = QStringLiteral("%1/%2*100>100 and %2>0").arg(fieldName(std::min(a, b)), fieldName(std::max(a, b))); break;
            default: cond = QStringLiteral("%1>0 and %2=0").arg(fieldName(a), fieldName(b)); break;
            }
            rows.push_back({cond, QStringLiteral("第 %1 条规则：%2 与 %3 不一致，请核对").arg(i + 1).arg(fieldName(a), fieldName(b))});
        }
        DbfTable::create(metaDir + "tjjctjk.dbf", {field("Cond", 'C', 254), field("Cont", 'C', 254)}, rows);
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_ReadFileBytes(benchmark::State &state)
{
    // The baseline: the file's bytes read once into one reused buffer, as
    // `wc -l` does, not copied into a fresh buffer of the file's size.
    const QString path = fixture().big;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 size = 0;
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        size = 0;
        for (qint64 n; (n = f.read(buffer.data(), buffer.size())) > 0;)
            size += n;
        benchmark::DoNotOptimize(buffer.constData());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);

void BM_ScanSelect(benchmark::State &state)
{
    Query q;
    q.setDirectory(QFileInfo(fixture().big).absolutePath());
    int rows = 0;
    for (auto _ : state) {
        q.close();
        q.setSql("select nd from big where cws_zk>cws_yy");
        q.open();
        rows = q.recordCount();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_ScanSelect)->Unit(benchmark::kMillisecond);

// The same, and every selected row's nd read, as a caller walking the rows does.
void BM_ScanSelectAndRead(benchmark::State &state)
{
    Query q;
    q.setDirectory(QFileInfo(fixture().big).absolutePath());
    for (auto _ : state) {
        q.close();
        q.setSql("select nd from big where cws_zk>cws_yy");
        q.open();
        qsizetype chars = 0;
        for (q.first(); !q.eof(); q.next())
            chars += q.fieldByName("nd").toString().size();
        benchmark::DoNotOptimize(chars);
    }
}
BENCHMARK(BM_ScanSelectAndRead)->Unit(benchmark::kMillisecond);

// Statements 8 to 11 as the check routine issues them.
void BM_FullCheck(benchmark::State &state)
{
    Fixture &f = fixture();
    Query rules, rows, out;
    rules.setDirectory(f.metaDir);
    rows.setDirectory(f.resultDir);
    out.setDirectory(f.metaDir);
    int findings = 0;
    for (auto _ : state) {
        out.close();
        out.setSql("delete from shtable1 ");
        out.execSql();
        state.PauseTiming();
        DbfTable::pack(f.metaDir + "shtable1.dbf"); // statement 1 at the next start
        state.ResumeTiming();
        findings = 0;
        rules.close();
        rules.setSql("select * from tjjctjk ");
        rules.open();
        for (rules.first(); !rules.eof(); rules.next()) {
            const QString cond = rules.fieldByName("Cond").toString().trimmed();
            const QString cont = rules.fieldByName("Cont").toString().trimmed();
            rows.close();
            rows.setSql("select nd from result where " + cond);
            rows.open();
            for (rows.first(); !rows.eof(); rows.next()) {
                out.close();
                out.setSql("select * from shtable1 ");
                out.open();
                out.append();
                out.setFieldValue("name1", store::catalogue::periodLabelFromCode(rows.fieldByName("nd").toString().trimmed()));
                out.setFieldValue("name2", QString());
                out.setFieldValue("name3", cont);
                out.post();
                ++findings;
            }
        }
        out.close();
        out.setSql("select * from shtable1 ");
        out.open();
        benchmark::DoNotOptimize(out.recordCount());
    }
    state.counters["findings"] = findings;
}
BENCHMARK(BM_FullCheck)->Unit(benchmark::kMillisecond);

// Statement 5, as each edit's exit issues it.
void BM_PromptLookup(benchmark::State &state)
{
    Query q;
    q.setDirectory(fixture().metaDir);
    const QString field = fieldName(0);
    int rows = 0;
    for (auto _ : state) {
        q.close();
        q.setSql("select * from tjjctjk where cond like '%" + field + "%' ");
        q.open();
        for (q.first(); !q.eof(); q.next())
            benchmark::DoNotOptimize(q.fieldByName("cont"));
        rows = q.recordCount();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_PromptLookup)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
