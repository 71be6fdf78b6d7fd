// What the tables look like after a full disk or a kill at any write of each
// writing command, after two processes write at once, and what the commands
// say about files that are no tables at all (pipe, device, sparse giant,
// symlink loop). A hang or an unbounded read ends at the test's TIMEOUT or at
// the address-space limit given to the command, never at a timing here.
#include "tests/check/CheckTestData.h"
#include "tests/support/FaultEnv.h"
#include "tests/support/TestSupport.h"
#include "FilesTestSupport.h"

#include "store/Bytes.h"
#include "store/DbfTable.h"
#include "store/FileIo.h"
#include "store/Paths.h"
#include "store/SqlTable.h"
#include "store/SqlText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace checktest;
using namespace filestest;

namespace {

QString cliPath() { return testsupport::builtProgram(QStringLiteral("pdeclare-cli")); }

struct Outcome {
    int exitCode = -1;
    QString err;
};

// Runs pdeclare-cli, or with faults (FaultEnv's options in front) its test
// build over a file layer that fails on purpose; out takes its stdout.
Outcome cli(const QStringList &args, const QStringList &faults = {}, rlim_t addressSpace = 0, const QString &out = {})
{
    QProcess p;
    if (!out.isEmpty())
        p.setStandardOutputFile(out);
#ifdef PDECLARE_SANITIZED
    // AddressSanitizer reserves terabytes of address space for its shadow
    // memory, so no limit on it can apply: the sanitized run checks the
    // outcomes, the plain build also the bound.
    addressSpace = 0;
#endif
    if (addressSpace)
        p.setChildProcessModifier([addressSpace] {
            const rlimit limit{addressSpace, addressSpace};
            ::setrlimit(RLIMIT_AS, &limit);
        });
    p.start(faults.isEmpty() ? cliPath() : QStringLiteral(PDECLARE_FAULTY_CLI), faults + args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

// Every table of `copies` as python3-dbf reads it, one block per file.
QStringList pythonViews(const QStringList &copies)
{
    QString script = QStringLiteral("import dbf\nfor p in %1:\n"
                                    "    t = dbf.Table(p)\n    t.open()\n"
                                    "    print('|'.join(repr([str(v).rstrip() for v in r]) for r in t if not dbf.is_deleted(r)))\n"
                                    "    t.close()\n");
    QStringList quoted;
    for (const QString &c : copies)
        quoted << QLatin1Char('\'') + c + QLatin1Char('\'');
    const auto r = testsupport::python(script.arg(QLatin1Char('[') + quoted.join(QLatin1Char(',')) + QLatin1Char(']')));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

class WritingCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        setProject(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
        exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=10, jsjxry=3"));
        setRules({{QStringLiteral("cws_yy>50"), QStringLiteral("never")}});
    }

    // Runs `command` with the N-th write failing (ENOSPC) and, separately,
    // with the process ended right after the N-th write, for every N until
    // the command no longer reaches an N-th write. After each, every table
    // in `watched` is the old or the new one, read by ours and python3-dbf.
    void everyWrite(const QStringList &command, const QStringList &watched, int cleanExit = 0)
    {
        const QString root = dir.path().chopped(1);
        const auto before = snapshot(root);
        std::map<QString, QString> oldState, newState;
        for (const QString &t : watched)
            oldState[t] = ours(root + QLatin1Char('/') + t);
        const Outcome clean = cli(command);
        ASSERT_EQ(clean.exitCode, cleanExit) << clean.err.toStdString();
        const std::map<QString, QByteArray> after = snapshot(root);
        for (const QString &t : watched) {
            newState[t] = ours(root + QLatin1Char('/') + t);
            ASSERT_NE(oldState[t], newState[t]) << t.toStdString();
        }

        QStringList copies, expected;
        int faults = 0;
        for (const QString &mode : {QStringLiteral("--fail-change"), QStringLiteral("--exit-after-change")}) {
            for (int n = 1;; ++n) {
                ASSERT_LT(n, 200);
                restore(root, before);
                const Outcome r = cli(command, {mode, QString::number(n)});
                const QString where = QStringLiteral("%1 %2: %3").arg(mode).arg(n).arg(r.err);
                if (r.exitCode == cleanExit)
                    break; // no N-th write: the command ran whole
                ++faults;
                if (mode == QLatin1String("--fail-change")) {
                    EXPECT_EQ(r.exitCode, 2) << where.toStdString();
                    EXPECT_TRUE(r.err.contains(QStringLiteral("磁盘空间不足"))) << where.toStdString();
                    EXPECT_EQ(leftovers(root), QStringList()) << where.toStdString();
                } else {
                    EXPECT_EQ(r.exitCode, 86) << where.toStdString();
                }
                for (const QString &t : watched) {
                    const QString path = root + QLatin1Char('/') + t;
                    const QString state = ours(path);
                    EXPECT_TRUE(state == oldState[t] || state == newState[t]) << where.toStdString() << "\n" << t.toStdString()
                                                                             << " reads\n" << state.toStdString();
                    if (!QFile::exists(path))
                        continue;
                    const QString copy = copiesDir.filePath(QStringLiteral("%1.dbf").arg(copies.size()));
                    QFile::remove(copy);
                    ASSERT_TRUE(QFile::copy(path, copy));
                    copies << copy;
                    expected << (state == oldState[t] ? QStringLiteral("old:") : QStringLiteral("new:")) + t;
                }
                EXPECT_EQ(leftovers(root).filter(QStringLiteral("-journal")), QStringList()) << where.toStdString();
            }
        }
        EXPECT_GT(faults, 2);
        EXPECT_EQ(snapshot(root), after); // the last run wrote what the clean one did

        // python3-dbf sees the same two states.
        QStringList refs;
        std::map<QString, QString> refIndex;
        for (const QString &t : watched) {
            for (const auto &[label, files] : {std::pair{QStringLiteral("old:"), &before}, std::pair{QStringLiteral("new:"), &after}}) {
                auto it = files->find(t);
                if (it == files->end())
                    continue;
                const QString ref = copiesDir.filePath(QStringLiteral("ref%1.dbf").arg(refs.size()));
                QFile f(ref);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(it->second);
                f.close();
                refIndex[label + t] = QString::number(refs.size());
                refs << ref;
            }
        }
        const QStringList views = pythonViews(refs + copies);
        ASSERT_EQ(views.size(), refs.size() + copies.size());
        for (int i = 0; i < copies.size(); ++i)
            EXPECT_EQ(views[refs.size() + i], views[refIndex.at(expected[i]).toInt()]) << expected[i].toStdString();
    }

    testsupport::TempProgramDir dir;
    QTemporaryDir target;
    // Copies for python3-dbf, outside the program directory.
    QTemporaryDir copiesDir;
};

} // namespace

TEST_F(WritingCommands, UpdateOfSeveralRowsAndColumnsIsAllOrNothing)
{
    everyWrite({QStringLiteral("sql"), dir.file(QStringLiteral("Result")), QStringLiteral("update result set cws_yy=7, jsjxry=7")},
               {QStringLiteral("Result/result.dbf")});
}

TEST_F(WritingCommands, DeleteAndPackAreAllOrNothing)
{
    everyWrite({QStringLiteral("sql"), dir.file(QStringLiteral("Result")), QStringLiteral("delete from result where nd>'20040000'")},
               {QStringLiteral("Result/result.dbf")});
    everyWrite({QStringLiteral("sql"), dir.file(QStringLiteral("Result")), QStringLiteral("pack result")}, {QStringLiteral("Result/result.dbf")});
}

// A folder whose entries cannot be synced (an I/O error): an update is
// refused before the table is touched (its journal might not be found after
// a power loss), and a new file that may not survive one is not reported
// as saved.
TEST_F(WritingCommands, AFolderThatCannotBeSyncedIsNeverReportedAsSaved)
{
    const QString result = dir.file(QStringLiteral("Result"));
    const QByteArray before = testsupport::fileBytes(result + QStringLiteral("/result.dbf"));
    const Outcome update = cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7")},
                               {QStringLiteral("--fail-sync-dir")});
    EXPECT_EQ(update.exitCode, 2) << update.err.toStdString();
    EXPECT_TRUE(update.err.contains(QStringLiteral("无法写入修改记录文件"))) << update.err.toStdString();
    EXPECT_EQ(testsupport::fileBytes(result + QStringLiteral("/result.dbf")), before);
    EXPECT_EQ(leftovers(dir.path().chopped(1)), QStringList());

    const QString backupDir = dir.file(QStringLiteral("Backup"));
    ASSERT_TRUE(QDir().mkpath(backupDir));
    const Outcome backup = cli({QStringLiteral("backup"), backupDir, dir.path()}, {QStringLiteral("--fail-sync-dir")});
    EXPECT_EQ(backup.exitCode, 2) << backup.err.toStdString();
    EXPECT_TRUE(backup.err.contains(QStringLiteral("无法确认"))) << backup.err.toStdString();
}

TEST_F(WritingCommands, BackupOverAnEarlierOneAndUploadNeverLeaveAPartialFile)
{
    const QString backupDir = dir.file(QStringLiteral("Backup"));
    ASSERT_TRUE(QDir().mkpath(backupDir));
    ASSERT_EQ(cli({QStringLiteral("backup"), backupDir, dir.path()}).exitCode, 0);
    exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=11"));
    everyWrite({QStringLiteral("backup"), backupDir, dir.path()}, {QStringLiteral("Backup/result.dbf")});

    const QString uploadDir = dir.file(QStringLiteral("Upload"));
    ASSERT_TRUE(QDir().mkpath(uploadDir));
    everyWrite({QStringLiteral("upload"), uploadDir, QStringLiteral("--yes"), dir.path()},
               {QStringLiteral("Result/result.dbf"), QStringLiteral("Upload/1001SJSB.dbf")});
}

// A backup into a folder of the user's removes what an earlier killed
// backup left there, and nothing else: not the user's own copies named
// like the table, not a temporary file another process is still writing.
TEST_F(WritingCommands, BackupRemovesOnlyItsOwnStaleTemporaryFiles)
{
    const QDir folder(target.path());
    const QStringList users{QStringLiteral("result.dbf.backup"), QStringLiteral("result.dbf.2024v1"),
                            QStringLiteral("sjsbb.DBF.Backup"), QStringLiteral("result.dbf.Ab12Cd")};
    for (const QString &name : users) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("a user's copy");
    }
    QFile stale(folder.filePath(QStringLiteral("result.dbf~pdeclare-tmp-Ab12Cd")));
    QFile held(folder.filePath(QStringLiteral("result.dbf~pdeclare-tmp-Zz99Yy")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && held.open(QIODevice::WriteOnly));
    stale.close();
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);

    const Outcome r = cli({QStringLiteral("backup"), folder.path(), dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList expected = users;
    expected << QStringLiteral("result.dbf") << QFileInfo(held).fileName();
    expected.sort();
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    for (const QString &name : users)
        EXPECT_EQ(testsupport::fileBytes(folder.filePath(name)), QByteArray("a user's copy"));
}

// The check replaces the last run's findings with its own in one change: a
// kill or a full disk midway leaves the old findings, not an empty list.
TEST_F(WritingCommands, TheChecksNewFindingsReplaceTheOldOnesAllOrNothing)
{
    setRules({{QStringLiteral("cws_yy>5"), QStringLiteral("多于五")}});
    ASSERT_EQ(cli({QStringLiteral("check"), dir.path()}).exitCode, 1);
    setRules({{QStringLiteral("jsjxry>2"), QStringLiteral("多于二")}});
    everyWrite({QStringLiteral("check"), dir.path()}, {QStringLiteral("DataMeta/shtable1.dbf")}, 1);
}

// The entry window's save: five periods, one of them a new row, as one change.
TEST_F(WritingCommands, SavingFivePeriodsWithAnAppendIsAllOrNothing)
{
    exec(QStringLiteral("Result"), QStringLiteral("delete from result where nd='20040112'"));
    exec(QStringLiteral("Result"), QStringLiteral("pack result"));
    const QString path = dir.file(QStringLiteral("Result/result.dbf"));
    const QByteArray before = testsupport::fileBytes(path);
    std::vector<store::sql::KeyedRow> rows;
    for (const char *code : {"20020112", "20030112", "20040112", "20050112", "20060106"})
        rows.push_back({QLatin1String(code), {{QStringLiteral("cws_yy"), 7}, {QStringLiteral("jsjxry"), 8}}});
    auto save = [&](int exitAfter) {
        const pid_t child = ::fork();
        if (child == 0) {
            static testsupport::FaultEnv faults;
            faults.exitAfterChange(exitAfter);
            store::fileio::setEnv(&faults);
            try {
                store::sql::saveKeyedRows(dir.file(QStringLiteral("Result")), QStringLiteral("result"), QStringLiteral("nd"), rows);
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    };
    const QString oldState = ours(path);
    ASSERT_EQ(save(0), 0);
    const QString newState = ours(path);
    ASSERT_NE(oldState, newState);
    int endedEarly = 0;
    for (int n = 1; n < 50; ++n) {
        restore(dir.file(QStringLiteral("Result")), {{QStringLiteral("result.dbf"), before}});
        const int code = save(n);
        const QString state = ours(path);
        EXPECT_TRUE(state == oldState || state == newState) << "write " << n << ":\n" << state.toStdString();
        if (code == 0)
            break;
        ++endedEarly;
    }
    EXPECT_GT(endedEarly, 2);
}

// ---- the journal: applied only to the table it was written for ---------------

namespace {

QStringList keptAside(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*-journal.not-applied-*")}, QDir::Files);
}

// A journal as someone who knows its layout would forge it (sound checksum,
// the table's own file number), so that only its content can betray it:
// per range position, length, a hash per 512-byte block and the old bytes.
QByteArray forgedJournal(const QString &table, qint64 oldSize, qint64 newSize,
                         const std::vector<std::pair<qint64, qint64>> &ranges)
{
    struct stat st {};
    ::stat(QFile::encodeName(table).constData(), &st);
    QByteArray j("PDJRNL02");
    store::bytes::appendLe64(j, quint64(st.st_ino));
    j += char(1);
    store::bytes::appendLe64(j, quint64(oldSize));
    for (const auto &[pos, len] : ranges) {
        store::bytes::appendLe64(j, quint64(pos));
        store::bytes::appendLe32(j, quint32(len));
        j += QByteArray(8 * int((pos + len - 1) / 512 - pos / 512 + 1), '\0');
        j += QByteArray(int(len), 'x');
    }
    store::bytes::appendLe32(j, quint32(ranges.size()));
    store::bytes::appendLe64(j, quint64(newSize));
    quint64 h = 14695981039346656037ull;
    for (char c : j)
        h = (h ^ uchar(c)) * 1099511628211ull;
    store::bytes::appendLe64(j, h);
    return j + "PDJEND02";
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path); // into the file that is there, as cp does
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace

// An update killed half way leaves its journal; the user then copies a
// backup back over result.dbf (cp keeps the file's number). The next open
// must not "roll back" the backup: it opens as copied, the journal is kept
// aside and the user told.
TEST_F(WritingCommands, AJournalLeftBeforeABackupWasCopiedBackIsNotApplied)
{
    const QString result = dir.file(QStringLiteral("Result"));
    const QString table = result + QStringLiteral("/result.dbf");
    const QByteArray backup = testsupport::fileBytes(table);
    exec(QStringLiteral("Result"), QStringLiteral("update result set cws_yy=11"));
    const Outcome killed = cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7")},
                               {QStringLiteral("--exit-after-change"), QStringLiteral("4")});
    ASSERT_EQ(killed.exitCode, 86);
    ASSERT_TRUE(QFile::exists(table + QStringLiteral("-journal")));

    writeFile(table, backup);
    const Outcome r = cli({QStringLiteral("sql"), result, QStringLiteral("select * from result")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("没有用它还原表"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("如有错误请用备份恢复"))) << r.err.toStdString();
    EXPECT_EQ(testsupport::fileBytes(table), backup);
    EXPECT_FALSE(QFile::exists(table + QStringLiteral("-journal")));
    EXPECT_EQ(keptAside(result).size(), 1);
    EXPECT_EQ(cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=12")}).exitCode, 0);
}

// A journal put beside another table of the same layout (a copy with more
// rows), and journals forged to be short, to claim a huge table, or to
// reach past the table's end: none changes a byte, each is kept aside.
TEST_F(WritingCommands, JournalsOfAnotherTableOrForgedChangeNothing)
{
    const QString result = dir.file(QStringLiteral("Result"));
    const QString table = result + QStringLiteral("/result.dbf");
    const QString big = result + QStringLiteral("/big.dbf");
    ASSERT_TRUE(QFile::copy(table, big));
    {
        store::DbfTable t = store::DbfTable::load(big, store::DbfTable::Access::Write);
        t.appendRecords(std::vector<std::vector<QVariant>>(40, std::vector<QVariant>(t.fields().size())));
    }
    const Outcome killed = cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7")},
                               {QStringLiteral("--exit-after-change"), QStringLiteral("4")});
    ASSERT_EQ(killed.exitCode, 86);
    const QByteArray journal = testsupport::fileBytes(table + QStringLiteral("-journal"));
    ASSERT_FALSE(journal.isEmpty());
    const qint64 size = QFileInfo(big).size();
    const std::vector<std::pair<QString, QByteArray>> journals{
        {QStringLiteral("of another table"), journal},
        {QStringLiteral("short"), QByteArray("PDJRNL02") + QByteArray(16, '\0') + "PDJEND02"},
        {QStringLiteral("2^40 bytes before"), forgedJournal(big, qint64(1) << 40, qint64(1) << 40, {})},
        {QStringLiteral("past the end"), forgedJournal(big, size, size + 16, {{size - 4, 16}})},
        {QStringLiteral("from an older version"), QByteArray("PDJRNL01") + QByteArray(8, '\0') + QByteArray(8, '\0') + "PDJEND01"},
    };
    for (const auto &[what, bytes] : journals) {
        const QByteArray before = testsupport::fileBytes(big);
        writeFile(big + QStringLiteral("-journal"), bytes);
        const Outcome r = cli({QStringLiteral("sql"), result, QStringLiteral("select * from big")});
        EXPECT_EQ(r.exitCode, 0) << what.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("没有用它还原表"))) << what.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(testsupport::fileBytes(big), before) << what.toStdString();
        EXPECT_FALSE(QFile::exists(big + QStringLiteral("-journal"))) << what.toStdString();
        for (const QString &aside : keptAside(result))
            QFile::remove(result + QLatin1Char('/') + aside);
    }
}

// A table reached through a symbolic link has one journal, beside the real
// file: killed through either name at any change, it reads back old or new
// through the other; and a change made through one name is never undone by
// an open through the other.
TEST_F(WritingCommands, ASymlinkedTableKilledAndReopenedEitherWay)
{
    QTemporaryDir realDir;
    const QString real = realDir.filePath(QStringLiteral("result.dbf"));
    const QString link = dir.file(QStringLiteral("Result/result.dbf"));
    ASSERT_TRUE(QFile::rename(link, real));
    ASSERT_TRUE(QFile::link(real, link));
    const QByteArray before = testsupport::fileBytes(real);
    const QString oldState = ours(real);
    ASSERT_EQ(cli({QStringLiteral("sql"), realDir.path(), QStringLiteral("update result set cws_yy=7")}).exitCode, 0);
    const QString newState = ours(real);
    const std::pair<QString, QString> ways[] = {{dir.file(QStringLiteral("Result")), realDir.path()},
                                                {realDir.path(), dir.file(QStringLiteral("Result"))}};
    for (const auto &[killedIn, reopenedIn] : ways) {
        for (int n = 1;; ++n) {
            ASSERT_LT(n, 50);
            writeFile(real, before);
            const Outcome r = cli({QStringLiteral("sql"), killedIn, QStringLiteral("update result set cws_yy=7")},
                                  {QStringLiteral("--exit-after-change"), QString::number(n)});
            EXPECT_FALSE(QFile::exists(link + QStringLiteral("-journal"))) << n;
            const Outcome reopened = cli({QStringLiteral("sql"), reopenedIn, QStringLiteral("select * from result")});
            EXPECT_EQ(reopened.exitCode, 0) << reopened.err.toStdString();
            EXPECT_EQ(reopened.err, QString()) << n;
            const QString state = ours(real);
            EXPECT_TRUE(state == oldState || state == newState) << n << state.toStdString();
            if (r.exitCode == 0)
                break;
        }
        ASSERT_EQ(cli({QStringLiteral("sql"), reopenedIn, QStringLiteral("update result set jsjxry=9")}).exitCode, 0);
        const QByteArray committed = testsupport::fileBytes(real);
        EXPECT_EQ(cli({QStringLiteral("sql"), killedIn, QStringLiteral("select * from result")}).exitCode, 0);
        EXPECT_EQ(testsupport::fileBytes(real), committed);
    }
    // A pack through the link packs the real file; the link stays a link.
    ASSERT_EQ(cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")),
                   QStringLiteral("delete from result where nd='20040112'")}).exitCode, 0);
    const QString packed = ours(real);
    ASSERT_EQ(cli({QStringLiteral("sql"), dir.file(QStringLiteral("Result")), QStringLiteral("pack result")}).exitCode, 0);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
    EXPECT_EQ(store::DbfTable::load(real).recordCount(), 4u);
    EXPECT_EQ(ours(real).section(QLatin1Char('\n'), 1), packed.section(QLatin1Char('\n'), 1));
}

// Something that is no journal where the journal goes (a folder, a dangling
// link) is never written through: the table still reads, a write is refused
// with the remedy, and the link's target is never made.
TEST_F(WritingCommands, AJournalPathThatIsNoFileIsNeverWrittenThrough)
{
    const QString result = dir.file(QStringLiteral("Result"));
    const QString journal = result + QStringLiteral("/result.dbf-journal");
    const QString elsewhere = target.filePath(QStringLiteral("elsewhere"));
    const QByteArray before = testsupport::fileBytes(result + QStringLiteral("/result.dbf"));
    for (int kind = 0; kind < 2; ++kind) {
        ASSERT_TRUE(kind == 0 ? QDir().mkdir(journal) : QFile::link(elsewhere, journal));
        EXPECT_EQ(cli({QStringLiteral("sql"), result, QStringLiteral("select * from result")}).exitCode, 0);
        const Outcome r = cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7")});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("请把它移到别处或删除后再试"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(kind == 0 ? QStringLiteral("文件夹") : QStringLiteral("符号链接"))) << r.err.toStdString();
        EXPECT_EQ(testsupport::fileBytes(result + QStringLiteral("/result.dbf")), before);
        EXPECT_FALSE(QFileInfo::exists(elsewhere));
        ASSERT_TRUE(kind == 0 ? QDir().rmdir(journal) : QFile::remove(journal));
    }
    EXPECT_EQ(cli({QStringLiteral("sql"), result, QStringLiteral("update result set cws_yy=7")}).exitCode, 0);
}

// Two processes that update and append at once lose nothing, and a reader
// never catches a table in the middle of a change.
TEST(TwoProcesses, WritersAndReadersTakeTurns)
{
    testsupport::TempProgramDir dir;
    const QString result = dir.file(QStringLiteral("Result"));
    ASSERT_EQ(store::sql::execute(*store::sql::parse(QStringLiteral("update result set cws_yy=0")), result), 5);
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            try {
                const auto s = store::sql::parse(QStringLiteral("update result set cws_yy=cws_yy+1"));
                for (int i = 0; i < 100; ++i) {
                    store::sql::execute(*s, result);
                    store::DbfTable t = store::DbfTable::load(result + QStringLiteral("/result.dbf"));
                    std::vector<QVariant> blank(t.fields().size());
                    t.appendRecord(blank);
                }
            } catch (...) {
                ::_exit(3);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    // Meanwhile this process reads: every read sees a whole table.
    int reads = 0;
    for (bool running = true; running; ++reads) {
        EXPECT_NO_THROW(store::DbfTable::load(result + QStringLiteral("/result.dbf")));
        running = false;
        for (pid_t pid : children)
            running = running || ::waitpid(pid, nullptr, WNOHANG) == 0;
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_GT(reads, 0);
    const store::DbfTable t = store::DbfTable::load(result + QStringLiteral("/result.dbf"));
    EXPECT_EQ(t.recordCount(), 205u);
    double v = 0;
    ASSERT_TRUE(t.number(0, t.fieldIndex(QStringLiteral("cws_yy")), v));
    EXPECT_EQ(v, 200);
}

// On a file system that keeps no locks (every flock answers ENOLCK), two
// programs that update at once still take turns, through a lock file beside
// the table: no increment is lost. One left by a killed process is taken
// over, and none is left behind.
TEST(TwoProcesses, WithoutFileSystemLocksALockFileMakesThemTakeTurns)
{
    testsupport::TempProgramDir dir;
    const QString result = dir.file(QStringLiteral("Result"));
    const QString lockFile = result + QStringLiteral("/result.dbf~pdeclare-lock");
    ASSERT_EQ(store::sql::execute(*store::sql::parse(QStringLiteral("update result set cws_yy=0")), result), 5);
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    {
        QFile stale(lockFile);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(gone) + '\n');
    }
    const int rounds = 100;
    const QString loop = QStringLiteral("for i in $(seq %1); do \"$0\" --no-locks sql \"$1\" "
                                        "'update result set cws_yy=cws_yy+1' >/dev/null || exit 1; done")
                             .arg(rounds);
    QProcess one, two;
    for (QProcess *p : {&one, &two})
        p->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), loop, QStringLiteral(PDECLARE_FAULTY_CLI), result});
    for (QProcess *p : {&one, &two}) {
        p->waitForFinished(-1);
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().constData();
    }
    const store::DbfTable t = store::DbfTable::load(result + QStringLiteral("/result.dbf"));
    for (quint32 r = 0; r < t.recordCount(); ++r) {
        double v = 0;
        ASSERT_TRUE(t.number(r, t.fieldIndex(QStringLiteral("cws_yy")), v));
        EXPECT_EQ(v, 2 * rounds);
    }
    EXPECT_FALSE(QFileInfo::exists(lockFile));
}

// Two checks at once: each reports all the findings of the data, and the
// findings table ends with them once, not mixed from both runs.
TEST_F(WritingCommands, TwoChecksAtOnceBothReportEveryFinding)
{
    std::vector<std::pair<QString, QString>> rules;
    for (int i = 0; i < 20; ++i)
        rules.push_back({QStringLiteral("cws_yy>%1").arg(i), QStringLiteral("规则 %1").arg(i)});
    setRules(rules);
    QProcess one, two;
    for (QProcess *p : {&one, &two})
        p->start(cliPath(), {QStringLiteral("check"), dir.path()});
    for (QProcess *p : {&one, &two}) {
        p->waitForFinished(-1);
        EXPECT_EQ(p->exitCode(), 1) << p->readAllStandardError().constData();
        EXPECT_EQ(p->readAllStandardOutput().count('\n'), 50);
    }
    EXPECT_EQ(findings().size(), 50u);
}

TEST(TwoProcesses, ASecondProgramOnTheSameDirectoryIsRefused)
{
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral(".pdeclare.lock"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::_exit(store::fileio::holdInstanceLock(lock) && ::write(ready[1], "x", 1) == 1 ? (::pause(), 0) : 1);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_FALSE(store::fileio::holdInstanceLock(lock));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(store::fileio::holdInstanceLock(lock)); // the lock ends with its process
    // A folder where the lock file goes: whether another program runs cannot
    // be known, so the start is refused, naming the file and the remedy.
    const QString folder = dir.filePath(QStringLiteral("other/.pdeclare.lock"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QString problem;
    try {
        store::fileio::holdInstanceLock(folder);
    } catch (const store::Error &e) {
        problem = e.message();
    }
    EXPECT_TRUE(problem.contains(folder)) << problem.toStdString();
    EXPECT_TRUE(problem.contains(QStringLiteral("删除这个文件夹"))) << problem.toStdString();
}

// Files that are no tables: refused at once with a message that says what
// they are, within the test's TIMEOUT and a 1 GB address space.
TEST(HostileFiles, RefusedOrReadInBoundedMemory)
{
    testsupport::TempProgramDir dir;
    const QString result = dir.file(QStringLiteral("Result"));
    const QString table = result + QStringLiteral("/result.dbf");
    const QByteArray header = testsupport::fileBytes(table);
    const rlim_t gigabyte = rlim_t(1) << 30;
    auto select = [&](const QString &statement) {
        return cli({QStringLiteral("sql"), result, statement}, {}, gigabyte);
    };

    QFile::remove(table);
    ASSERT_EQ(::mkfifo(QFile::encodeName(table).constData(), 0644), 0);
    Outcome r = select(QStringLiteral("select * from result"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("不是普通文件（管道）"))) << r.err.toStdString();

    QFile::remove(table);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), table));
    r = select(QStringLiteral("select * from result"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("不是普通文件（设备）"))) << r.err.toStdString();

    QFile::remove(table);
    ASSERT_TRUE(QFile::link(table, table));
    r = select(QStringLiteral("select * from result"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("符号链接构成了循环"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("不存在"))) << r.err.toStdString();

    // 2 GB of zeros: no version byte, refused without reading on.
    QFile::remove(table);
    {
        QFile f(table);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(2) << 30));
    }
    r = select(QStringLiteral("select * from result"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("未知的版本字节 0x00"))) << r.err.toStdString();

    // A sound header over 2 GB of (sparse) records is scanned in bounded
    // memory: the address-space limit would stop a reader that holds it.
    {
        const store::DbfTable t = store::DbfTable::fromBytes(header, QStringLiteral("template"));
        const qint64 records = ((qint64(2) << 30) - t.header().headerLength) / t.header().recordLength;
        QByteArray head = header.left(t.header().headerLength);
        store::bytes::putLe32(head.data() + 4, quint32(records));
        QFile f(table);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(head);
        ASSERT_TRUE(f.resize(t.header().headerLength + records * t.header().recordLength));
    }
    r = select(QStringLiteral("select nd from result where cws_zk>cws_yy"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

// The upload stops with the check's error when the check cannot run: no
// flag, no file, exit 2.
TEST_F(WritingCommands, UploadStopsWhenTheCheckCannotRun)
{
    const QByteArray before = testsupport::fileBytes(dir.file(QStringLiteral("Result/result.dbf")));
    QFile rules(dir.file(QStringLiteral("DataMeta/tjjctjk.dbf")));
    ASSERT_TRUE(rules.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rules.write("not a table");
    rules.close();
    const Outcome r = cli({QStringLiteral("upload"), target.path(), QStringLiteral("--yes"), dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("tjjctjk"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("申报有误差提示"))) << r.err.toStdString();
    EXPECT_TRUE(QDir(target.path()).isEmpty());
    EXPECT_EQ(testsupport::fileBytes(dir.file(QStringLiteral("Result/result.dbf"))), before);
}

// A program folder whose name holds ";" works; a folder that is a link loop
// is not called missing.
TEST(Messages, SemicolonInTheFolderAndALinkLoopAreToldTruly)
{
    testsupport::TempProgramDir source;
    QTemporaryDir base;
    const QString program = base.filePath(QStringLiteral("医院;备份"));
    ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("/DataMeta")));
    ASSERT_TRUE(QDir().mkpath(program + QStringLiteral("/Result")));
    for (const QString &name : QDir(source.file(QStringLiteral("DataMeta"))).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(source.file(QStringLiteral("DataMeta/") + name), program + QStringLiteral("/DataMeta/") + name));
    ASSERT_TRUE(QFile::copy(source.file(QStringLiteral("Result/result.dbf")), program + QStringLiteral("/Result/result.dbf")));
    Outcome r = cli({QStringLiteral("check"), program});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("无数据可检验！"))) << r.err.toStdString();

    ASSERT_TRUE(QDir(program + QStringLiteral("/Result")).removeRecursively());
    ASSERT_TRUE(QFile::link(program + QStringLiteral("/Result"), program + QStringLiteral("/Result")));
    r = cli({QStringLiteral("sql"), program + QStringLiteral("/Result"), QStringLiteral("select * from result")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("符号链接构成了循环"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("不存在"))) << r.err.toStdString();
}

// Output that cannot be written is a failure: with stdout on a full disk,
// the commands that print their result exit 2 and say why.
TEST_F(WritingCommands, OutputToAFullDiskIsAFailure)
{
    const QString result = dir.file(QStringLiteral("Result"));
    const QString backupDir = dir.file(QStringLiteral("Backup"));
    ASSERT_TRUE(QDir().mkpath(backupDir));
    // The centre's status prints its JSON in one large write.
    const QString db = dir.file(QStringLiteral("centre.db"));
    ASSERT_EQ(cli({QStringLiteral("collect"), db, backupDir, QStringLiteral("--program-dir"), dir.path()}).exitCode, 0);
    for (const QStringList &command : {QStringList{QStringLiteral("sql"), result, QStringLiteral("select * from result")},
                                       QStringList{QStringLiteral("dump"), result + QStringLiteral("/result.dbf")},
                                       QStringList{QStringLiteral("backup"), backupDir, dir.path()},
                                       QStringList{QStringLiteral("status"), db, QStringLiteral("--json"),
                                                   QStringLiteral("--program-dir"), dir.path()}}) {
        const Outcome r = cli(command, {}, 0, QStringLiteral("/dev/full"));
        EXPECT_EQ(r.exitCode, 2) << command.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("磁盘空间不足"))) << r.err.toStdString();
    }
}

// What a reader of a named pipe receives while `run` writes into it. The
// pipe is opened for reading before the command starts; a command that
// never opens it lets the reader go when it ends.
static QByteArray readThroughPipe(const QString &fifo, const std::function<void()> &run)
{
    const QByteArray name = QFile::encodeName(fifo);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return "(no reader)";
    QByteArray got;
    std::thread reader([&] {
        char buffer[65536];
        while (true) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                return;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, int(n));
            else if (n == 0 || errno != EAGAIN)
                return; // every writer has closed it
        }
    });
    run();
    if (const int w = ::open(name.constData(), O_WRONLY | O_NONBLOCK); w >= 0)
        ::close(w);
    reader.join();
    ::close(fd);
    return got;
}

// An output onto a named pipe or a character device is written into it:
// the node stays what it was (the system's /dev/null must never become a
// file), a reader of the pipe gets the whole output, and a device that
// refuses the bytes (a copy of /dev/full) is a failure, exit 2. A dangling
// link keeps being a link, to the file now written.
TEST_F(WritingCommands, OutputsWriteIntoPipesAndDevicesWithoutReplacingThem)
{
    const QString nodes = dir.file(QStringLiteral("nodes"));
    ASSERT_TRUE(QDir().mkpath(nodes));
    const QString db = dir.file(QStringLiteral("centre.db"));
    ASSERT_EQ(cli({QStringLiteral("collect"), db, nodes, QStringLiteral("--program-dir"), dir.path()}).exitCode, 0);
    const QByteArray table = testsupport::fileBytes(dir.file(QStringLiteral("Result/result.dbf")));
    struct Output {
        QString name;
        std::function<QStringList(const QString &)> command; // for an output folder or file
        QByteArray starts;
        bool folder = false;
    };
    const std::vector<Output> outputs{
        {QStringLiteral("export --csv"),
         [&](const QString &f) {
             return QStringList{QStringLiteral("export"), db, QStringLiteral("--csv"), f, QStringLiteral("--program-dir"), dir.path()};
         },
         QByteArray()},
        {QStringLiteral("print --pdf"),
         [&](const QString &f) { return QStringList{QStringLiteral("print"), QStringLiteral("--data"), QStringLiteral("--pdf"), f, dir.path()}; },
         "%PDF"},
        {QStringLiteral("backup"), [&](const QString &d) { return QStringList{QStringLiteral("backup"), d, dir.path()}; }, table, true},
    };
    auto targetOf = [&](const Output &o, const QString &name) {
        const QString folder = nodes + QLatin1Char('/') + name;
        QDir().mkpath(folder);
        return o.folder ? std::pair{folder, folder + QStringLiteral("/result.dbf")} : std::pair{folder + QStringLiteral("/out"), folder + QStringLiteral("/out")};
    };
    auto mode = [](const QString &path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0u;
    };
    int n = 0;
    for (const Output &o : outputs) {
        const auto [arg, fifo] = targetOf(o, QStringLiteral("fifo%1").arg(n));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        Outcome r;
        const QByteArray got = readThroughPipe(fifo, [&] { r = cli(o.command(arg)); });
        EXPECT_EQ(r.exitCode, 0) << o.name.toStdString() << r.err.toStdString();
        EXPECT_GT(got.size(), 100) << o.name.toStdString();
        EXPECT_TRUE(got.startsWith(o.starts)) << o.name.toStdString();
        EXPECT_EQ(mode(fifo), unsigned(S_IFIFO)) << o.name.toStdString();

        const auto [linkArg, link] = targetOf(o, QStringLiteral("link%1").arg(n));
        const QString linked = nodes + QStringLiteral("/linked%1").arg(n);
        ASSERT_TRUE(QFile::link(linked, link));
        r = cli(o.command(linkArg));
        EXPECT_EQ(r.exitCode, 0) << o.name.toStdString() << r.err.toStdString();
        EXPECT_EQ(mode(link), unsigned(S_IFLNK)) << o.name.toStdString();
        EXPECT_TRUE(testsupport::fileBytes(linked).startsWith(o.starts)) << o.name.toStdString();
        ++n;
    }

    // Device nodes of our own, with the numbers of /dev/null and /dev/full.
    for (const auto &[numbers, works] : {std::pair{::makedev(1, 3), true}, std::pair{::makedev(1, 7), false}}) {
        for (const Output &o : outputs) {
            const auto [arg, device] = targetOf(o, QStringLiteral("dev%1").arg(n++));
            if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, numbers) != 0)
                GTEST_SKIP() << "mknod needs root (CAP_MKNOD): " << std::strerror(errno);
            const Outcome r = cli(o.command(arg));
            EXPECT_EQ(r.exitCode, works ? 0 : 2) << o.name.toStdString() << r.err.toStdString();
            if (!works) {
                EXPECT_TRUE(r.err.contains(QStringLiteral("磁盘空间不足"))) << r.err.toStdString();
            }
            struct stat st {};
            ASSERT_EQ(::lstat(QFile::encodeName(device).constData(), &st), 0);
            EXPECT_TRUE(S_ISCHR(st.st_mode)) << o.name.toStdString();
            EXPECT_EQ(st.st_rdev, numbers) << o.name.toStdString();
            EXPECT_EQ(QDir(QFileInfo(device).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(), 1);
        }
    }
}

// A first start killed while it copies the delivered tables leaves a marked
// folder, which the next start removes before it copies them whole; a
// marked folder that a running start is filling, and the user's own
// folders, stay.
TEST(FirstStart, AFolderLeftByAKilledCopyIsClearedByTheNextStart)
{
    testsupport::TempProgramDir delivered;
    QTemporaryDir home;
    const QString user = home.filePath(QStringLiteral("pdeclare"));
    const QString from = delivered.file(QStringLiteral("DataMeta"));
    ASSERT_TRUE(QDir().mkpath(user + QStringLiteral("/DataMeta.old")));
    ASSERT_TRUE(QDir().mkpath(user + QStringLiteral("/DataMeta.AbC123.tmp")));
    // Another start filling its folder now holds the mark in it.
    const QString busy = user + QStringLiteral("/DataMeta~pdeclare-tmp-Busy01");
    ASSERT_TRUE(QDir().mkpath(busy));
    const int mark = ::open(QFile::encodeName(busy + QStringLiteral("/holder~pdeclare-tmp-Busy01")).constData(),
                            O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(mark, 0);
    ASSERT_EQ(::flock(mark, LOCK_EX), 0);

    const pid_t child = ::fork();
    if (child == 0) {
        static testsupport::FaultEnv faults;
        faults.exitAfterChange(2); // the first table written and synced
        store::fileio::setEnv(&faults);
        try {
            store::paths::seedUserDir(user, from);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 86);
    EXPECT_FALSE(QFileInfo::exists(user + QStringLiteral("/DataMeta")));
    ASSERT_EQ(QDir(user).entryList({QStringLiteral("DataMeta~pdeclare-tmp-*")}, QDir::Dirs).size(), 2);

    store::paths::seedUserDir(user, from);
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{QStringLiteral("DataMeta"), QStringLiteral("DataMeta.AbC123.tmp"), QStringLiteral("DataMeta.old"),
                           QStringLiteral("DataMeta~pdeclare-tmp-Busy01"), QStringLiteral("Result")}));
    EXPECT_EQ(QDir(user + QStringLiteral("/DataMeta")).entryList(QDir::Files | QDir::Hidden),
              QDir(from).entryList(QDir::Files | QDir::Hidden));
    ::close(mark);
}
