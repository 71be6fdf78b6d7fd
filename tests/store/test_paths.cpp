// Where the program keeps its tables: beside a writable binary that has
// DataMeta/ (portable), else in the user's folder seeded from the delivered
// tables, all or nothing, never over the user's own.
#include "store/Paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>
#include <unistd.h>

namespace paths = store::paths;

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(ProgramDir, BinaryFolderWithDataMetaIsUsedElseTheUsersFolder)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("bin")), user = root.filePath(QStringLiteral("user"));
    QDir().mkpath(bin);
    EXPECT_EQ(paths::chooseProgramDir(bin, user), user + QLatin1Char('/'));
    QDir().mkpath(bin + QStringLiteral("/DataMeta"));
    EXPECT_EQ(paths::chooseProgramDir(bin, user), bin + QLatin1Char('/'));
#ifndef Q_OS_WIN // a folder's read-only mark does not stop writes on Windows
    if (geteuid() != 0) { // root may write anywhere
        QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(paths::chooseProgramDir(bin, user), user + QLatin1Char('/'));
        QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
#endif
}

TEST(ProgramDir, UsersFolderGetsTheDeliveredTablesOnceAndKeepsItsOwn)
{
    QTemporaryDir root;
    const QString shared = root.filePath(QStringLiteral("share/DataMeta"));
    const QString user = root.filePath(QStringLiteral("home/pdeclare"));
    write(shared + QStringLiteral("/sjsbb.dbf"), "template v1");
    write(shared + QStringLiteral("/zbzkyy.dbf"), "projects v1");
    QFile::setPermissions(shared + QStringLiteral("/zbzkyy.dbf"), QFileDevice::ReadOwner | QFileDevice::ReadOther);

    paths::seedUserDir(user, shared);
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/Result")).isDir());
    EXPECT_EQ(read(user + QStringLiteral("/DataMeta/sjsbb.dbf")), "template v1");
    EXPECT_EQ(read(user + QStringLiteral("/DataMeta/zbzkyy.dbf")), "projects v1");
    EXPECT_TRUE(QFileInfo(user + QStringLiteral("/DataMeta/zbzkyy.dbf")).isWritable());

    // A newer delivery never replaces what the user has.
    write(user + QStringLiteral("/DataMeta/zbzkyy.dbf"), "projects edited");
    write(shared + QStringLiteral("/zbzkyy.dbf"), "projects v2");
    paths::seedUserDir(user, shared);
    EXPECT_EQ(read(user + QStringLiteral("/DataMeta/zbzkyy.dbf")), "projects edited");
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("DataMeta"), QStringLiteral("Result")}));
}

TEST(ProgramDir, MissingDeliveryLeavesNoHalfDataMeta)
{
    QTemporaryDir root;
    const QString user = root.filePath(QStringLiteral("pdeclare"));
    try {
        paths::seedUserDir(user, root.filePath(QStringLiteral("nowhere")));
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("请重新安装本程序"))) << e.what();
    }
    EXPECT_EQ(QDir(user).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Result")});
}
