// Collect prepares files ahead of storing them; what the database holds must
// still be exactly the files stored in order, up to where a reviewer stopped.
#include "UploadFiles.h"
#include "centre/Collect.h"
#include "centre/Declarations.h"
#include "centre/Sha256.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>

using namespace centretest;

namespace {

// A list of 100 projects, 90 of which sent a plausible file.
struct Uploads {
    Uploads()
    {
        writeProjectList(dir.path(), 100);
        const QString uploads = QDir(work.path()).filePath(QStringLiteral("uploads"));
        QDir().mkpath(uploads);
        for (int p = 0; p < 90; ++p)
            writeUpload(uploads, code(p), projectName(p), plausibleFigures(p));
        files = centre::findUploadFiles({uploads});
    }
    testsupport::TempProgramDir dir;
    QTemporaryDir work;
    QStringList files;
};

// ... and a new database, opened once the files are there.
struct NinetyUploads : ::testing::Test, Uploads {
    std::unique_ptr<centre::Database> db = centre::Database::open(QDir(work.path()).filePath(QStringLiteral("centre.db")));
    const centre::Reference ref = centre::Reference::load(dir.path());
};

// The SQLite connection under a Database: the one its collect stores through.
sqlite3 *handleOf(centre::Database &db)
{
    const QVariant handle = db.connection().driver()->handle();
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// A database function that fails its first `times` calls with `code`, as
// the database itself would, and counts every call.
struct Faults {
    int code = SQLITE_OK;
    int times = 0;
    int calls = 0;
};

void failFirstCalls(sqlite3_context *context, int, sqlite3_value **)
{
    auto *faults = static_cast<Faults *>(sqlite3_user_data(context));
    if (faults->calls++ < faults->times) {
        sqlite3_result_error(context, "failed by the test", -1);
        sqlite3_result_error_code(context, faults->code);
    } else {
        sqlite3_result_null(context);
    }
}

// The platform's files without the shared memory SQLite keeps its log's
// index in (as on some network and special file systems): asked for its
// log (WAL), SQLite then keeps the rollback journal, without an error.
// Installed as the default for connections opened while it lives.
class NoSharedMemory {
public:
    NoSharedMemory() : m_base(sqlite3_vfs_find(nullptr))
    {
        m_vfs = *m_base;
        m_vfs.zName = "pdeclare-test-no-shm";
        m_vfs.pAppData = this;
        m_vfs.xOpen = &NoSharedMemory::open;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~NoSharedMemory() { sqlite3_vfs_unregister(&m_vfs); }

private:
    static int open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags)
    {
        auto *self = static_cast<NoSharedMemory *>(vfs->pAppData);
        const int rc = self->m_base->xOpen(self->m_base, name, file, flags, outFlags);
        if (rc == SQLITE_OK && file->pMethods) {
            self->m_methods = *file->pMethods;
            self->m_methods.iVersion = 1; // no xShmMap and after
            file->pMethods = &self->m_methods;
        }
        return rc;
    }
    sqlite3_vfs *m_base;
    sqlite3_vfs m_vfs{};
    sqlite3_io_methods m_methods{};
};

} // namespace

TEST_F(NinetyUploads, StoppedCollectKeepsTheFilesDoneAndTheNextCollectTakesTheRest)
{
    ASSERT_EQ(files.size(), 90);
    centre::Collector collector(*db, ref);
    QStringList seen;
    const centre::CollectSummary stopped = collector.collect(files, [&](int done, int total, const centre::FileOutcome &o) {
        EXPECT_EQ(total, 90);
        EXPECT_EQ(done, seen.size() + 1);
        seen << o.path;
        return done < 40;
    });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.newFiles, 40);
    EXPECT_EQ(stopped.total(), 40);
    EXPECT_EQ(seen, files.mid(0, 40)); // in order, one report per file
    EXPECT_EQ(centre::storedFileCount(*db), 40);
    EXPECT_TRUE(centre::currentDeclaration(*db, code(39)));
    EXPECT_FALSE(centre::currentDeclaration(*db, code(40)));

    const centre::CollectSummary rest = collector.collect(files);
    EXPECT_FALSE(rest.cancelled);
    EXPECT_EQ(centre::summaryLine(rest), QStringLiteral("新增 50，替换 0，未变 40，拒收 0"));
    EXPECT_EQ(centre::storedFileCount(*db), 90);
}

// A database failure half-way through a file (here a trigger refusing the
// figures of one project) must not leave that file's row behind, nor the
// uncommitted files of its batch; what was committed before stays, and the
// next collect takes the rest. A file row left without its figures would be
// taken as "unchanged" by the retry and never stored properly.
TEST_F(NinetyUploads, DatabaseFailureMidFileLeavesNoPartOfItsBatch)
{
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral(
        "CREATE TRIGGER refuse_one BEFORE INSERT ON figures "
        "WHEN (SELECT project FROM files WHERE id = NEW.file_id) = '%1' "
        "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END").arg(code(40))));

    centre::Collector collector(*db, ref);
    int reported = 0;
    const centre::CollectSummary failed =
        collector.collect(files, [&](int, int, const centre::FileOutcome &) { return ++reported, true; });
    EXPECT_EQ(reported, 40); // files 0..39 were stored, the 41st failed
    // The summary counts what the database kept, and says what failed.
    EXPECT_EQ(centre::summaryLine(failed), QStringLiteral("新增 32，替换 0，未变 0，拒收 0"));
    ASSERT_TRUE(failed.error);
    EXPECT_TRUE(failed.error->message().contains(QStringLiteral("refused by the test"))) << failed.error->what();
    EXPECT_EQ(failed.notDone, 58);
    EXPECT_EQ(centre::storedFileCount(*db), 32); // the first batch, committed
    EXPECT_TRUE(centre::currentDeclaration(*db, code(31)));
    EXPECT_FALSE(centre::currentDeclaration(*db, code(32)));
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM files WHERE project = '%1'").arg(code(40))) && q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);

    ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER refuse_one")));
    q.finish();
    EXPECT_EQ(centre::summaryLine(collector.collect(files)), QStringLiteral("新增 58，替换 0，未变 32，拒收 0"));
    EXPECT_EQ(centre::storedFileCount(*db), 90);
}

// Collect stores a file once more when the database was busy (another
// reviewer held it past the wait), but a database that refuses the write
// (read-only) or reports damage is not asked again: collect stops at once
// with the database's reason, and nothing of the file is stored.
TEST_F(NinetyUploads, CollectTriesABusyDatabaseAgainButNotAFailingOne)
{
    struct Case {
        int code;
        std::optional<store::ErrorKind> kind; // none: stored at the second try
        const char *reason;
    };
    sqlite3 *lite = handleOf(*db);
    int next = 0;
    for (const Case &c : {Case{SQLITE_BUSY, std::nullopt, ""},
                          Case{SQLITE_READONLY, store::ErrorKind::Io, "数据库是只读的"},
                          Case{SQLITE_CORRUPT, store::ErrorKind::CorruptFile, "数据库文件已损坏"}}) {
        Faults faults{c.code, 1};
        ASSERT_EQ(sqlite3_create_function(lite, "test_fault", 0, SQLITE_UTF8, &faults, failFirstCalls, nullptr, nullptr),
                  SQLITE_OK);
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TEMP TRIGGER fault_once BEFORE INSERT ON main.files "
                                          "BEGIN SELECT test_fault(); END")));
        const int before = centre::storedFileCount(*db);
        centre::Collector collector(*db, ref);
        const centre::CollectSummary s = collector.collect(files.mid(next++, 1));
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TRIGGER temp.fault_once")));
        if (!c.kind) {
            EXPECT_EQ(faults.calls, 2);
            EXPECT_FALSE(s.error) << s.error->what();
            EXPECT_EQ(centre::summaryLine(s), QStringLiteral("新增 1，替换 0，未变 0，拒收 0"));
            EXPECT_EQ(centre::storedFileCount(*db), before + 1);
        } else {
            EXPECT_EQ(faults.calls, 1) << c.reason;
            ASSERT_TRUE(s.error) << c.reason;
            EXPECT_EQ(s.error->kind(), *c.kind);
            EXPECT_TRUE(s.error->message().contains(QString::fromUtf8(c.reason))) << s.error->what();
            EXPECT_EQ(s.notDone, 1);
            EXPECT_EQ(centre::storedFileCount(*db), before);
        }
    }
}

// A database whose file system cannot keep SQLite's log is not used with
// the rollback journal SQLite falls back to: opening it says why and what
// to do, and nothing is written into it.
TEST(CentreDatabase, ALogThatDoesNotTakeStopsTheOpenWithItsReason)
{
    QTemporaryDir work;
    const QString name = QDir(work.path()).filePath(QStringLiteral("centre.db"));
    QString message;
    {
        NoSharedMemory files;
        try {
            centre::Database::open(name);
        } catch (const centre::Error &e) {
            message = e.message();
        }
    }
    EXPECT_TRUE(message.contains(QStringLiteral("journal_mode=WAL"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("没有继续"))) << message.toStdString();
    EXPECT_EQ(QFileInfo(name).size(), 0);
}

// A file is known by its SHA-256: a wrong digest would store the same file
// twice, or take a changed one as unchanged. Both ways of computing it (the
// processor's SHA instructions where it has them, the portable code) give
// the standard digest at every length around the 64-byte blocks and the
// 56-byte point where the length spills into a second block.
TEST(FileHash, IsTheStandardSha256AtEveryBlockBoundary)
{
    QByteArray bytes;
    quint32 x = 2006;
    for (int i = 0; i < 4200; ++i) {
        x = x * 1103515245u + 12345u;
        bytes.append(char(x >> 24));
    }
    const auto hex = [](const std::array<std::uint8_t, 32> &d) {
        return QByteArray(reinterpret_cast<const char *>(d.data()), 32).toHex();
    };
    for (int size = 0; size < 4200; size += (size < 300 || size > 4090) ? 1 : 61) {
        const QByteArrayView part(bytes.constData(), size);
        const QByteArray expected = QCryptographicHash::hash(part, QCryptographicHash::Sha256).toHex();
        ASSERT_EQ(centre::sha256Hex(part).toStdString(), expected.toStdString()) << size;
        ASSERT_EQ(hex(centre::detail::sha256Portable(part)).toStdString(), expected.toStdString()) << size;
    }
    EXPECT_EQ(centre::sha256Hex("abc"), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}
