#include "store/Paths.h"

#include "store/Error.h"
#include "store/FileIo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace store::paths {

namespace {
QString &overrideDir()
{
    static QString dir;
    return dir;
}
QString withSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
QString binaryDir() { return withSlash(QCoreApplication::applicationDirPath()); }

[[noreturn]] void fail(const QString &message) { throw Error(ErrorKind::Io, message); }

// A delivered read-only file: the program directory's copy when there is one.
QString delivered(const QString &name)
{
    const QString own = programDir() + name;
    if (QFileInfo::exists(own))
        return own;
    const QString shared = sharedDir() + name;
    return QFileInfo::exists(shared) ? shared : own;
}
} // namespace

namespace {
// Whether files can be made in dir. On Windows a folder's permissions are
// not what QFileInfo reads (it sees the read-only attribute alone): a folder
// under Program Files or on a read-only share is tried with a file.
bool canWriteIn(const QString &dir)
{
    if (!QFileInfo(dir).isWritable())
        return false;
#ifdef Q_OS_WIN
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("pdeclare-probe-XXXXXX.tmp")));
    return probe.open();
#else
    return true;
#endif
}
} // namespace

QString chooseProgramDir(const QString &binaryDir, const QString &userDir)
{
    if (QFileInfo(QDir(binaryDir).filePath(QStringLiteral("DataMeta"))).isDir() && canWriteIn(binaryDir))
        return withSlash(QDir(binaryDir).absolutePath());
    return withSlash(userDir);
}

QString userProgramDir()
{
    // The same folder for the window program and pdeclare-cli, whatever
    // each calls itself. Windows: the user's roaming application data
    // (%APPDATA%\PDeclare), where Windows users and their backups expect it.
#ifdef Q_OS_WIN
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty())
        return withSlash(QDir::fromNativeSeparators(appData)) + QStringLiteral("PDeclare/");
#endif
    return withSlash(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        + QStringLiteral("pdeclare/");
}

QString sharedDir()
{
    // A read-only portable copy (a write-protected stick) delivers its own files.
    if (QFileInfo(binaryDir() + QStringLiteral("DataMeta")).isDir())
        return binaryDir();
    return withSlash(QDir::cleanPath(binaryDir() + QStringLiteral("../share/pdeclare")));
}

QString programDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    static const QString chosen = chooseProgramDir(binaryDir(), userProgramDir());
    return chosen;
}

void setProgramDir(const QString &dir)
{
    overrideDir() = dir.isEmpty() ? QString() : withSlash(QDir(dir).absolutePath());
}

void seedUserDir(const QString &userDir, const QString &from)
{
    QDir dir(userDir);
    // What a start that was killed while copying left (marked folders that
    // no running start is filling).
    fileio::removeLeftovers(userDir);
    if (!dir.mkpath(QStringLiteral("Result")))
        fail(QStringLiteral("无法创建数据目录“%1”。请检查该目录的权限和磁盘空间。").arg(dir.filePath(QStringLiteral("Result"))));
    const QString target = dir.filePath(QStringLiteral("DataMeta"));
    if (QFileInfo::exists(target))
        return; // the user's tables, never replaced
    const QDir source(from);
    const QStringList files = source.entryList(QDir::Files);
    if (!source.exists() || !files.contains(QStringLiteral("sjsbb.dbf"), Qt::CaseInsensitive))
        fail(QStringLiteral("找不到随程序提供的数据表（%1）。请重新安装本程序。").arg(QDir::toNativeSeparators(from)));
    // Filled beside its name (a marked folder, so that a start killed
    // meanwhile leaves nothing the next start does not clear away), then
    // renamed: the user has the whole set or none.
    bool made = false;
    try {
        fileio::NewFolder copy(target);
        for (const QString &name : files) {
            const QString to = QDir(copy.path()).filePath(name);
            copy.copyIn(source.filePath(name), name);
            // The user's copies are theirs to write, whatever the delivered ones are.
            QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                          | QFileDevice::ReadOther);
        }
        QFile::setPermissions(copy.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                               | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                               | QFileDevice::ReadOther | QFileDevice::ExeOther);
        made = copy.commit();
    } catch (const Error &e) {
        throw Error(e, QStringLiteral("无法在“%1”中建立数据目录：%2。请检查该目录的权限和磁盘空间。")
                           .arg(QDir::toNativeSeparators(userDir), e.message()));
    }
    // Not made because another start made it meanwhile: that one is kept.
    if (!made && !QFileInfo(target).isDir())
        fail(QStringLiteral("无法创建数据目录“%1”。").arg(QDir::toNativeSeparators(target)));
}

void prepareProgramDir()
{
    if (!overrideDir().isEmpty() || programDir() != userProgramDir())
        return;
    seedUserDir(userProgramDir(), sharedDir() + QStringLiteral("DataMeta"));
}

QString tableDir(const QString &subdir) { return programDir() + subdir + QLatin1Char('/'); }
QString dataMetaDir() { return tableDir(QStringLiteral("DataMeta")); }
QString resultDir() { return tableDir(QStringLiteral("Result")); }
QString templateTable() { return dataMetaDir() + QStringLiteral("sjsbb.dbf"); }
QString resultTable() { return resultDir() + QStringLiteral("result.dbf"); }
QString skinFile() { return delivered(QStringLiteral("风格/Main.skn")); }
QString formDescriptionDoc() { return delivered(QStringLiteral("评审数据表说明.doc")); }
QString operationManualDoc() { return delivered(QStringLiteral("TessalyV1.0操作手册.doc")); }

} // namespace store::paths
