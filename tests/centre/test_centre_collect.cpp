// Collect prepares files ahead of storing them; what the database holds must
// still be exactly the files stored in order, up to where a reviewer stopped.
#include "UploadFiles.h"
#include "centre/Collect.h"
#include "centre/Declarations.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace centretest;

TEST(CentreCollect, StoppedCollectKeepsTheFilesDoneAndTheNextCollectTakesTheRest)
{
    testsupport::TempProgramDir dir;
    writeProjectList(dir.path(), 100);
    QTemporaryDir work;
    const QString uploads = QDir(work.path()).filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    for (int p = 0; p < 90; ++p)
        writeUpload(uploads, code(p), projectName(p), plausibleFigures(p));
    const QStringList files = centre::findUploadFiles({uploads});
    ASSERT_EQ(files.size(), 90);

    auto db = centre::Database::open(QDir(work.path()).filePath(QStringLiteral("centre.db")));
    const centre::Reference ref = centre::Reference::load(dir.path());
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
