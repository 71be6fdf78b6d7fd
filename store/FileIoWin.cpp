// The file layer on Windows (see FileIo.h): the same guarantees as the POSIX
// one through the Win32 calls. Paths are wide-character throughout (Chinese
// folder names) and get the \\?\ prefix when long; tables are opened with
// every share mode so that our own processes read, write and replace them
// side by side, and a file another program holds without sharing (a
// spreadsheet or a FoxPro tool with result.dbf open) is a clear message
// before anything is written.
//
// Locks: LockFileEx locks are mandatory on the bytes they cover, so the
// shared and exclusive locks of a table are taken on one byte far beyond any
// table's end: they order our processes as flock does on Linux without ever
// stopping a read or write of the data itself.
#include "store/FileIo.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace store::fileio {

namespace {

// Our own code for "another program holds this file without sharing it".
constexpr int kSharingViolation = 0x5F5F;

// Windows error -> errno-like code understood by reason().
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return kSharingViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED: return EIO;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    default: return 0x10000 + int(error);
    }
}

int lastError() { return errnoOf(GetLastError()); }

// A path as Windows takes it: absolute, backslashes, and \\?\ (\\?\UNC\ for
// a share) once it nears MAX_PATH, which lifts the 260-character limit.
std::wstring wide(const QString &path)
{
    QString p = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (p.size() >= MAX_PATH - 14 && !p.startsWith(QLatin1String("\\\\?\\"))) {
        if (p.startsWith(QLatin1String("\\\\")))
            p = QLatin1String("\\\\?\\UNC\\") + p.mid(2);
        else
            p = QLatin1String("\\\\?\\") + p;
    }
    return p.toStdWString();
}

HANDLE handleOf(int fd) { return fd >= 0 ? HANDLE(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE; }

// The handle becomes a C runtime descriptor (what the classes keep); closing
// the descriptor closes the handle.
int descriptorOf(HANDLE h, bool write)
{
    const int fd = _open_osfhandle(intptr_t(h), (write ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0)
        CloseHandle(h);
    return fd;
}

// ---- test seam (the same as on Linux) --------------------------------------

struct Seam {
    Fault fault = Fault::None;
    int at = 0;
    int count = 0;
    bool fromEnvironment = false;
};

Seam &seam()
{
    static Seam s;
    if (!s.fromEnvironment) {
        s.fromEnvironment = true;
        if (const char *fail = std::getenv("PDECLARE_FAIL_WRITE")) {
            s.fault = Fault::FailWrite;
            s.at = std::atoi(fail);
        } else if (const char *stop = std::getenv("PDECLARE_EXIT_AFTER_WRITE")) {
            s.fault = Fault::ExitAfterWrite;
            s.at = std::atoi(stop);
        }
    }
    return s;
}

bool step()
{
    Seam &s = seam();
    ++s.count;
    if (s.fault == Fault::FailWrite && s.count == s.at) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

void stepDone()
{
    const Seam &s = seam();
    if (s.fault == Fault::ExitAfterWrite && s.count == s.at)
        TerminateProcess(GetCurrentProcess(), 86);
}

bool syncFd(int fd)
{
    if (!step())
        return false;
    const bool ok = FlushFileBuffers(handleOf(fd)) != 0;
    if (!ok)
        errno = lastError();
    stepDone();
    return ok;
}

// Writes at pos (or at the end for pos < 0), all of it.
bool writeFd(int fd, qint64 pos, const char *data, qint64 len)
{
    if (!step())
        return false;
    const HANDLE h = handleOf(fd);
    if (pos < 0) {
        LARGE_INTEGER end{};
        if (!GetFileSizeEx(h, &end)) {
            errno = lastError();
            return false;
        }
        pos = end.QuadPart;
    }
    while (len > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(quint64(pos) & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(quint64(pos) >> 32);
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qint64>(len, 1 << 30));
        if (!WriteFile(h, data, chunk, &n, &at)) {
            errno = lastError();
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        len -= n;
        pos += n;
    }
    stepDone();
    return true;
}

bool unlinkPath(const QString &path)
{
    if (!step())
        return false;
    const bool ok = DeleteFileW(wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!ok)
        errno = lastError();
    stepDone();
    return ok;
}

// ---- locks ------------------------------------------------------------------
//
// One lock per file and process (by volume and file index), on a duplicate
// handle, the strongest its opens need: as on Linux, two opens of one table
// in this process never exclude each other.

constexpr DWORD kLockOffsetHigh = 0x40000000; // byte 2^62: beyond any table
constexpr int kLockWaitMs = 20000;

bool lockByte(HANDLE h, bool exclusive, bool wait)
{
    int waited = 0;
    int pause = 1;
    while (true) {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        if (LockFileEx(h, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return true;
        const DWORD error = GetLastError();
        // A file system without locks (some network shares): work as before locks.
        if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION)
            return true;
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            errno = errnoOf(error);
            return false;
        }
        if (!wait || waited >= kLockWaitMs) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        waited += pause;
        pause = std::min(pause * 2, 20);
    }
}

void unlockByte(HANDLE h)
{
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(h, 0, 1, 0, &at);
}

struct LockEntry {
    HANDLE h = INVALID_HANDLE_VALUE;
    int shared = 0;
    int exclusive = 0;
    Lock held = Lock::None;
};

std::mutex &lockMutex()
{
    static std::mutex m;
    return m;
}

using Identity = std::pair<quint32, quint64>;
std::map<Identity, LockEntry> &lockTable()
{
    static std::map<Identity, LockEntry> t;
    return t;
}

Identity identityOf(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return {0, 0};
    return {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

Lock strongest(const LockEntry &e)
{
    return e.exclusive > 0 ? Lock::Exclusive : e.shared > 0 ? Lock::Shared : Lock::None;
}

bool applyLock(LockEntry &e)
{
    const Lock want = strongest(e);
    if (want == e.held)
        return true;
    // A held lock is let go before another is taken (Windows cannot change
    // one in place); a failure takes the old one back.
    if (e.held != Lock::None)
        unlockByte(e.h);
    if (want != Lock::None && !lockByte(e.h, want == Lock::Exclusive, true)) {
        const int saved = errno;
        if (e.held != Lock::None && !lockByte(e.h, e.held == Lock::Exclusive, true))
            e.held = Lock::None;
        errno = saved;
        return false;
    }
    e.held = want;
    return true;
}

bool changeLock(int fd, Lock from, Lock to)
{
    if (from == to)
        return true;
    std::lock_guard<std::mutex> guard(lockMutex());
    auto &table = lockTable();
    const Identity key = identityOf(handleOf(fd));
    LockEntry &e = table[key];
    if (e.h == INVALID_HANDLE_VALUE
        && !DuplicateHandle(GetCurrentProcess(), handleOf(fd), GetCurrentProcess(), &e.h, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
        errno = lastError();
        table.erase(key);
        return false;
    }
    auto count = [&](Lock l, int d) {
        if (l == Lock::Shared)
            e.shared += d;
        else if (l == Lock::Exclusive)
            e.exclusive += d;
    };
    count(from, -1);
    count(to, +1);
    bool ok = applyLock(e);
    if (!ok) {
        const int saved = errno;
        count(to, -1);
        count(from, +1);
        applyLock(e);
        errno = saved;
    }
    if (strongest(e) == Lock::None) {
        if (e.held != Lock::None)
            unlockByte(e.h);
        CloseHandle(e.h);
        table.erase(key);
    }
    return ok;
}

Error fault(const QString &path, const QString &what)
{
    return Error(ErrorKind::Io, QStringLiteral("文件 %1：%2").arg(QDir::toNativeSeparators(path), what));
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// FileRenameInfoEx (Windows 10 1709 and later), named in the headers only
// when building for those.
constexpr auto kFileRenameInfoEx = FILE_INFO_BY_HANDLE_CLASS(22);

} // namespace

QString reason(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("磁盘空间不足，请腾出空间后再试");
    case EROFS: return QStringLiteral("所在的磁盘是只读的");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限，请检查文件和文件夹的权限（或文件是否设为只读）");
    case ENOENT: return QStringLiteral("不存在");
    case ELOOP: return QStringLiteral("路径中的链接构成了循环");
    case ENOTDIR: return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR: return QStringLiteral("这是一个文件夹，不是文件");
    case EIO: return QStringLiteral("读写磁盘时出错（也许移动存储设备已拔出或已损坏）");
    case EWOULDBLOCK: return QStringLiteral("正被另一个程序使用，请稍后再试");
    case kSharingViolation:
        return QStringLiteral("另一个程序（例如电子表格或 FoxPro）正打开着此文件，请先在那个程序中关闭它再试");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("文件正被其他程序使用，请稍后再试");
    case EFBIG: return QStringLiteral("文件太大");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EEXIST: return QStringLiteral("已存在");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多，请关闭一些程序后再试");
    case 0: return QStringLiteral("原因不明");
    default:
        if (error > 0x10000)
            return QStringLiteral("系统错误（Windows 代码 %1）").arg(error - 0x10000);
        return QStringLiteral("系统错误（代码 %1）").arg(error);
    }
}

int pathError(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
}

// ---- File -------------------------------------------------------------------

File::File(File &&o) noexcept : m_fd(o.m_fd), m_write(o.m_write), m_lock(o.m_lock), m_path(std::move(o.m_path))
{
    o.m_fd = -1;
    o.m_lock = Lock::None;
}

File &File::operator=(File &&o) noexcept
{
    if (this != &o) {
        close();
        m_fd = o.m_fd;
        m_write = o.m_write;
        m_lock = o.m_lock;
        m_path = std::move(o.m_path);
        o.m_fd = -1;
        o.m_lock = Lock::None;
    }
    return *this;
}

File::~File() { close(); }

File File::open(const QString &path, bool write, Lock lock)
{
    const std::wstring name = wide(path);
    for (int attempt = 0;; ++attempt) {
        // A device or folder is not even opened.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(lastError())));
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            throw fault(path, QStringLiteral("不是普通文件（文件夹），不能作为表打开"));
        if (attributes & FILE_ATTRIBUTE_DEVICE)
            throw fault(path, QStringLiteral("不是普通文件（设备），不能作为表打开"));
        const HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0), kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(lastError())));
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            throw fault(path, QStringLiteral("不是普通文件，不能作为表打开"));
        }
        File f;
        f.m_fd = descriptorOf(h, write);
        if (f.m_fd < 0)
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(EMFILE)));
        f.m_write = write;
        f.m_path = path;
        if (lock == Lock::None)
            return f;
        f.relock(lock);
        // Replaced (packed) while we waited: the lock is on the old file.
        if (f.isStillNamed())
            return f;
        if (attempt >= 20)
            throw fault(path, QStringLiteral("文件在打开时一再被替换，请稍后再试"));
    }
}

qint64 File::size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(m_fd), &size))
        throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(lastError())));
    return size.QuadPart;
}

bool File::isStillNamed() const
{
    const HANDLE named = CreateFileW(wide(m_path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    const bool same = identityOf(named) == identityOf(handleOf(m_fd));
    CloseHandle(named);
    return same;
}

void File::readAt(qint64 pos, char *data, qint64 len) const
{
    const HANDLE h = handleOf(m_fd);
    while (len > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(quint64(pos) & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(quint64(pos) >> 32);
        DWORD n = 0;
        if (!ReadFile(h, data, DWORD(std::min<qint64>(len, 1 << 30)), &n, &at)) {
            const DWORD error = GetLastError();
            if (error != ERROR_HANDLE_EOF)
                throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(errnoOf(error))));
            n = 0;
        }
        if (n == 0)
            throw fault(m_path, QStringLiteral("读取时文件比预期的短（可能正被其他程序改写）"));
        data += n;
        len -= n;
        pos += n;
    }
}

void File::writeAt(qint64 pos, const char *data, qint64 len)
{
    if (!writeFd(m_fd, pos, data, len))
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(errno)));
}

void File::truncate(qint64 size)
{
    if (!step())
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(errno)));
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(handleOf(m_fd), FileEndOfFileInfo, &end, sizeof end))
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(lastError())));
    stepDone();
}

void File::sync()
{
    if (!syncFd(m_fd))
        throw fault(m_path, QStringLiteral("无法写入磁盘：%1").arg(reason(errno)));
}

void File::relock(Lock lock)
{
    if (!changeLock(m_fd, m_lock, lock)) {
        const int error = errno;
        throw fault(m_path, error == EWOULDBLOCK ? QStringLiteral("正被另一个程序使用（已等待 %1 秒），请稍后再试")
                                                      .arg(kLockWaitMs / 1000)
                                                : QStringLiteral("无法加锁：%1").arg(reason(error)));
    }
    m_lock = lock;
}

void File::close()
{
    if (m_fd < 0)
        return;
    if (m_lock != Lock::None)
        changeLock(m_fd, m_lock, Lock::None);
    m_lock = Lock::None;
    _close(m_fd);
    m_fd = -1;
}

// ---- NewFile ----------------------------------------------------------------

NewFile::NewFile(const QString &target) : m_target(target)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        const QString temp = target + QLatin1Char('.') + suffix;
        // DELETE access and delete sharing: the file is renamed while open.
        const HANDLE h = CreateFileW(wide(temp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            throw fault(target, QStringLiteral("无法创建：%1").arg(reason(lastError())));
        }
        m_fd = descriptorOf(h, true);
        if (m_fd < 0)
            throw fault(target, QStringLiteral("无法创建：%1").arg(reason(EMFILE)));
        m_temp = temp;
        // Held while the file is being written: the start-up clean-up removes
        // only temporary files that no live process holds.
        lockByte(h, true, false);
        return;
    }
    throw fault(target, QStringLiteral("无法创建临时文件"));
}

NewFile::~NewFile()
{
    if (m_fd >= 0)
        _close(m_fd);
    if (!m_done && !m_temp.isEmpty())
        DeleteFileW(wide(m_temp).c_str());
}

void NewFile::fail(const QString &what, int error)
{
    if (m_fd >= 0)
        _close(m_fd);
    m_fd = -1;
    DeleteFileW(wide(m_temp).c_str());
    m_done = true;
    throw fault(m_target, QStringLiteral("%1：%2").arg(what, reason(error)));
}

void NewFile::write(const char *data, qint64 len)
{
    if (m_fd < 0)
        throw fault(m_target, QStringLiteral("无法写入：文件已关闭"));
    if (!writeFd(m_fd, -1, data, len))
        fail(QStringLiteral("无法写入"), errno);
}

bool NewFile::commit(bool replace)
{
    if (!syncFd(m_fd))
        fail(QStringLiteral("无法写入磁盘"), errno);
    if (!step())
        fail(QStringLiteral("无法写入"), errno);
    const std::wstring temp = wide(m_temp);
    const std::wstring target = wide(m_target);
    // The new file takes the name in one step: replacing the old one (it
    // stays whole until then), or only when the name is free. The directory
    // entry is written through before the call returns.
    // Windows 10 and later rename by the open handle with POSIX semantics,
    // which puts the file over a table that our own processes still hold
    // open (with delete sharing); older systems, other file systems and Wine
    // take MoveFileExW, which needs the old file closed everywhere.
    bool renamed = false;
    if (replace) {
        const std::wstring full = wide(m_target);
        std::vector<char> info(sizeof(FILE_RENAME_INFO) + full.size() * sizeof(wchar_t), 0);
        const DWORD renameFlags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        std::memcpy(info.data(), &renameFlags, sizeof renameFlags); // Flags shares its place with ReplaceIfExists
        auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(info.data());
        rename->FileNameLength = DWORD(full.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, full.c_str(), full.size() * sizeof(wchar_t));
        renamed = SetFileInformationByHandle(handleOf(m_fd), kFileRenameInfoEx, info.data(), DWORD(info.size()))
            && FlushFileBuffers(handleOf(m_fd));
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!renamed && !MoveFileExW(temp.c_str(), target.c_str(), flags)) {
        const DWORD error = GetLastError();
        if (!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
            _close(m_fd);
            m_fd = -1;
            DeleteFileW(temp.c_str());
            m_done = true;
            return false;
        }
        // ERROR_ACCESS_DENIED here is the old file held open by another
        // program without delete sharing: Windows cannot put a file over it.
        fail(replace ? QStringLiteral("无法替换") : QStringLiteral("无法创建"),
             error == ERROR_ACCESS_DENIED && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES
                 ? kSharingViolation
                 : errnoOf(error));
    }
    _close(m_fd);
    m_fd = -1;
    m_done = true;
    stepDone();
    return true;
}

void replaceFile(const QString &path, const QByteArray &bytes)
{
    NewFile file(path);
    file.write(bytes);
    file.commit();
}

// ---- Journal ----------------------------------------------------------------
//
// The same layout as on Linux (FileIo.cpp): "PDJRNL01", the table's size,
// the ranges, their count, a checksum and "PDJEND01"; a journal left by one
// platform is recovered by the other.

namespace {

const char kMagic[] = "PDJRNL01";
const char kEnd[] = "PDJEND01";
constexpr qint64 kMostRange = 16 << 20;

void put(QByteArray &out, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

quint64 get(const char *p, int bytes)
{
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= quint64(uchar(p[i])) << (8 * i);
    return v;
}

quint32 checksum(quint32 h, const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        h = (h ^ uchar(p[i])) * 16777619u;
    return h;
}
constexpr quint32 kChecksumStart = 2166136261u;

bool replay(File &journal, File *table)
{
    const qint64 size = journal.size();
    if (size < 16 + 16)
        return false;
    char head[16];
    journal.readAt(0, head, 16);
    if (std::memcmp(head, kMagic, 8) != 0)
        return false;
    char tail[16];
    journal.readAt(size - 16, tail, 16);
    if (std::memcmp(tail + 8, kEnd, 8) != 0)
        return false;
    quint32 sum = checksum(kChecksumStart, head, 16);
    const qint64 original = qint64(get(head + 8, 8));
    quint32 ranges = 0;
    const qint64 end = size - 16;
    QByteArray bytes;
    for (qint64 at = 16; at < end;) {
        if (end - at < 12)
            return false;
        char entry[12];
        journal.readAt(at, entry, 12);
        const qint64 pos = qint64(get(entry, 8));
        const qint64 len = qint64(get(entry + 8, 4));
        if (len > end - at - 12 || len > kMostRange || pos < 0 || original < 0 || pos > original - len)
            return false;
        bytes.resize(qsizetype(len));
        journal.readAt(at + 12, bytes.data(), len);
        sum = checksum(checksum(sum, entry, 12), bytes.constData(), len);
        if (table)
            table->writeAt(pos, bytes.constData(), len);
        at += 12 + len;
        ++ranges;
    }
    sum = checksum(sum, tail, 4);
    if (!table)
        return ranges == get(tail, 4) && sum == get(tail + 4, 4);
    table->truncate(original);
    table->sync();
    return true;
}

} // namespace

Journal::Journal(File &table) : m_table(table), m_size(table.size())
{
    const QString path = pathOf(table.path());
    const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw fault(table.path(), QStringLiteral("无法创建修改记录文件：%1").arg(reason(lastError())));
    m_fd = descriptorOf(h, true);
    if (m_fd < 0)
        throw fault(table.path(), QStringLiteral("无法创建修改记录文件：%1").arg(reason(EMFILE)));
    m_buffer = QByteArray(kMagic, 8);
    put(m_buffer, quint64(m_size), 8);
}

Journal::~Journal()
{
    if (m_fd >= 0)
        _close(m_fd);
    if (!m_written && !m_finished)
        DeleteFileW(wide(pathOf(m_table.path())).c_str());
}

void Journal::flush()
{
    m_sum = checksum(m_sum, m_buffer.constData(), m_buffer.size());
    if (!writeFd(m_fd, m_at, m_buffer.constData(), m_buffer.size()))
        throw fault(m_table.path(), QStringLiteral("无法写入修改记录文件：%1").arg(reason(errno)));
    m_at += m_buffer.size();
    m_buffer.clear();
}

void Journal::save(qint64 pos, qint64 len)
{
    const qint64 inside = std::min(pos + len, m_size) - pos;
    if (inside <= 0)
        return;
    put(m_buffer, quint64(pos), 8);
    put(m_buffer, quint64(inside), 4);
    const qsizetype at = m_buffer.size();
    m_buffer.resize(at + inside);
    m_table.readAt(pos, m_buffer.data() + at, inside);
    ++m_ranges;
    if (m_buffer.size() >= (1 << 20))
        flush();
}

void Journal::write()
{
    put(m_buffer, m_ranges, 4);
    const quint32 sum = checksum(m_sum, m_buffer.constData(), m_buffer.size());
    put(m_buffer, sum, 4);
    m_buffer.append(kEnd, 8);
    flush();
    // On disk (FlushFileBuffers) before the table is touched.
    if (!syncFd(m_fd))
        throw fault(m_table.path(), QStringLiteral("无法写入修改记录文件：%1").arg(reason(errno)));
    m_written = true;
}

void Journal::finish()
{
    m_table.sync();
    if (!unlinkPath(pathOf(m_table.path())))
        throw fault(m_table.path(), QStringLiteral("无法删除修改记录文件：%1").arg(reason(errno)));
    m_finished = true;
}

bool Journal::rollBack()
{
    if (!m_written || m_finished)
        return true;
    try {
        File journal;
        journal = File::open(pathOf(m_table.path()), false, Lock::None);
        replay(journal, &m_table);
        journal.close();
        if (!unlinkPath(pathOf(m_table.path())))
            return false;
        m_finished = true;
        return true;
    } catch (const Error &) {
        return false;
    }
}

bool Journal::recover(File &table)
{
    const QString path = pathOf(table.path());
    if (GetFileAttributesW(wide(path).c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    File journal = File::open(path, false, Lock::None);
    if (replay(journal, nullptr))
        replay(journal, &table);
    journal.close();
    if (!unlinkPath(path))
        throw fault(table.path(), QStringLiteral("无法删除修改记录文件：%1").arg(reason(errno)));
    return true;
}

// ---- start-up helpers -------------------------------------------------------

void removeLeftovers(const QString &dir)
{
    static const QRegularExpression temp(QStringLiteral("\\.dbf\\.[A-Za-z0-9]{6}$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QDir d(dir);
    const QStringList names = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!temp.match(name).hasMatch())
            continue;
        const std::wstring path = wide(d.filePath(name));
        // Opened for deletion on close: removed only when no live writer
        // holds its lock.
        const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        if (GetFileType(h) == FILE_TYPE_DISK && lockByte(h, true, false)) {
            FILE_DISPOSITION_INFO gone{};
            gone.DeleteFile = TRUE;
            SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
            unlockByte(h);
        }
        CloseHandle(h);
    }
}

QString cannotWrite(const QString &dir)
{
    // Folder permissions on Windows are seen by trying: a file made and
    // removed at once.
    const std::wstring probe = wide(QDir(dir).filePath(QStringLiteral("pdeclare-probe.tmp")));
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return reason(lastError());
    CloseHandle(h);
    ULARGE_INTEGER free{};
    if (GetDiskFreeSpaceExW(wide(dir).c_str(), &free, nullptr, nullptr) && free.QuadPart < 64 * 1024)
        return reason(ENOSPC);
    return QString();
}

bool holdInstanceLock(const QString &path)
{
    static HANDLE held = INVALID_HANDLE_VALUE; // kept open for the life of the process
    const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // a folder we cannot write is reported by the start-up checks
    if (!lockByte(h, true, false)) {
        const bool other = errno == EWOULDBLOCK;
        CloseHandle(h);
        return !other;
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    held = h;
    return true;
}

void setFault(Fault f, int n)
{
    Seam &s = seam();
    s.fault = f;
    s.at = n;
    s.count = 0;
}

int writeCount() { return seam().count; }

} // namespace store::fileio
