// A whole-table UPDATE of millions of records in bounded memory: under an
// address-space limit that a copy of the values per record would exceed,
// every record is changed and nothing is left beside the table.
#include "tests/support/TestSupport.h"

#include "store/Bytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

TEST(BigUpdate, EveryRecordOfMillionsChangesUnderAnAddressSpaceLimit)
{
#ifdef PDECLARE_SANITIZED
    // AddressSanitizer reserves terabytes of address space: no limit can
    // apply, and the plain build checks the bound; here the outcome only.
    const quint32 records = 500000;
    const rlim_t limit = 0;
#else
    const quint32 records = 8000000;
    const rlim_t limit = rlim_t(600) << 20;
#endif
    // One N(5) field: the DBF bytes written directly, in a few large writes.
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("big.dbf"));
    {
        QByteArray head(65, '\0');
        head[0] = 0x03;
        head[1] = 124;
        head[2] = 1;
        head[3] = 1;
        store::bytes::putLe32(head.data() + 4, records);
        head[8] = 65;
        head[10] = 6;
        head[29] = 0x7A;
        head[32] = 'N';
        head[32 + 11] = 'N';
        head[32 + 16] = 5;
        head[64] = 0x0D;
        QFile f(table);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(head);
        const QByteArray chunk = QByteArray("     1").repeated(100000);
        for (quint32 done = 0; done < records; done += 100000)
            ASSERT_EQ(f.write(chunk.constData(), qint64(std::min<quint32>(100000, records - done)) * 6),
                      qint64(std::min<quint32>(100000, records - done)) * 6);
        f.write("\x1a", 1);
    }

    QProcess p;
    if (limit)
        p.setChildProcessModifier([limit] {
            const rlimit as{limit, limit};
            ::setrlimit(RLIMIT_AS, &as);
        });
    p.start(testsupport::builtProgramDir() + QStringLiteral("pdeclare-cli"),
            {QStringLiteral("sql"), dir.path(), QStringLiteral("update big set n=n+1")});
    p.waitForFinished(-1);
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();

    QFile f(table);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_EQ(f.size(), 65 + qint64(records) * 6 + 1);
    f.seek(65);
    const QByteArray changed = QByteArray("     2").repeated(100000);
    for (quint32 done = 0; done < records; done += 100000) {
        const qint64 n = qint64(std::min<quint32>(100000, records - done)) * 6;
        ASSERT_EQ(f.read(n), changed.left(n)) << "records from " << done;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("big.dbf")});
}

} // namespace
