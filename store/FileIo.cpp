#include "store/FileIo.h"

#include "store/Bytes.h"

#include <QCoreApplication>
#include <QDateTime>
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

// The directory entry of a renamed, new or removed file reaches the disk
// too. Where that fails, a power loss could bring back the old name: the
// callers that depend on the entry say so.
Status syncDirOf(const QString &path) { return env().syncDir(dirOf(path)); }

// What a failed call means to the caller: a file held by another program
// is worth trying again later, a missing one is not there, the rest is the
// system refusing.
ErrorKind kindOf(const Status &s)
{
    switch (s.code) {
    case Errc::NotFound: return ErrorKind::NotFound;
    case Errc::Locked:
    case Errc::Busy: return ErrorKind::Busy;
    default: return ErrorKind::Io;
    }
}

Error fault(const QString &path, const Status &s, const QString &what)
{
    return Error(kindOf(s), QStringLiteral("文件 %1：%2").arg(path, what));
}

QString notConfirmed(const Status &s)
{
    return QStringLiteral("已写入，但无法确认它已保存到磁盘（断电时可能丢失）：%1").arg(reason(s));
}

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
    QString lockFile;     // beside the table, used where the file system keeps no locks
    bool useFile = false; // the file system answered that it keeps none
    bool ownFile = false; // this process made lockFile and holds it
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

// ---- lock files ---------------------------------------------------------------
//
// Where the file system keeps no locks (flock answers ENOLCK, EOPNOTSUPP or
// EINVAL, as on some network shares), a table is locked with a file of our
// own beside the real table (a link's target, not the link): made only when
// the name is free, holding the holder's process id, removed on release.
// One left by a killed process (its id no longer runs) is taken over. Every
// holder is exclusive: readers take turns too, which costs only time.

constexpr char kLockFileMark[] = "~pdeclare-lock";

QString lockFileOf(const QString &table)
{
    const QFileInfo info(table);
    const QString real = info.canonicalFilePath();
    return (real.isEmpty() ? info.absoluteFilePath() : real) + QLatin1String(kLockFileMark);
}

// The process id written in a lock file: -1 when the file is gone, 0 when
// it holds no id (its maker is still writing it, or was killed doing so).
qint64 lockFileHolder(const QString &path)
{
    std::unique_ptr<EnvFile> f;
    if (const Status s = env().open(path, Open::Read, &f); !s.ok())
        return s.code == Errc::NotFound ? -1 : 0;
    char text[32];
    qint64 got = 0;
    if (!f->read(0, text, sizeof text, &got).ok())
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(text, int(got)).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

// Makes path holding this process's id: Ok, Exists, or why it cannot be made.
Status makeLockFile(const QString &path)
{
    std::unique_ptr<EnvFile> f;
    Status s = env().open(path, Open::CreateNew, &f);
    if (!s.ok())
        return s;
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    s = f->write(0, pid.constData(), pid.size());
    if (!s.ok()) {
        f.reset();
        env().remove(path);
    }
    return s;
}

// Takes the lock file without waiting: Ok, Locked while a live process holds
// it, or why it cannot be made.
Status takeLockFile(const QString &path)
{
    const Status s = makeLockFile(path);
    if (s.code != Errc::Exists)
        return s;
    const qint64 holder = lockFileHolder(path);
    if (holder <= 0 || env().processAlive(holder))
        return {Errc::Locked, 0};
    // Its holder is gone. Only one process removes it: the one that makes
    // the take-over mark (itself taken over when its maker is gone), and
    // only while it still names that holder.
    const QString mark = path + QLatin1String("-takeover");
    const Status m = makeLockFile(mark);
    if (m.code == Errc::Exists) {
        const qint64 marker = lockFileHolder(mark);
        if (marker > 0 && !env().processAlive(marker))
            env().remove(mark);
        return {Errc::Locked, 0};
    }
    if (!m.ok())
        return m;
    if (lockFileHolder(path) == holder)
        env().remove(path);
    env().remove(mark);
    const Status again = makeLockFile(path);
    return again.code == Errc::Exists ? Status{Errc::Locked, 0} : again;
}

// Takes the lock without waiting for ever: another process holding the
// table for longer than a statement takes is reported.
Status lockBounded(LockEntry &e, Lock want)
{
    int waited = 0;
    int pause = 1;
    while (true) {
        Status s;
        if (!e.useFile) {
            s = e.file->lock(want);
            e.useFile = s.code == Errc::NoLocks;
        }
        if (e.useFile) {
            s = takeLockFile(e.lockFile);
            e.ownFile = s.ok();
            // Nobody writes on a read-only medium: reading needs no lock.
            if (s.code == Errc::ReadOnly && want == Lock::Shared)
                return {};
        }
        if (s.ok())
            return {};
        if (s.code != Errc::Locked)
            return s;
        if (waited >= kLockWaitMs)
            return s;
        env().pause(pause);
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
        if (e.ownFile)
            env().remove(e.lockFile);
        else if (!e.useFile)
            e.file->lock(Lock::None);
        e.ownFile = false;
    } else if (e.ownFile) {
        // The lock file excludes everyone already.
    } else if (const Status s = lockBounded(e, want); !s.ok()) {
        return s;
    }
    e.held = want;
    return {};
}

// Changes this holder's part from `from` to `to`. On failure the holder
// keeps `from`; *lockFile names the lock file when one was used.
Status changeLock(const std::shared_ptr<EnvFile> &file, const FileId &id, const QString &path, Lock from, Lock to,
                  QString *lockFile = nullptr)
{
    if (from == to)
        return {};
    std::lock_guard<std::mutex> guard(lockMutex());
    auto &table = lockTable();
    LockEntry &e = table[id];
    if (!e.file) {
        e.file = file;
        e.lockFile = lockFileOf(path);
    }
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
    if (lockFile && e.useFile)
        *lockFile = e.lockFile;
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

const QRegularExpression &tempName()
{
    static const QRegularExpression temp(QStringLiteral("^(.+)%1[A-Za-z0-9]{6}$")
                                             .arg(QRegularExpression::escape(QLatin1String(kTempMark))));
    return temp;
}

// Whether a live process holds the marked file at path (it takes the lock
// when it makes the file and keeps it until the file has its name).
bool held(const QString &path)
{
    std::unique_ptr<EnvFile> file;
    if (!env().open(path, Open::Read, &file).ok())
        return true; // cannot be told: left alone
    return !file->lock(Lock::Exclusive).ok();
}

// A marked folder (NewFolder) is removed when none of the marked files in
// it is held: its maker holds one for as long as it fills the folder.
void removeMarkedFolder(const QString &path)
{
    const QDir d(path);
    for (const QString &name : d.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (tempName().match(name).hasMatch() && held(d.filePath(name)))
            return;
    }
    QDir(path).removeRecursively(); // links inside are removed, never followed
}

// Removes the marked temporary files in dir (of the target named `of`, or
// of any target) that no live process holds: a process writing one holds
// its lock until the file has its name. Without `of`, marked folders too.
void removeMarked(const QString &dir, const QString &of)
{
    const QDir d(dir);
    const QStringList names = d.entryList((of.isEmpty() ? QDir::AllEntries : QDir::Files) | QDir::NoDotAndDotDot
                                          | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = tempName().match(name);
        if (!m.hasMatch() || (!of.isEmpty() && m.captured(1) != of))
            continue;
        const QString path = d.filePath(name);
        FileStat st;
        if (!env().stat(path, Follow::NoLinks, &st).ok())
            continue;
        if (st.kind == Kind::Directory && of.isEmpty())
            removeMarkedFolder(path);
        else if (st.kind == Kind::Regular && !held(path))
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
    case EPIPE: return {Errc::PipeClosed, error};
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
    case Errc::Busy:
        return QStringLiteral("另一个程序（例如电子表格或 FoxPro）正打开着此文件，请先在那个程序中关闭它再试");
    case Errc::NoLocks: return QStringLiteral("所在的磁盘不支持文件锁");
    case Errc::TooBig: return QStringLiteral("文件太大");
    case Errc::NameTooLong: return QStringLiteral("路径太长");
    case Errc::TooManyOpen: return QStringLiteral("打开的文件太多，请关闭一些程序后再试");
    case Errc::NotRegular: return QStringLiteral("不是普通文件");
    case Errc::PipeClosed: return QStringLiteral("读取管道的程序已经关闭了它，内容没有全部送出");
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
            throw fault(path, s, QStringLiteral("无法打开：%1").arg(reason(s)));
        if (first.kind != Kind::Regular)
            throw notRegular(first.kind);
        std::unique_ptr<EnvFile> opened;
        if (const Status s = env().open(path, write ? Open::ReadWrite : Open::Read, &opened); !s.ok()) {
            if (s.code == Errc::NotRegular || s.code == Errc::Locked)
                throw fault(path, QStringLiteral("不是普通文件，不能作为表打开"));
            throw fault(path, s, QStringLiteral("无法打开：%1").arg(reason(s)));
        }
        FileStat st;
        if (const Status s = opened->stat(&st); !s.ok())
            throw fault(path, s, QStringLiteral("无法读取：%1").arg(reason(s)));
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
            throw Error(ErrorKind::Busy, QStringLiteral("文件 %1：文件在打开时一再被替换，请稍后再试").arg(path));
    }
}

qint64 File::size() const
{
    FileStat st;
    if (const Status s = m_file->stat(&st); !s.ok())
        throw fault(m_path, s, QStringLiteral("无法读取：%1").arg(reason(s)));
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
        throw fault(m_path, s, QStringLiteral("无法读取：%1").arg(reason(s)));
    if (got < len)
        throw fault(m_path, QStringLiteral("读取时文件比预期的短（可能正被其他程序改写）"));
}

void File::writeAt(qint64 pos, const char *data, qint64 len)
{
    if (const Status s = m_file->write(pos, data, len); !s.ok())
        throw fault(m_path, s, QStringLiteral("无法写入：%1").arg(reason(s)));
}

void File::truncate(qint64 size)
{
    if (const Status s = m_file->truncate(size); !s.ok())
        throw fault(m_path, s, QStringLiteral("无法写入：%1").arg(reason(s)));
}

void File::sync()
{
    if (const Status s = m_file->sync(); !s.ok())
        throw fault(m_path, s, QStringLiteral("无法写入磁盘：%1").arg(reason(s)));
}

void File::relock(Lock lock)
{
    QString lockFile;
    if (const Status s = changeLock(m_file, m_id, m_path, m_lock, lock, &lockFile); !s.ok()) {
        QString what = s.code == Errc::Locked
                           ? QStringLiteral("正被另一个程序使用（已等待 %1 秒），请稍后再试").arg(kLockWaitMs / 1000)
                           : QStringLiteral("无法加锁：%1").arg(reason(s));
        if (!lockFile.isEmpty() && s.code == Errc::Locked)
            what += QStringLiteral("；所在的磁盘不支持文件锁，本程序用锁文件 %1 代替，"
                                   "如确认没有其他程序在使用这个表，请删除该锁文件后再试")
                        .arg(QDir::toNativeSeparators(lockFile));
        else if (!lockFile.isEmpty())
            what = QStringLiteral("所在的磁盘不支持文件锁，也无法建立锁文件 %1（%2），为免与其他程序同时写入，"
                                  "没有做任何改动；请把表复制到本机磁盘上再操作，或让当前用户可以在该文件夹中建立文件")
                       .arg(QDir::toNativeSeparators(lockFile), reason(s));
        throw fault(m_path, s, what);
    }
    m_lock = lock;
}

void File::close()
{
    if (!m_file)
        return;
    if (m_lock != Lock::None)
        changeLock(m_file, m_id, m_path, m_lock, Lock::None);
    m_lock = Lock::None;
    m_file.reset();
}

// ---- NewFile ----------------------------------------------------------------

namespace {

// Where a symbolic link leads, also when nothing is there yet (writing
// through a dangling link makes the file it names, as a shell does).
QString linkTargetOf(const QString &link)
{
    const QString real = QFileInfo(link).canonicalFilePath();
    if (!real.isEmpty())
        return real;
    QString at = link;
    for (int depth = 0; depth < 40; ++depth) {
        FileStat st;
        if (!env().stat(at, Follow::NoLinks, &st).ok() || st.kind != Kind::Link)
            return at;
        const QString next = QFileInfo(at).symLinkTarget();
        if (next.isEmpty())
            return at;
        at = next;
    }
    return link; // a loop: the rename says so
}

} // namespace

NewFile::NewFile(const QString &target) : m_target(target)
{
    // A target that is a symbolic link: the file it leads to is replaced,
    // and the link stays a link (a pack through it, an export onto it).
    FileStat named;
    if (env().stat(target, Follow::NoLinks, &named).ok() && named.kind == Kind::Link)
        m_target = linkTargetOf(target);
    // A pipe or a device keeps its meaning: it is written into.
    FileStat there;
    const bool into = env().stat(m_target, Follow::Links, &there).ok()
                      && there.kind != Kind::Regular && there.kind != Kind::Directory;
    if (into)
        openNode(there.kind);
    Status s;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // What goes into a pipe or device is gathered in the system's
        // temporary folder (/dev is no place for files of ours).
        m_temp = (into ? QDir(QDir::tempPath()).filePath(QStringLiteral("pdeclare-output")) : m_target)
                 + QLatin1String(kTempMark) + randomSuffix();
        s = env().open(m_temp, Open::CreateNew, &m_file);
        if (s.code != Errc::Exists)
            break;
    }
    if (!s.ok()) {
        m_temp.clear();
        m_node.reset();
        throw fault(target, QStringLiteral("无法创建%1：%2")
                                .arg(into ? QStringLiteral("临时文件（在 %1 中）").arg(QDir::toNativeSeparators(QDir::tempPath()))
                                          : QString(),
                                     reason(s)));
    }
    // Held while the file is being written: a clean-up removes only
    // temporary files that no live process holds.
    m_file->lock(Lock::Exclusive);
    // What an earlier write of this same target left when it was killed.
    if (!into)
        removeMarked(dirOf(m_target), QFileInfo(m_target).fileName());
}

void NewFile::openNode(Kind kind)
{
    const Status s = env().open(m_target, Open::WriteInto, &m_node);
    if (s.ok())
        return;
    const QString name = QDir::toNativeSeparators(m_target);
    if (s.code == Errc::NotRegular || s.code == Errc::IsDirectory)
        throw fault(name, QStringLiteral("这是%1，不是普通文件。本程序只往普通文件、管道和字符设备中写入，"
                                         "不会替换或改写它，以免毁坏其中的数据。请换一个文件名")
                              .arg(kind == Kind::Device ? QStringLiteral("一个磁盘设备") : QStringLiteral("一个特殊文件")));
    throw fault(name, QStringLiteral("无法写入这个%1：%2")
                          .arg(kind == Kind::Pipe ? QStringLiteral("管道") : QStringLiteral("设备"), reason(s)));
}

NewFile::~NewFile()
{
    m_file.reset();
    m_node.reset();
    if (!m_done && !m_temp.isEmpty())
        env().remove(m_temp);
}

void NewFile::fail(const QString &what, const Status &status)
{
    m_file.reset();
    m_node.reset();
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

// The gathered bytes into the pipe or device, as they lie in the temporary
// file (a writer may have written it by name).
void NewFile::pourIntoNode()
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (qint64 pos = 0;; pos += buffer.size()) {
        qint64 got = 0;
        if (const Status s = m_file->read(pos, buffer.data(), buffer.size(), &got); !s.ok())
            fail(QStringLiteral("无法读取临时文件"), s);
        if (got > 0) {
            if (const Status s = m_node->write(pos, buffer.constData(), got); !s.ok())
                fail(QStringLiteral("无法写入"), s);
        }
        if (got < buffer.size())
            break;
    }
}

bool NewFile::commit(bool replace)
{
    if (!m_file)
        throw fault(m_target, QStringLiteral("无法写入：文件已关闭"));
    if (m_node) {
        // The name is taken by the node itself.
        if (!replace) {
            m_file.reset();
            m_node.reset();
            env().remove(m_temp);
            m_done = true;
            return false;
        }
        pourIntoNode();
        m_node.reset();
        m_file.reset();
        env().remove(m_temp);
        m_done = true;
        return true;
    }
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
    m_file.reset(); // synced above
    m_done = true;
    if (const Status synced = syncDirOf(m_target); !synced.ok())
        throw fault(m_target, notConfirmed(synced));
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

// ---- NewFolder --------------------------------------------------------------

NewFolder::NewFolder(const QString &target) : m_target(target)
{
    const QString name = QFileInfo(target).fileName();
    const QDir parent = QFileInfo(target).absoluteDir();
    for (int attempt = 0; attempt < 100 && m_temp.isEmpty(); ++attempt) {
        const QString suffix = randomSuffix();
        const QString folder = name + QLatin1String(kTempMark) + suffix;
        if (!parent.mkdir(folder)) {
            if (parent.exists(folder))
                continue;
            break; // told below
        }
        // The held mark, made and locked before anything else goes in. A
        // clean-up that ran between the folder and its mark may have taken
        // the empty folder: then another name is tried.
        const QString holder = parent.filePath(folder) + QLatin1Char('/') + QStringLiteral("holder") + QLatin1String(kTempMark) + suffix;
        std::unique_ptr<EnvFile> file;
        if (!env().open(holder, Open::CreateNew, &file).ok())
            continue;
        FileStat mine, named;
        if (!file->lock(Lock::Exclusive).ok() || !file->stat(&mine).ok()
            || !env().stat(holder, Follow::NoLinks, &named).ok() || named.id != mine.id) {
            file.reset();
            env().remove(holder);
            parent.rmdir(folder);
            continue;
        }
        m_temp = parent.filePath(folder);
        m_holder = holder;
        m_held = std::move(file);
    }
    if (m_temp.isEmpty())
        throw fault(QDir::toNativeSeparators(target), QStringLiteral("无法在 %1 中创建临时文件夹，请检查该文件夹的权限和磁盘空间")
                                                          .arg(QDir::toNativeSeparators(parent.absolutePath())));
}

NewFolder::~NewFolder()
{
    if (m_done || m_temp.isEmpty())
        return;
    QDir(m_temp).removeRecursively();
    m_held.reset();
}

void NewFolder::copyIn(const QString &source, const QString &name)
{
    File in = File::open(source, false, Lock::None);
    const QString to = m_temp + QLatin1Char('/') + name;
    std::unique_ptr<EnvFile> out;
    if (const Status s = env().open(to, Open::CreateNew, &out); !s.ok())
        throw fault(QDir::toNativeSeparators(to), s, QStringLiteral("无法创建：%1").arg(reason(s)));
    const qint64 size = in.size();
    QByteArray buffer;
    for (qint64 pos = 0; pos < size; pos += buffer.size()) {
        buffer.resize(qsizetype(std::min<qint64>(size - pos, 1 << 20)));
        in.readAt(pos, buffer.data(), buffer.size());
        if (const Status s = out->write(pos, buffer.constData(), buffer.size()); !s.ok())
            throw fault(QDir::toNativeSeparators(to), s, QStringLiteral("无法写入：%1").arg(reason(s)));
    }
    if (const Status s = out->sync(); !s.ok())
        throw fault(QDir::toNativeSeparators(to), s, QStringLiteral("无法写入磁盘：%1").arg(reason(s)));
}

bool NewFolder::commit()
{
    env().syncDir(m_temp);
    QDir parent = QFileInfo(m_target).absoluteDir();
    if (!parent.rename(QFileInfo(m_temp).fileName(), QFileInfo(m_target).fileName())) {
        if (QFileInfo::exists(m_target))
            return false; // the destructor removes this one
        throw fault(QDir::toNativeSeparators(m_target), QStringLiteral("无法创建文件夹"));
    }
    m_done = true;
    // The mark goes after the rename: a kill in between leaves it in the
    // folder, where the clean-up of the next start finds it unheld.
    const QString holder = m_target + QLatin1Char('/') + QFileInfo(m_holder).fileName();
    env().remove(holder);
    m_held.reset();
    if (const Status synced = syncDirOf(m_target); !synced.ok())
        throw fault(QDir::toNativeSeparators(m_target), notConfirmed(synced));
    return true;
}

// ---- Journal ----------------------------------------------------------------
//
// A change of a table is journalled before the table is touched. Layout
// (numbers little-endian):
//
//   head    "PDJRNL02", the table's file number (8), 1 when that number is
//           the file system's own (1, see FileId::persistent), the table's
//           size before the change (8)
//   ranges  per range: position (8), length (4), the hash of the bytes about
//           to be written for every piece of the range that lies in one
//           512-byte block of the file (8 each), then the bytes there now
//   tail    number of ranges (4), the table's size after the change (8), a
//           checksum of everything before it (8), "PDJEND02"
//
// Only the part of a range inside the file as it was is kept: what lies
// beyond is cut off when the table is put back. The journal is written and
// read a range at a time, so a change of any size needs bounded memory.
//
// A journal without its tail was being written when its process ended: the
// table was not touched yet, and the journal is removed. A whole journal is
// applied only when the table found with it is the one it was written for,
// as that process left it:
//   - the same file number, where the numbers are the file system's own
//     (the journal lies beside the table, so the volume is the same one;
//     its number is not compared, it may change when a disk is added);
//   - a size between the sizes before and after the change (an append cut
//     short by a kill leaves one in between), never more than after it;
//   - every piece of every range holds its bytes from before the change or
//     the bytes written (by their hash). A kill or a power loss can tear a
//     write at a block boundary, not within a 512-byte block, so pieces
//     are looked at one by one.
// A table restored from a backup (a copy keeps the file's number), another
// table, a journal cut short, damaged, forged or written by an older version
// of the program fails one of these: the table is left as it is, the journal
// is renamed "...-journal.not-applied-<time>" and the user told.
//
// Putting a table back writes every range's old bytes (a no-op where they
// are old already) and cuts the file to its old size, which is never more
// than it has: a kill meanwhile leaves a table that passes the same checks.

namespace {

const char kMagic[] = "PDJRNL02";
const char kEnd[] = "PDJEND02";
constexpr int kHeadSize = 8 + 8 + 1 + 8;
constexpr int kTailSize = 4 + 8 + 8 + 8;
constexpr qint64 kBlock = 512;
constexpr qint64 kMostRange = 16 << 20; // a record, a header, an end byte
constexpr quint64 kHashStart = 14695981039346656037ull;

using bytes::appendLe32;
using bytes::appendLe64;
using bytes::le32;
using bytes::le64;

// FNV-1a, 64 bits.
quint64 hash(quint64 h, const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        h = (h ^ uchar(p[i])) * 1099511628211ull;
    return h;
}

quint64 hash(const char *p, qsizetype n) { return hash(kHashStart, p, n); }

// The pieces of [pos, pos + len) that each lie in one block.
template <class Each>
void forPieces(qint64 pos, qint64 len, Each each)
{
    for (qint64 at = pos; at < pos + len;) {
        const qint64 end = std::min(pos + len, (at / kBlock + 1) * kBlock);
        each(at - pos, end - at);
        at = end;
    }
}

qint64 pieceCount(qint64 pos, qint64 len) { return len <= 0 ? 0 : (pos + len - 1) / kBlock - pos / kBlock + 1; }

enum class Pass {
    Check,  // the journal whole and sound, and the table's size and id
    Verify, // and every range's bytes in the table old or new
    Apply,  // puts the old bytes back and cuts the table to its old size
};

// Walks a journal in one of the passes. False, with the reason in *why, when
// it is not sound or does not fit the table; *unfinished tells a journal
// whose writing never ended (the table was not touched).
bool walk(File &journal, File &table, Pass pass, QString *why, bool *unfinished = nullptr)
{
    auto refuse = [&](const QString &reasonText) {
        *why = reasonText;
        return false;
    };
    if (unfinished)
        *unfinished = false;
    const qint64 size = journal.size();
    char head[kHeadSize];
    journal.readAt(0, head, std::min<qint64>(size, 8));
    // Made, then ended before its first bytes were all written.
    if (size < 8 && std::memcmp(head, kMagic, size_t(size)) == 0) {
        if (unfinished)
            *unfinished = true;
        return refuse(QStringLiteral("记录没有写完"));
    }
    if (size < 8 || std::memcmp(head, kMagic, 6) != 0)
        return refuse(QStringLiteral("这不是本程序的修改记录"));
    if (std::memcmp(head, kMagic, 8) != 0)
        return refuse(QStringLiteral("记录由另一版本的程序写成，无法核对"));
    char tail[kTailSize];
    journal.readAt(size - 8, tail + kTailSize - 8, 8);
    if (std::memcmp(tail + kTailSize - 8, kEnd, 8) != 0) {
        if (unfinished)
            *unfinished = true;
        return refuse(QStringLiteral("记录没有写完"));
    }
    if (size < kHeadSize + kTailSize)
        return refuse(QStringLiteral("记录已损坏，结构不完整"));
    journal.readAt(size - kTailSize, tail, kTailSize);
    journal.readAt(0, head, kHeadSize);
    const quint64 number = le64(head + 8);
    const bool persistent = head[16] == 1;
    const qint64 oldSize = qint64(le64(head + 17));
    const quint32 count = quint32(le32(tail));
    const qint64 newSize = qint64(le64(tail + 4));
    const qint64 now = table.size();
    if (pass == Pass::Check) {
        const FileId id = table.id();
        if (persistent && id.persistent && number != id.file)
            return refuse(QStringLiteral("记录属于另一个文件"));
        if (oldSize < 0 || newSize < oldSize)
            return refuse(QStringLiteral("记录已损坏，其中的大小不合理"));
        if (oldSize > now)
            return refuse(QStringLiteral("记录的原大小为 %1 字节，而表现在只有 %2 字节").arg(oldSize).arg(now));
        if (now > newSize)
            return refuse(QStringLiteral("表现在有 %1 字节，比这次修改后应有的 %2 字节还多").arg(now).arg(newSize));
    }
    quint64 sum = hash(head, kHeadSize);
    quint32 ranges = 0;
    const qint64 end = size - kTailSize;
    QByteArray hashes, old, current;
    for (qint64 at = kHeadSize; at < end; ++ranges) {
        char entry[12];
        if (end - at < 12)
            return refuse(QStringLiteral("记录已损坏，结构不完整"));
        journal.readAt(at, entry, 12);
        const qint64 pos = qint64(le64(entry));
        const qint64 len = qint64(le32(entry + 8));
        if (len <= 0 || len > kMostRange || pos < 0)
            return refuse(QStringLiteral("记录已损坏，结构不完整"));
        // Ranges lie inside the table as it was, and so inside it now.
        if (pos > oldSize - len)
            return refuse(QStringLiteral("记录的第 %1 段超出了表修改前的大小").arg(ranges + 1));
        const qint64 hashBytes = 8 * pieceCount(pos, len);
        if (hashBytes + len > end - at - 12)
            return refuse(QStringLiteral("记录已损坏，结构不完整"));
        hashes.resize(qsizetype(hashBytes));
        old.resize(qsizetype(len));
        journal.readAt(at + 12, hashes.data(), hashBytes);
        journal.readAt(at + 12 + hashBytes, old.data(), len);
        at += 12 + hashBytes + len;
        if (pass == Pass::Check) {
            sum = hash(hash(hash(sum, entry, 12), hashes.constData(), hashes.size()), old.constData(), old.size());
        } else if (pass == Pass::Verify) {
            current.resize(qsizetype(len));
            table.readAt(pos, current.data(), len);
            bool fits = true;
            qint64 piece = 0;
            forPieces(pos, len, [&](qint64 offset, qint64 n) {
                const char *held = current.constData() + offset;
                fits = fits
                    && (std::memcmp(held, old.constData() + offset, size_t(n)) == 0
                        || hash(held, n) == le64(hashes.constData() + 8 * piece));
                ++piece;
            });
            if (!fits)
                return refuse(QStringLiteral("表中第 %1 段的内容既不是这次修改前的，也不是修改后的").arg(ranges + 1));
        } else {
            table.writeAt(pos, old.constData(), len);
        }
    }
    if (pass == Pass::Check) {
        sum = hash(sum, tail, 12);
        if (ranges != count || sum != le64(tail + 12))
            return refuse(QStringLiteral("记录已损坏，校验和不符"));
    }
    if (pass == Pass::Apply) {
        table.truncate(oldSize);
        table.sync();
    }
    return true;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Regular: return QStringLiteral("一个文件");
    case Kind::Directory: return QStringLiteral("一个文件夹");
    case Kind::Link: return QStringLiteral("一个符号链接");
    case Kind::Pipe: return QStringLiteral("一个管道");
    case Kind::Device: return QStringLiteral("一个设备");
    case Kind::Other: break;
    }
    return QStringLiteral("一个特殊文件");
}

// Renames a journal that was not applied so that it is kept, says so and
// tells the user what to do.
void setAside(const File &table, const QString &path, const QString &why)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside;
    Status s;
    for (int n = 1; n <= 100; ++n) {
        aside = path + QStringLiteral(".not-applied-") + stamp + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        s = env().rename(path, aside, Replace::No);
        if (s.code != Errc::Exists)
            break;
    }
    const QString name = QDir::toNativeSeparators(path);
    QString text = QStringLiteral("表 %1 旁有一份未完成的修改记录 %2，但它与这个表不符（%3）。为免改错数据，没有用它还原表，表按现在的内容打开。")
                       .arg(QDir::toNativeSeparators(table.path()), name, why);
    if (s.ok()) {
        syncDirOf(path);
        text += QStringLiteral("这份记录已改名为 %1 保留。请检查表中的数据，如有错误请用备份恢复；数据无误时可以删除 %1。")
                    .arg(QDir::toNativeSeparators(aside));
    } else {
        text += QStringLiteral("这份记录无法改名保留（%1），在它移走之前这个表不能保存修改。请关闭程序，把 %2 移到别处后再打开。")
                    .arg(reason(s), name);
    }
    notice(text);
}

std::function<void(const QString &)> &noticeHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}

} // namespace

QString Journal::pathOf(const File &table)
{
    // Beside the real file: a table reached through a link and through its
    // own name has one journal.
    const QString real = QFileInfo(table.path()).canonicalFilePath();
    FileStat st;
    if (real.isEmpty() || !env().stat(real, Follow::Links, &st).ok() || st.id != table.id())
        throw fault(table.path(), QStringLiteral("无法确定表文件的实际位置（也许正被其他程序移动或替换），请稍后再试"));
    return real + QStringLiteral("-journal");
}

Journal::Journal(File &table) : m_table(table), m_path(pathOf(table)), m_size(table.size()), m_newSize(m_size)
{
    // A new file of its own: never written through a link, never into
    // something another program put there.
    if (const Status s = env().open(m_path, Open::CreateNew, &m_file); !s.ok()) {
        FileStat st;
        if (s.code == Errc::Exists && env().stat(m_path, Follow::NoLinks, &st).ok())
            throw fault(table.path(), QStringLiteral("无法保存修改：%1 已存在（%2），本程序要用这个名字记录修改。请把它移到别处或删除后再试")
                                          .arg(QDir::toNativeSeparators(m_path), kindName(st.kind)));
        throw fault(table.path(), s, QStringLiteral("无法创建修改记录文件：%1").arg(reason(s)));
    }
    m_buffer = QByteArray(kMagic, 8);
    appendLe64(m_buffer, table.id().file);
    m_buffer += char(table.id().persistent ? 1 : 0);
    appendLe64(m_buffer, quint64(m_size));
    m_planned = m_done = kHashStart;
    m_sum = kHashStart;
}

Journal::~Journal()
{
    m_file.reset();
    // Not written whole (a failure before the table was touched): no use.
    if (!m_written && !m_finished)
        env().remove(m_path);
}

void Journal::flush()
{
    m_sum = hash(m_sum, m_buffer.constData(), m_buffer.size());
    if (const Status s = m_file->write(m_at, m_buffer.constData(), m_buffer.size()); !s.ok())
        throw fault(m_table.path(), s, QStringLiteral("无法写入修改记录文件：%1").arg(reason(s)));
    m_at += m_buffer.size();
    m_buffer.clear();
}

void Journal::save(qint64 pos, QByteArrayView bytes)
{
    const qint64 len = bytes.size();
    m_planned = hash(hash(m_planned, reinterpret_cast<const char *>(&pos), sizeof pos), bytes.data(), len);
    m_newSize = std::max(m_newSize, pos + len);
    const qint64 inside = std::min(pos + len, m_size) - pos;
    if (inside <= 0)
        return;
    appendLe64(m_buffer, quint64(pos));
    appendLe32(m_buffer, quint32(inside));
    forPieces(pos, inside, [&](qint64 offset, qint64 n) { appendLe64(m_buffer, hash(bytes.data() + offset, n)); });
    const qsizetype at = m_buffer.size();
    m_buffer.resize(at + inside);
    m_table.readAt(pos, m_buffer.data() + at, inside);
    ++m_ranges;
    if (m_buffer.size() >= (1 << 20))
        flush();
}

void Journal::write()
{
    appendLe32(m_buffer, m_ranges);
    appendLe64(m_buffer, quint64(m_newSize));
    appendLe64(m_buffer, hash(m_sum, m_buffer.constData(), m_buffer.size())); // of everything before it
    m_buffer.append(kEnd, 8);
    flush();
    if (const Status s = m_file->sync(); !s.ok())
        throw fault(m_table.path(), s, QStringLiteral("无法写入修改记录文件：%1").arg(reason(s)));
    // The table is touched only once the journal is surely found after a
    // power loss.
    if (const Status s = syncDirOf(m_path); !s.ok())
        throw fault(m_table.path(), s, QStringLiteral("无法写入修改记录文件：%1").arg(reason(s)));
    m_written = true;
}

void Journal::put(qint64 pos, QByteArrayView bytes)
{
    m_done = hash(hash(m_done, reinterpret_cast<const char *>(&pos), sizeof pos), bytes.data(), bytes.size());
    ++m_put;
    m_table.writeAt(pos, bytes.data(), bytes.size());
}

void Journal::finish()
{
    if (m_done != m_planned) {
        rollBack();
        throw fault(m_table.path(), QStringLiteral("写入的内容与修改记录不符（程序内部错误），表已还原，请重新打开后再试"));
    }
    m_table.sync();
    if (const Status s = env().remove(m_path); !s.ok() && s.code != Errc::NotFound)
        throw fault(m_table.path(), s, QStringLiteral("无法删除修改记录文件：%1").arg(reason(s)));
    m_finished = true;
    // The change counts as done once the journal is gone from the disk too:
    // a journal that came back after a power loss would undo it.
    if (const Status s = syncDirOf(m_path); !s.ok())
        throw fault(m_table.path(),
                    QStringLiteral("修改已写入，但无法确认修改记录文件已从磁盘上删除（断电后修改可能被撤销）：%1").arg(reason(s)));
}

bool Journal::rollBack()
{
    if (!m_written || m_finished)
        return true;
    try {
        // Our own journal, of a change this process tore: the ranges are
        // put back whatever they hold now.
        m_file.reset();
        File journal = File::open(m_path, false, Lock::None);
        QString why;
        if (!walk(journal, m_table, Pass::Check, &why) || !walk(journal, m_table, Pass::Apply, &why))
            return false;
        journal.close();
        if (const Status s = env().remove(m_path); !s.ok() && s.code != Errc::NotFound)
            return false;
        m_finished = true;
        syncDirOf(m_path);
        return true;
    } catch (const Error &) {
        return false; // the journal stays: the next open puts the table back
    }
}

bool Journal::pending(const File &table)
{
    FileStat st;
    return env().stat(pathOf(table), Follow::NoLinks, &st).ok() && st.kind == Kind::Regular;
}

bool Journal::recover(File &table)
{
    const QString path = pathOf(table);
    // Only a regular file can be a journal of ours (it is never made
    // through a link); anything else there stops the next write, which
    // says so.
    FileStat st;
    if (!env().stat(path, Follow::NoLinks, &st).ok() || st.kind != Kind::Regular)
        return false;
    File journal = File::open(path, false, Lock::None);
    QString why;
    bool unfinished = false;
    if (!walk(journal, table, Pass::Check, &why, &unfinished) || !walk(journal, table, Pass::Verify, &why)) {
        journal.close();
        if (!unfinished) {
            setAside(table, path, why);
            return true;
        }
    } else {
        walk(journal, table, Pass::Apply, &why);
        journal.close();
    }
    if (const Status s = env().remove(path); !s.ok() && s.code != Errc::NotFound)
        throw fault(table.path(), s, QStringLiteral("无法删除修改记录文件：%1").arg(reason(s)));
    syncDirOf(path);
    return true;
}

void setNoticeHandler(std::function<void(const QString &)> handler) { noticeHandler() = std::move(handler); }

void notice(const QString &text)
{
    if (noticeHandler())
        noticeHandler()(text);
    else
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// ---- start-up helpers -------------------------------------------------------

void removeLeftovers(const QString &dir) { removeMarked(dir, QString()); }

void requireWritable(const QString &dir)
{
    qint64 free = -1;
    if (const Status s = env().writableDir(dir, &free); !s.ok())
        throw Error(kindOf(s), reason(s));
    // Room for a few records and the journal of a save.
    if (free >= 0 && free < 64 * 1024)
        throw Error(ErrorKind::Io, reason(Status{Errc::NoSpace, 0}));
}

bool holdInstanceLock(const QString &path)
{
    auto refuse = [&](const QString &why) {
        throw Error(ErrorKind::Io, QStringLiteral("无法使用锁文件 %1：%2。\n本程序靠它确认没有另一个 PDeclare 在使用同一目录，"
                                      "无法确认时不启动，以免两个程序同时改写同一批表。\n"
                                      "请关闭其他 PDeclare 后删除这个%3，或让当前用户可以写它，然后重新启动。")
                           .arg(QDir::toNativeSeparators(path), why,
                                why == reason(Status{Errc::IsDirectory, 0}) ? QStringLiteral("文件夹")
                                                                             : QStringLiteral("文件")));
    };
    static std::unique_ptr<EnvFile> held; // kept open for the life of the process
    FileStat named;
    const Status there = env().stat(path, Follow::NoLinks, &named);
    if (there.ok() && named.kind == Kind::Directory)
        refuse(reason(Status{Errc::IsDirectory, 0}));
    if (there.ok() && named.kind != Kind::Regular)
        refuse(QStringLiteral("不是普通文件"));
    std::unique_ptr<EnvFile> file;
    if (const Status s = env().open(path, Open::CreateOrOpen, &file); !s.ok()) {
        // A folder we cannot write is reported by the start-up checks.
        if (there.code == Errc::NotFound)
            return true;
        refuse(reason(s));
    }
    const Status s = file->lock(Lock::Exclusive);
    if (s.code == Errc::NoLocks) {
        // A file system without locks: a lock file of our own, removed when
        // the process ends (one left by a killed process is taken over).
        struct Owned {
            QString path;
            ~Owned()
            {
                if (!path.isEmpty())
                    env().remove(path);
            }
        };
        static Owned owned;
        const QString lockFile = lockFileOf(path);
        const Status t = takeLockFile(lockFile);
        if (t.code == Errc::Locked)
            return false;
        if (!t.ok())
            refuse(QStringLiteral("所在的磁盘不支持文件锁，也无法建立 %1（%2）")
                              .arg(QDir::toNativeSeparators(lockFile), reason(t)));
        owned.path = lockFile;
    } else if (!s.ok()) {
        if (s.code == Errc::Locked)
            return false;
        refuse(reason(s));
    }
    held = std::move(file);
    return true;
}

void Env::pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace store::fileio
