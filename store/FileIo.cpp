#include "store/FileIo.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace store::fileio {

namespace {

Env *&installed()
{
    static Env *e = nullptr;
    return e;
}

Error fault(const QString &path, const QString &what) { return Error(ErrorKind::Io, QStringLiteral("文件 %1：%2").arg(path, what)); }

QString dirOf(const QString &path) { return QFileInfo(path).absolutePath(); }

// The directory entry of a renamed or new file reaches the disk too. A
// folder that cannot be synced costs nothing but that: the file is whole.
void syncDirOf(const QString &path) { env().syncDir(dirOf(path)); }

// ---- locks ------------------------------------------------------------------
//
// A lock belongs to an open file: two opens of one table in this process
// would exclude each other. So the process holds one lock per file (by its
// id), on the open file of the first holder, kept open while any holder
// needs it, the strongest they need.

struct LockEntry {
    std::shared_ptr<EnvFile> file; // the first holder's
    int shared = 0;
    int exclusive = 0;
    Lock held = Lock::None;
};

std::mutex &lockMutex()
{
    static std::mutex m;
    return m;
}

std::map<FileId, LockEntry> &lockTable()
{
    static std::map<FileId, LockEntry> t;
    return t;
}

constexpr int kLockWaitMs = 20000;

// Takes the lock without waiting for ever: another process holding the
// table for longer than a statement takes is reported.
Status lockBounded(EnvFile &file, Lock want)
{
    int waited = 0;
    int pause = 1;
    while (true) {
        const Status s = file.lock(want);
        // A file system without locks: work as before locks existed.
        if (s.ok() || s.code == Errc::NoLocks)
            return {};
        if (s.code != Errc::Locked)
            return s;
        if (waited >= kLockWaitMs)
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        waited += pause;
        pause = std::min(pause * 2, 20);
    }
}

Lock strongest(const LockEntry &e)
{
    return e.exclusive > 0 ? Lock::Exclusive : e.shared > 0 ? Lock::Shared : Lock::None;
}

Status applyLock(LockEntry &e)
{
    const Lock want = strongest(e);
    if (want == e.held)
        return {};
    if (want == Lock::None) {
        e.file->lock(Lock::None);
    } else if (const Status s = lockBounded(*e.file, want); !s.ok()) {
        return s;
    }
    e.held = want;
    return {};
}

// Changes this holder's part from `from` to `to`. On failure the holder
// keeps `from`.
Status changeLock(const std::shared_ptr<EnvFile> &file, const FileId &id, Lock from, Lock to)
{
    if (from == to)
        return {};
    std::lock_guard<std::mutex> guard(lockMutex());
    auto &table = lockTable();
    LockEntry &e = table[id];
    if (!e.file)
        e.file = file;
    auto count = [&](Lock l, int d) {
        if (l == Lock::Shared)
            e.shared += d;
        else if (l == Lock::Exclusive)
            e.exclusive += d;
    };
    count(from, -1);
    count(to, +1);
    const Status s = applyLock(e);
    if (!s.ok()) {
        count(to, -1);
        count(from, +1);
        applyLock(e);
    }
    if (strongest(e) == Lock::None)
        table.erase(id);
    return s;
}

// ---- temporary files ----------------------------------------------------------

// Temporary files are named target + kTempMark + six random characters: a
// name no user gives a file, so that a clean-up never takes a user's own
// copy ("result.dbf.backup", "result.dbf.2024v1") for a leftover.
constexpr char kTempMark[] = "~pdeclare-tmp-";

QString randomSuffix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString s;
    for (int i = 0; i < 6; ++i)
        s += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return s;
}

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
        const QString path = d.filePath(name);
        FileStat st;
        if (!env().stat(path, Follow::NoLinks, &st).ok() || st.kind != Kind::Regular)
            continue;
        std::unique_ptr<EnvFile> file;
        if (!env().open(path, Open::Read, &file).ok())
            continue;
        if (file->lock(Lock::Exclusive).ok())
            env().remove(path);
    }
}

} // namespace

// ---- the environment ----------------------------------------------------------

Env &env()
{
    Env *e = installed();
    return e ? *e : platformEnv();
}

void setEnv(Env *e) { installed() = e; }

// ---- reasons ------------------------------------------------------------------

Status statusOfErrno(int error)
{
    switch (error) {
    case 0: return {};
    case ENOENT: return {Errc::NotFound, error};
    case EEXIST: return {Errc::Exists, error};
    case EACCES:
    case EPERM: return {Errc::Denied, error};
    case EROFS: return {Errc::ReadOnly, error};
    case ENOSPC: return {Errc::NoSpace, error};
#ifdef EDQUOT
    case EDQUOT: return {Errc::Quota, error};
#endif
    case EISDIR: return {Errc::IsDirectory, error};
    case ENOTDIR: return {Errc::NotDirectory, error};
#ifdef ELOOP
    case ELOOP: return {Errc::Loop, error};
#endif
    case ENAMETOOLONG: return {Errc::NameTooLong, error};
    case EMFILE:
    case ENFILE: return {Errc::TooManyOpen, error};
    case EBUSY: return {Errc::Busy, error};
#ifdef ETXTBSY
    case ETXTBSY: return {Errc::Busy, error};
#endif
    case EWOULDBLOCK: return {Errc::Locked, error};
    case ENOLCK: return {Errc::NoLocks, error};
    case EFBIG: return {Errc::TooBig, error};
    case EIO: return {Errc::Io, error};
    case ENXIO: return {Errc::NotRegular, error};
    default: return {Errc::Other, error};
    }
}

QString reason(const Status &status)
{
    switch (status.code) {
    case Errc::Ok: return QStringLiteral("原因不明");
    case Errc::NoSpace: return QStringLiteral("磁盘空间不足，请腾出空间后再试");
    case Errc::Quota: return QStringLiteral("超出了磁盘配额，请腾出空间后再试");
    case Errc::ReadOnly: return QStringLiteral("所在的磁盘是只读的");
    case Errc::Denied: return QStringLiteral("没有权限，请检查文件和文件夹的权限");
    case Errc::NotFound: return QStringLiteral("不存在");
    case Errc::Exists: return QStringLiteral("同名的文件已存在");
    case Errc::Loop: return QStringLiteral("路径中的符号链接构成了循环");
    case Errc::NotDirectory: return QStringLiteral("路径中有一部分不是文件夹");
    case Errc::IsDirectory: return QStringLiteral("这是一个文件夹，不是文件");
    case Errc::Io: return QStringLiteral("读写磁盘时出错（也许移动存储设备已拔出或已损坏）");
    case Errc::Locked: return QStringLiteral("正被另一个程序使用，请稍后再试");
    case Errc::Busy: return QStringLiteral("文件正被其他程序使用，请稍后再试");
    case Errc::NoLocks: return QStringLiteral("所在的磁盘不支持文件锁");
    case Errc::TooBig: return QStringLiteral("文件太大");
    case Errc::NameTooLong: return QStringLiteral("路径太长");
    case Errc::TooManyOpen: return QStringLiteral("打开的文件太多，请关闭一些程序后再试");
    case Errc::NotRegular: return QStringLiteral("不是普通文件");
    case Errc::Other: break;
    }
    return QStringLiteral("系统错误（代码 %1）").arg(status.system);
}

QString reason(int error) { return reason(statusOfErrno(error)); }

Status pathError(const QString &path)
{
    FileStat st;
    const Status s = env().stat(path, Follow::Links, &st);
    if (!s.ok())
        return s;
    return st.kind == Kind::Directory ? Status{} : Status{Errc::NotDirectory, 0};
}

// ---- File -------------------------------------------------------------------

File::File(File &&o) noexcept
    : m_file(std::move(o.m_file)), m_id(o.m_id), m_write(o.m_write), m_lock(o.m_lock), m_path(std::move(o.m_path))
{
    o.m_lock = Lock::None;
}

File &File::operator=(File &&o) noexcept
{
    if (this != &o) {
        close();
        m_file = std::move(o.m_file);
        m_id = o.m_id;
        m_write = o.m_write;
        m_lock = o.m_lock;
        m_path = std::move(o.m_path);
        o.m_lock = Lock::None;
    }
    return *this;
}

File::~File() { close(); }

File File::open(const QString &path, bool write, Lock lock)
{
    auto kind = [](Kind k) {
        switch (k) {
        case Kind::Directory: return QStringLiteral("文件夹");
        case Kind::Pipe: return QStringLiteral("管道");
        case Kind::Device: return QStringLiteral("设备");
        default: return QStringLiteral("特殊文件");
        }
    };
    auto notRegular = [&](Kind k) {
        return fault(path, QStringLiteral("不是普通文件（%1），不能作为表打开").arg(kind(k)));
    };
    for (int attempt = 0;; ++attempt) {
        // A device is not even opened (opening some has effects of its own).
        FileStat first;
        if (const Status s = env().stat(path, Follow::Links, &first); !s.ok())
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(s)));
        if (first.kind != Kind::Regular)
            throw notRegular(first.kind);
        std::unique_ptr<EnvFile> opened;
        if (const Status s = env().open(path, write ? Open::ReadWrite : Open::Read, &opened); !s.ok()) {
            if (s.code == Errc::NotRegular || s.code == Errc::Locked)
                throw fault(path, QStringLiteral("不是普通文件，不能作为表打开"));
            throw fault(path, QStringLiteral("无法打开：%1").arg(reason(s)));
        }
        FileStat st;
        if (const Status s = opened->stat(&st); !s.ok())
            throw fault(path, QStringLiteral("无法读取：%1").arg(reason(s)));
        // Should it have become something else meanwhile (a named pipe,
        // which the open did not wait for).
        if (st.kind != Kind::Regular)
            throw notRegular(st.kind);
        File f;
        f.m_file = std::move(opened);
        f.m_id = st.id;
        f.m_write = write;
        f.m_path = path;
        if (lock == Lock::None)
            return f;
        f.relock(lock);
        // Replaced (packed) while we waited: the lock is on the old file.
        FileStat now;
        if (env().stat(path, Follow::Links, &now).ok() && now.id == st.id)
            return f;
        if (attempt >= 20)
            throw fault(path, QStringLiteral("文件在打开时一再被替换，请稍后再试"));
    }
}

qint64 File::size() const
{
    FileStat st;
    if (const Status s = m_file->stat(&st); !s.ok())
        throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(s)));
    return st.size;
}

bool File::isStillNamed() const
{
    FileStat named;
    return env().stat(m_path, Follow::Links, &named).ok() && named.id == m_id;
}

void File::readAt(qint64 pos, char *data, qint64 len) const
{
    qint64 got = 0;
    if (const Status s = m_file->read(pos, data, len, &got); !s.ok())
        throw fault(m_path, QStringLiteral("无法读取：%1").arg(reason(s)));
    if (got < len)
        throw fault(m_path, QStringLiteral("读取时文件比预期的短（可能正被其他程序改写）"));
}

void File::writeAt(qint64 pos, const char *data, qint64 len)
{
    if (const Status s = m_file->write(pos, data, len); !s.ok())
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(s)));
}

void File::truncate(qint64 size)
{
    if (const Status s = m_file->truncate(size); !s.ok())
        throw fault(m_path, QStringLiteral("无法写入：%1").arg(reason(s)));
}

void File::sync()
{
    if (const Status s = m_file->sync(); !s.ok())
        throw fault(m_path, QStringLiteral("无法写入磁盘：%1").arg(reason(s)));
}

void File::relock(Lock lock)
{
    if (const Status s = changeLock(m_file, m_id, m_lock, lock); !s.ok()) {
        throw fault(m_path, s.code == Errc::Locked ? QStringLiteral("正被另一个程序使用（已等待 %1 秒），请稍后再试")
                                                         .arg(kLockWaitMs / 1000)
                                                   : QStringLiteral("无法加锁：%1").arg(reason(s)));
    }
    m_lock = lock;
}

void File::close()
{
    if (!m_file)
        return;
    if (m_lock != Lock::None)
        changeLock(m_file, m_id, m_lock, Lock::None);
    m_lock = Lock::None;
    m_file.reset();
}

// ---- NewFile ----------------------------------------------------------------

NewFile::NewFile(const QString &target) : m_target(target)
{
    Status s;
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = target + QLatin1String(kTempMark) + randomSuffix();
        s = env().open(m_temp, Open::CreateNew, &m_file);
        if (s.code != Errc::Exists)
            break;
    }
    if (!s.ok()) {
        m_temp.clear();
        throw fault(target, QStringLiteral("无法创建：%1").arg(reason(s)));
    }
    // Held while the file is being written: a clean-up removes only
    // temporary files that no live process holds.
    m_file->lock(Lock::Exclusive);
    // What an earlier write of this same target left when it was killed.
    removeMarked(dirOf(target), QFileInfo(target).fileName());
}

NewFile::~NewFile()
{
    m_file.reset();
    if (!m_done && !m_temp.isEmpty())
        env().remove(m_temp);
}

void NewFile::fail(const QString &what, const Status &status)
{
    m_file.reset();
    env().remove(m_temp);
    m_done = true;
    throw fault(m_target, QStringLiteral("%1：%2").arg(what, reason(status)));
}

void NewFile::write(const char *data, qint64 len)
{
    if (!m_file)
        throw fault(m_target, QStringLiteral("无法写入：文件已关闭"));
    if (const Status s = m_file->write(m_at, data, len); !s.ok())
        fail(QStringLiteral("无法写入"), s);
    m_at += len;
}

bool NewFile::commit(bool replace)
{
    if (!m_file)
        throw fault(m_target, QStringLiteral("无法写入：文件已关闭"));
    if (const Status s = m_file->sync(); !s.ok())
        fail(QStringLiteral("无法写入磁盘"), s);
    // The file stays open (and locked) until it has its name: the clean-up
    // of another process never takes it for a leftover.
    const Status s = env().rename(m_temp, m_target, replace ? Replace::Yes : Replace::No);
    if (!s.ok()) {
        if (!replace && s.code == Errc::Exists) {
            m_file.reset();
            env().remove(m_temp);
            m_done = true;
            return false;
        }
        fail(replace ? QStringLiteral("无法替换") : QStringLiteral("无法创建"), s);
    }
    m_file.reset(); // synced above: nothing is left to fail here
    m_done = true;
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
    if (const Status s = env().open(path, Open::CreateNew, &m_file); !s.ok())
        throw fault(table.path(), QStringLiteral("无法创建修改记录文件：%1").arg(reason(s)));
    m_buffer = QByteArray(kMagic, 8);
    put(m_buffer, quint64(m_size), 8);
}

Journal::~Journal()
{
    m_file.reset();
    // Not written whole (a failure before the table was touched): no use.
    if (!m_written && !m_finished)
        env().remove(pathOf(m_table.path()));
}

void Journal::flush()
{
    m_sum = checksum(m_sum, m_buffer.constData(), m_buffer.size());
    if (const Status s = m_file->write(m_at, m_buffer.constData(), m_buffer.size()); !s.ok())
        throw fault(m_table.path(), QStringLiteral("无法写入修改记录文件：%1").arg(reason(s)));
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
    if (const Status s = m_file->sync(); !s.ok())
        throw fault(m_table.path(), QStringLiteral("无法写入修改记录文件：%1").arg(reason(s)));
    syncDirOf(pathOf(m_table.path()));
    m_written = true;
}

void Journal::finish()
{
    m_table.sync();
    if (const Status s = env().remove(pathOf(m_table.path())); !s.ok() && s.code != Errc::NotFound)
        throw fault(m_table.path(), QStringLiteral("无法删除修改记录文件：%1").arg(reason(s)));
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
        if (const Status s = env().remove(pathOf(m_table.path())); !s.ok() && s.code != Errc::NotFound)
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
    if (const Status s = env().remove(path); !s.ok() && s.code != Errc::NotFound)
        throw fault(table.path(), QStringLiteral("无法删除修改记录文件：%1").arg(reason(s)));
    syncDirOf(path);
    return true;
}

// ---- start-up helpers -------------------------------------------------------

void removeLeftovers(const QString &dir) { removeMarked(dir, QString()); }

QString cannotWrite(const QString &dir)
{
    qint64 free = -1;
    if (const Status s = env().writableDir(dir, &free); !s.ok())
        return reason(s);
    // Room for a few records and the journal of a save.
    if (free >= 0 && free < 64 * 1024)
        return reason(Status{Errc::NoSpace, 0});
    return QString();
}

bool holdInstanceLock(const QString &path)
{
    static std::unique_ptr<EnvFile> held; // kept open for the life of the process
    std::unique_ptr<EnvFile> file;
    if (!env().open(path, Open::CreateOrOpen, &file).ok())
        return true; // a folder we cannot write is reported by the start-up checks
    const Status s = file->lock(Lock::Exclusive);
    if (!s.ok())
        return s.code != Errc::Locked;
    held = std::move(file);
    return true;
}

} // namespace store::fileio
