// Collect prepares files ahead of storing them; what the database holds must
// still be exactly the files stored in order, up to where a reviewer stopped.
#include "UploadFiles.h"
#include "centre/Collect.h"
#include "centre/Declarations.h"
#include "centre/Sha256.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    EXPECT_TRUE(failed.error.contains(QStringLiteral("refused by the test"))) << failed.error.toStdString();
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
