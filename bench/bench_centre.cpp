// The centre's collect: 1,000 upload files into a new SQLite database
// (target: at most 2 s), beside the same import written with python3-dbf and
// Python's sqlite3 in the same run (target: at least 10 times slower than
// ours); the status with the implausible figures over 1,000 projects
// (target: at most 200 ms); and the implausibility flags judged on a
// labelled set with planted errors (the share of flags that are planted
// errors, target at least 80 %; the share of unit slips flagged, target at
// least 90 %).
#include "LabelledFigures.h"
#include "UploadFiles.h"
#include "centre/Collect.h"
#include "centre/Status.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kProjects = 1000;

struct Setup {
    testsupport::TempProgramDir dir;
    QString uploads;
    QString baseline;
    Setup()
    {
        centretest::writeProjectList(dir.path(), kProjects);
        uploads = dir.file(QStringLiteral("uploads"));
        QDir().mkpath(uploads);
        for (int p = 0; p < kProjects; ++p)
            centretest::writeUpload(uploads, centretest::code(p), centretest::projectName(p), centretest::plausibleFigures(p));
        baseline = dir.file(QStringLiteral("baseline.py"));
        QFile f(baseline);
        f.open(QIODevice::WriteOnly);
        f.write(R"(import glob, hashlib, os, sqlite3, sys, time
import dbf
start = time.perf_counter()
db, folder = sys.argv[1], sys.argv[2]
con = sqlite3.connect(db)
con.execute('PRAGMA journal_mode=WAL')
con.execute('PRAGMA synchronous=NORMAL')
con.execute('CREATE TABLE files (id INTEGER PRIMARY KEY, sha256 TEXT UNIQUE, project TEXT, yydm TEXT, name TEXT, '
            'size INTEGER, mtime REAL, flag TEXT)')
columns = None
for path in sorted(glob.glob(os.path.join(folder, '**', '*SJSB.dbf'), recursive=True)):
    data = open(path, 'rb').read()
    sha = hashlib.sha256(data).hexdigest()
    if con.execute('SELECT 1 FROM files WHERE sha256 = ?', (sha,)).fetchone():
        continue
    table = dbf.Table(path, codepage='cp936')
    table.open(dbf.READ_ONLY)
    names = table.field_names
    rows = [[r[n] for n in names] for r in table]
    table.close()
    if columns is None:
        columns = names[3:]
        con.execute('CREATE TABLE figures (file_id INTEGER, period TEXT, %s)' % ', '.join(c + ' REAL' for c in columns))
    yydm = rows[0][0].strip()
    with con:
        cur = con.execute('INSERT INTO files (sha256, project, yydm, name, size, mtime, flag) VALUES (?, ?, ?, ?, ?, ?, ?)',
                          (sha, yydm.split()[0], yydm, os.path.basename(path), len(data), os.path.getmtime(path),
                           rows[0][2].strip()))
        marks = ', '.join('?' * (len(columns) + 2))
        for r in rows:
            con.execute('INSERT INTO figures VALUES (%s)' % marks, [cur.lastrowid, r[1].strip()] + list(r[3:]))
con.close()
print(time.perf_counter() - start)
)");
    }
};

Setup &setup()
{
    static Setup s;
    return s;
}

void BM_CollectThousandFilesIntoNewSqlite(benchmark::State &state)
{
    Setup &s = setup();
    const QStringList files = centre::findUploadFiles({s.uploads});
    static int run = 0; // every repetition into a new database
    for (auto _ : state) {
        const QString db = s.dir.file(QStringLiteral("bench-%1.db").arg(++run));
        const centre::Reference ref = centre::Reference::load(s.dir.path());
        auto database = centre::Database::open(db);
        centre::Collector collector(*database, ref);
        const centre::CollectSummary summary = collector.collect(files);
        if (summary.newFiles != kProjects)
            state.SkipWithError("not every file was collected");
    }
    state.counters["files"] = kProjects;
}
BENCHMARK(BM_CollectThousandFilesIntoNewSqlite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PythonDbfSqliteBaseline(benchmark::State &state)
{
    Setup &s = setup();
    static int run = 0; // every repetition into a new database
    for (auto _ : state) {
        const QString db = s.dir.file(QStringLiteral("python-%1.db").arg(++run));
        const auto r = testsupport::run(QStringLiteral("/usr/bin/python3"), {s.baseline, db, s.uploads}, {}, 600000);
        if (r.exitCode != 0)
            state.SkipWithError(r.err.constData());
        // The import itself, as the script times it: from opening the
        // database to closing it, without starting the interpreter and
        // loading its modules (ours, too, is timed inside one process).
        state.SetIterationTime(r.out.trimmed().toDouble());
    }
}
BENCHMARK(BM_PythonDbfSqliteBaseline)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// The same two as a user runs them, each a whole process from start to
// exit: `pdeclare-cli collect` into a new database beside `python3` running
// the script (target: ours at least 10 times faster).
void BM_CollectProcessThousandFiles(benchmark::State &state)
{
    Setup &s = setup();
    static int run = 0; // every repetition into a new database
    const QString cli = testsupport::builtProgramDir() + QStringLiteral("pdeclare-cli");
    for (auto _ : state) {
        const QString db = s.dir.file(QStringLiteral("process-%1.db").arg(++run));
        QElapsedTimer timer;
        timer.start();
        const auto r = testsupport::run(cli, {QStringLiteral("collect"), db, s.uploads, QStringLiteral("--program-dir"), s.dir.path()},
                                        {}, 600000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (r.exitCode != 0)
            state.SkipWithError(r.err.constData());
    }
}
BENCHMARK(BM_CollectProcessThousandFiles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_PythonProcessThousandFiles(benchmark::State &state)
{
    Setup &s = setup();
    static int run = 0; // every repetition into a new database
    for (auto _ : state) {
        const QString db = s.dir.file(QStringLiteral("python-process-%1.db").arg(++run));
        QElapsedTimer timer;
        timer.start();
        const auto r = testsupport::run(QStringLiteral("/usr/bin/python3"), {s.baseline, db, s.uploads}, {}, 600000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (r.exitCode != 0)
            state.SkipWithError(r.err.constData());
    }
}
BENCHMARK(BM_PythonProcessThousandFiles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_StatusAndImplausibleOverThousandProjects(benchmark::State &state)
{
    Setup &s = setup();
    const QString db = s.dir.file(QStringLiteral("status.db"));
    const centre::Reference ref = centre::Reference::load(s.dir.path());
    auto database = centre::Database::open(db);
    if (storedFileCount(*database) == 0)
        centre::Collector(*database, ref).collect(centre::findUploadFiles({s.uploads}));
    for (auto _ : state) {
        const centre::StatusReport status = centre::computeStatus(*database, ref);
        benchmark::DoNotOptimize(status.projects.data());
    }
}
BENCHMARK(BM_StatusAndImplausibleOverThousandProjects)->Unit(benchmark::kMillisecond)->UseRealTime();

// The implausibility flags on the labelled set (600 projects, planted
// errors): the share of flags that are planted errors (target at least
// 80 %) and the share of the ×10, ×100 and ÷100 slips flagged (target at
// least 90 %), as counters, beside the time they take.
void BM_ImplausibleFlagsOnLabelledSet(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    const centretest::LabelledSet set = centretest::labelledSet(600, quint32(state.range(0)));
    centretest::FlagScore score;
    for (auto _ : state)
        score = centretest::scoreFlags(set, centre::findImplausible(set.declarations, ref));
    state.counters["flags"] = score.flags;
    state.counters["planted_share_of_flags"] = score.precision();
    state.counters["unit_slips"] = score.unitSlips;
    state.counters["unit_slips_flagged"] = score.unitSlipRecall();
    std::printf("seed %lld: %d flags, %.1f %% of them planted errors (target >= 80 %%); %d of %d unit slips flagged, "
                "%.1f %% (target >= 90 %%)\n",
                static_cast<long long>(state.range(0)), score.flags, 100 * score.precision(), score.unitSlipsFlagged,
                score.unitSlips, 100 * score.unitSlipRecall());
}
BENCHMARK(BM_ImplausibleFlagsOnLabelledSet)->Arg(20061)->Arg(2002)->Arg(7)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
