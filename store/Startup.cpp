#include "store/Startup.h"

#include "store/DbfTable.h"
#include "store/Error.h"
#include "store/FileIo.h"
#include "store/Paths.h"
#include "store/Sql.h"
#include "store/SqlTable.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <exception>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace store::startup {

bool createWorkingTable()
{
    const QString target = paths::resultTable();
    const QString dir = paths::resultDir();
    const QString templ = paths::templateTable();
    auto unwritable = [&](const QString &why, ErrorKind kind = ErrorKind::Io) {
        return Error(kind, QStringLiteral("无法在文件夹 %1 中保存数据：%2。录入的数据将无法保存，请先解决这个问题再录入。")
                         .arg(QDir::toNativeSeparators(dir), why));
    };
    auto requireWritable = [&] {
        try {
            fileio::requireWritable(dir);
        } catch (const Error &e) {
            throw unwritable(e.message(), e.kind());
        }
    };
    if (QFileInfo::exists(target)) {
        requireWritable();
        return false;
    }
    if (!QFileInfo(dir).isDir() || !QFileInfo::exists(templ))
        return false;
    // Only a sound table is copied: a damaged template would give a working
    // table that every later step refuses.
    QByteArray bytes;
    try {
        const DbfTable table = DbfTable::load(templ);
        fileio::File file = fileio::File::open(templ, false, fileio::Lock::None);
        bytes.resize(qsizetype(file.size()));
        file.readAt(0, bytes.data(), bytes.size());
    } catch (const Error &e) {
        throw Error(e, QStringLiteral("数据模板不是有效的表，没有建立工作表 result.dbf。请重新安装程序。\n%1").arg(e.message()));
    }
    requireWritable();
    // The copy is written whole beside the target and then given its name
    // only when the name is free: the working table appears whole or not at
    // all, and an existing one is never replaced.
    try {
        fileio::NewFile copy(target);
        copy.write(bytes);
        return copy.commit(false);
    } catch (const Error &e) {
        throw unwritable(e.message(), e.kind());
    }
}

void purgeFindings() { sql::execute(*sql::parse(QStringLiteral("pack shtable1")), paths::dataMetaDir()); }

QStringList run(const Steps &steps)
{
    QStringList problems;
    auto step = [&](auto &&call) {
        try {
            call();
            return true;
        } catch (const std::exception &e) {
            problems << errorText(e);
            return false;
        }
    };
    fileio::removeLeftovers(paths::dataMetaDir());
    fileio::removeLeftovers(paths::resultDir());
    if (!step([] { paths::prepareProgramDir(); }))
        return problems;
    if (steps.workingTable)
        step([] { createWorkingTable(); });
    if (steps.purgeFindings)
        step([] { purgeFindings(); });
    return problems;
}

int finish(int exitCode)
{
#ifdef Q_OS_WIN
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), UINT(exitCode));
#endif
    return exitCode;
}

} // namespace store::startup
