#include "store/FileIo.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace store::fileio {

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

// ---- test seam --------------------------------------------------------------

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

// Before a call that changes a file: false (errno ENOSPC) when the seam
// makes this one fail.
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

// After it: the seam may end the process here, as a kill would.
void stepDone()
{
    const Seam &s = seam();
    if (s.fault == Fault::ExitAfterWrite && s.count == s.at)
        ::_exit(86);
}

bool syncFd(int fd)
{
    if (!step())
        return false;
    const bool ok = ::fsync(fd) == 0;
    stepDone();
    return ok;
}

bool writeFd(int fd, qint64 pos, const char *data, qint64 len)
{
    if (!step())
        return false;
    while (len > 0) {
        const ssize_t n = pos >= 0 ? ::pwrite(fd, data, size_t(len), off_t(pos)) : ::write(fd, data, size_t(len));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        len -= n;
        if (pos >= 0)
            pos += n;
    }
    stepDone();
    return true;
}

bool unlinkPath(const QString &path)
{
    if (!step())
        return false;
    const bool ok = ::unlink(native(path).constData()) == 0 || errno == ENOENT;
    stepDone();
    return ok;
}

// The directory entry of a renamed or new file reaches the disk too.
void syncDirOf(const QString &path)
{
    const QByteArray dir = native(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// ---- locks ------------------------------------------------------------------
//
// flock belongs to an open file: two opens of one table in this process
// would exclude each other. So the process holds one lock per file (by
// device and inode), shared by all its opens, the strongest they need.

struct LockEntry {
    int fd = -1; // a duplicate of the first holder's descriptor
    int shared = 0;
    int exclusive = 0;
    Lock held = Lock::None;
};

std::mutex &lockMutex()
{
    static std::mutex m;
    return m;
}

std::map<std::pair<dev_t, ino_t>, LockEntry> &lockTable()
{
    static std::map<std::pair<dev_t, ino_t>, LockEntry> t;
    return t;
}

constexpr int kLockWaitMs = 20000;

// Takes the lock `want` on fd without blocking for ever: another process
// holding the table for longer than a statement takes is reported.
bool flockBounded(int fd, int operation)
{
    int waited = 0;
    int pause = 1;
    while (true) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        // A file system without locks: work as before locks existed.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (waited >= kLockWaitMs) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        waited += pause;
        pause = std::min(pause * 2, 20);
    }
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
    if (want == Lock::None) {
        ::flock(e.fd, LOCK_UN);
    } else if (!flockBounded(e.fd, want == Lock::Exclusive ? LOCK_EX : LOCK_SH)) {
        return false;
    }
    e.held = want;
    return true;
}

std::pair<dev_t, ino_t> identity(int fd)
{
    struct stat st {};
    ::fstat(fd, &st);
    return {st.st_dev, st.st_ino};
}

// Changes this holder's part from `from` to `to`. False (errno set) when the
// lock could not be had; the holder keeps `from` then.
bool changeLock(int fd, Lock from, Lock to)
{
    if (from == to)
        return true;
    std::lock_guard<std::mutex> guard(lockMutex());
    auto &table = lockTable();
    const auto key = identity(fd);
    LockEntry &e = table[key];
    if (e.fd < 0)
        e.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    auto count = [&](Lock l, int d) {
        if (l == Lock::Shared)
            e.shared += d;
        else if (l == Lock::Exclusive)
            e.exclusive += d;
    };
    count(from, -1);
    count(to, +1);
    if (!applyLock(e)) {
        const int saved = errno;
        count(to, -1);
        count(from, +1);
        applyLock(e);
        errno = saved;
        if (strongest(e) == Lock::None) {
            ::close(e.fd);
            table.erase(key);
        }
        return false;
    }
    if (strongest(e) == Lock::None) {
        ::close(e.fd);
        table.erase(key);
    }
    return true;
}

// Temporary files are named target + kTempMark + six random characters: a
// name no user gives a file, so that a clean-up never takes a user's own
// copy ("result.dbf.backup", "result.dbf.2024v1") for a leftover.
constexpr char kTempMark[] = "~pdeclare-tmp-";

// Removes the marked temporary files in dir (of the target named `of`, or
// of any target) that no live process holds: a process writing one holds
// its lock until the file has its name.
void removeMarked(const QString &dir, const QString &of)
{
    static const QRegularExpression temp(QStringLiteral("^(.+)%1[A-Za-z0-9]{6}$")
                                             .arg(QRegularExpression::escape(QLatin1String(kTempMark))));
    const QDir d(dir);
    const QStringList names = d.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = temp.match(name);
        if (!m.hasMatch() || (!of.isEmpty() && m.captured(1) != of))
            continue;
        const QByteArray path = native(d.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

Error fault(const QString &path, const QString &what) { return Error(ErrorKind::Io, QStringLiteral("文件 %1：%2").arg(path, what)); }

} // namespace

QString reason(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("磁盘空间不足，请腾出空间后再试");
    case EDQUOT: return QStringLiteral("超出了磁盘配额，请腾出空间后再试");
    case EROFS: return QStringLiteral("所在的磁盘是只读的");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限，请检查文件和文件夹的权限");
    case ENOENT: return QStringLiteral("不存在");
    case ELOOP: return QStringLiteral("路径中的符号链接构成了循环");
    case ENOTDIR: return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR: return QStringLiteral("这是一个文件夹，不是文件");
    case EIO: return QStringLiteral("读写磁盘时出错（也许移动存储设备已拔出或已损坏）");
    case EWOULDBLOCK: return QStringLiteral("正被另一个程序使用，请稍后再试");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("文件正被其他程序使用，请稍后再试");
    case EFBIG: return QStringLiteral("文件太大");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多，请关闭一些程序后再试");
    case 0: return QStringLiteral("原因不明");
    default: return QStringLiteral("系统错误（代码 %1）").arg(error);
    }
}

int pathError(const QString &path)
{
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
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
    const QByteArray name = native(path);
    auto kind = [](const struct stat &st) {
        return S_ISDIR(st.st_mode)                           ? QStringLiteral("文件夹")
            : S_ISFIFO(st.st_mode)                           ? QStringLiteral("管道")
            : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("设备")
                                                             : QStringLiteral("特殊文件");
    };
    auto notRegular = [&](const struct stat &st) {
        return fault(path, QStringLiteral("不是普通文件（%1），不能作为表打开").arg(kind(st)));
    };
    for (int attempt = 0;; ++attempt) {
        // A device is not even opened (opening some has effects of its own).
        struct stat first {};
        if (::stat(name.constData(), &first) != 0)
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(errno)));
        if (!S_ISREG(first.st_mode))
            throw notRegular(first);
        // O_NONBLOCK: should it have become a named pipe meanwhile, opening
        // it must not wait for a writer.
        const int fd = ::open(name.constData(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == ENXIO || error == EWOULDBLOCK)
                throw fault(path, QStringLiteral("不是普通文件，不能作为表打开"));
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(error)));
        }
        File f;
        f.m_fd = fd;
        f.m_write = write;
        f.m_path = path;
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            throw fault(path, QStringLiteral("无法读取：%1").arg(reason(errno)));
        if (!S_ISREG(st.st_mode))
            throw notRegular(st);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (lock == Lock::None)
            return f;
        f.relock(lock);
        // Replaced (packed) while we waited: the lock is on the old file.
        struct stat now {};
        if (::stat(name.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
            return f;
        if (attempt >= 20)
            throw fault(path, QStringLiteral("文件在打开时一再被替换，请稍后再试"));
    }
}

qint64 File::size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(errno)));
    return st.st_size;
}

bool File::isStillNamed() const
{
    struct stat mine {}, named {};
    return ::fstat(m_fd, &mine) == 0 && ::stat(native(m_path).constData(), &named) == 0 && mine.st_dev == named.st_dev
        && mine.st_ino == named.st_ino;
}

void File::readAt(qint64 pos, char *data, qint64 len) const
{
    while (len > 0) {
        const ssize_t n = ::pread(m_fd, data, size_t(len), off_t(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(errno)));
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
    if (!step() || ::ftruncate(m_fd, off_t(size)) != 0)
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(errno)));
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
    ::close(m_fd);
    m_fd = -1;
}

// ---- NewFile ----------------------------------------------------------------

NewFile::NewFile(const QString &target) : m_target(target)
{
    QByteArray pattern = native(target) + kTempMark + "XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        throw fault(target, QStringLiteral("无法创建：%1").arg(reason(errno)));
    m_temp = QFile::decodeName(pattern);
    // Held while the file is being written: a clean-up removes only
    // temporary files that no live process holds.
    ::flock(m_fd, LOCK_EX);
    // What an earlier write of this same target left when it was killed.
    removeMarked(QFileInfo(target).absolutePath(), QFileInfo(target).fileName());
}

NewFile::~NewFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_done && !m_temp.isEmpty())
        ::unlink(native(m_temp).constData());
}

void NewFile::fail(const QString &what, int error)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(native(m_temp).constData());
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
    // An ordinary new file's permissions, not a temporary file's private ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
    if (!syncFd(m_fd))
        fail(QStringLiteral("无法写入磁盘"), errno);
    // The file stays open (and locked) until it has its name: the start-up
    // clean-up of another process never takes it for a leftover.
    const QByteArray temp = native(m_temp);
    const QByteArray target = native(m_target);
    if (!step())
        fail(QStringLiteral("无法写入"), errno);
    if (replace) {
        if (::rename(temp.constData(), target.constData()) != 0)
            fail(QStringLiteral("无法替换"), errno);
    } else {
        if (::link(temp.constData(), target.constData()) != 0) {
            const int error = errno;
            if (error == EEXIST) {
                ::unlink(temp.constData());
                ::close(m_fd);
                m_fd = -1;
                m_done = true;
                return false;
            }
            fail(QStringLiteral("无法创建"), error);
        }
        ::unlink(temp.constData());
    }
    ::close(m_fd); // synced above: nothing is left to fail here
    m_fd = -1;
    m_done = true;
    stepDone();
    syncDirOf(m_target);
    return true;
}

NewFileDevice::NewFileDevice(const QString &target) : m_file(target) { open(QIODevice::WriteOnly); }

qint64 NewFileDevice::writeData(const char *data, qint64 len)
{
    if (m_error)
        return -1;
    try {
        m_file.write(data, len);
        return len;
    } catch (const Error &e) {
        m_error = e; // the writer goes on or stops; commit() tells it
        return -1;
    }
}

void NewFileDevice::commit()
{
    if (m_error)
        throw *m_error;
    close();
    m_file.commit();
}

void replaceFile(const QString &path, const QByteArray &bytes)
{
    NewFile file(path);
    file.write(bytes);
    file.commit();
}

// ---- Journal ----------------------------------------------------------------
//
// Layout: "PDJRNL01", the table's size (8 bytes), then per range its position
// (8), length (4) and bytes, then the number of ranges (4), a checksum of
// everything before it (4) and "PDJEND01". A journal without its end was
// being written when the process ended: the table was not touched yet. The
// journal is written and read a piece at a time: a change of any size needs
// a bounded amount of memory.

namespace {

const char kMagic[] = "PDJRNL01";
const char kEnd[] = "PDJEND01";
constexpr qint64 kMostRange = 16 << 20; // a record, a header, an end byte

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

// Reads a journal from its start: checks it whole (apply false), or puts its
// ranges back into the table and cuts the table to its old size (apply
// true, after a check). False when the journal is not whole.
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
        // Saved ranges lie inside the table as it was.
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
    m_fd = ::open(native(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        throw fault(table.path(), QStringLiteral("无法创建修改记录文件：%1").arg(reason(errno)));
    m_buffer = QByteArray(kMagic, 8);
    put(m_buffer, quint64(m_size), 8);
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::close(m_fd);
    // Not written whole (a failure before the table was touched): no use.
    if (!m_written && !m_finished)
        ::unlink(native(pathOf(m_table.path())).constData());
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
    if (!syncFd(m_fd))
        throw fault(m_table.path(), QStringLiteral("无法写入修改记录文件：%1").arg(reason(errno)));
    syncDirOf(pathOf(m_table.path()));
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
        if (!unlinkPath(pathOf(m_table.path())))
            return false;
        m_finished = true;
        return true;
    } catch (const Error &) {
        return false; // the journal stays: the next open puts the table back
    }
}

bool Journal::recover(File &table)
{
    const QString path = pathOf(table.path());
    if (!QFileInfo::exists(path))
        return false;
    File journal = File::open(path, false, Lock::None);
    if (replay(journal, nullptr))
        replay(journal, &table);
    journal.close();
    if (!unlinkPath(path))
        throw fault(table.path(), QStringLiteral("无法删除修改记录文件：%1").arg(reason(errno)));
    syncDirOf(path);
    return true;
}

// ---- start-up helpers -------------------------------------------------------

void removeLeftovers(const QString &dir) { removeMarked(dir, QString()); }

QString cannotWrite(const QString &dir)
{
    const QByteArray name = native(dir);
    if (::access(name.constData(), W_OK) != 0)
        return reason(errno);
    struct statvfs fs {};
    // Room for a few records and the journal of a save.
    if (::statvfs(name.constData(), &fs) == 0 && quint64(fs.f_bavail) * fs.f_frsize < 64 * 1024)
        return reason(ENOSPC);
    return QString();
}

bool holdInstanceLock(const QString &path)
{
    static int held = -1; // kept open for the life of the process
    const int fd = ::open(native(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return true; // a folder we cannot write is reported by the start-up checks
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return errno != EWOULDBLOCK;
    }
    if (held >= 0)
        ::close(held);
    held = fd;
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
