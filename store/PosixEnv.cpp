// The file layer's platform on Linux (and other POSIX systems): see
// store/Env.h for what each call promises.
#include "store/Env.h"
#include "store/FileIo.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace store::fileio {

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

Status fromErrno(int error) { return statusOfErrno(error); }

Status lastError() { return fromErrno(errno); }

Kind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISLNK(mode))
        return Kind::Link;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Kind::Device;
    return Kind::Other;
}

// Linux's FAT and exFAT drivers number a file while it is cached: after a
// remount (a USB stick plugged in again) the same file has another number.
bool persistentIds(int fd)
{
#ifdef __linux__
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case MSDOS_SUPER_MAGIC:
    case 0x2011BAB0UL: // exFAT
        return false;
    default:
        return true;
    }
#else
    (void)fd;
    return true;
#endif
}

void fill(const struct stat &st, FileStat *out, bool persistent)
{
    out->kind = kindOf(st.st_mode);
    out->size = st.st_size;
    out->id = {quint64(st.st_dev), quint64(st.st_ino), persistent};
}

class PosixFile final : public EnvFile {
public:
    // stream: a device or pipe opened with Open::WriteInto, written in order.
    explicit PosixFile(int fd, bool stream = false) : m_fd(fd), m_stream(stream) {}
    ~PosixFile() override { ::close(m_fd); }

    Status read(qint64 pos, char *data, qint64 len, qint64 *got) override
    {
        *got = 0;
        while (len > 0) {
            const ssize_t n = ::pread(m_fd, data, size_t(len), off_t(pos));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return lastError();
            if (n == 0)
                break;
            data += n;
            len -= n;
            pos += n;
            *got += n;
        }
        return {};
    }

    Status write(qint64 pos, const char *data, qint64 len) override
    {
        if (m_stream)
            return writeStream(data, len);
        while (len > 0) {
            const ssize_t n = m_stream ? ::write(m_fd, data, size_t(len)) : ::pwrite(m_fd, data, size_t(len), off_t(pos));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return lastError();
            if (n == 0)
                return fromErrno(ENOSPC);
            data += n;
            len -= n;
            pos += n;
        }
        return {};
    }

    Status stat(FileStat *out) override
    {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return lastError();
        if (m_persistent < 0)
            m_persistent = persistentIds(m_fd) ? 1 : 0;
        fill(st, out, m_persistent == 1);
        return {};
    }

    Status truncate(qint64 size) override
    {
        while (::ftruncate(m_fd, off_t(size)) != 0) {
            if (errno != EINTR)
                return lastError();
        }
        return {};
    }

    Status sync() override { return ::fsync(m_fd) == 0 ? Status{} : lastError(); }

    Status lock(LockKind kind) override
    {
        const int operation = kind == LockKind::None ? LOCK_UN : kind == LockKind::Shared ? LOCK_SH : LOCK_EX;
        while (::flock(m_fd, operation | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            // Some file systems answer flock with "not supported".
            if (errno == EOPNOTSUPP || errno == EINVAL)
                return {Errc::NoLocks, errno};
            return lastError();
        }
        return {};
    }

private:
    // A pipe whose reader has gone answers EPIPE, not a signal that would
    // end the whole program (a window with unsaved figures in it): SIGPIPE
    // is blocked for the write and one it raised is taken back.
    Status writeStream(const char *data, qint64 len)
    {
        sigset_t pipe, before;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &before);
        Status result;
        while (len > 0) {
            const ssize_t n = ::write(m_fd, data, size_t(len));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                result = lastError();
                break;
            }
            data += n;
            len -= n;
        }
        if (result.system == EPIPE && !alreadyPending) {
            const timespec now{0, 0};
            while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return result;
    }

    int m_fd;
    bool m_stream;
    int m_persistent = -1; // not asked yet
};

class PosixEnv final : public Env {
public:
    Status open(const QString &path, Open mode, std::unique_ptr<EnvFile> *out) override
    {
        const QByteArray name = native(path);
        int flags = O_CLOEXEC | O_NOCTTY;
        switch (mode) {
        case Open::Read: flags |= O_RDONLY | O_NONBLOCK; break;
        case Open::ReadWrite: flags |= O_RDWR | O_NONBLOCK; break;
        case Open::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
        case Open::CreateOrOpen: flags |= O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK; break;
        case Open::WriteInto: {
            // Looked at before the open: opening a disk or a regular file
            // for writing is already too much, and O_NONBLOCK would refuse
            // a pipe whose reader has not opened it yet.
            struct stat st {};
            if (::stat(name.constData(), &st) != 0)
                return lastError();
            if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode))
                return {S_ISDIR(st.st_mode) ? Errc::IsDirectory : Errc::NotRegular, 0};
            flags |= O_WRONLY;
            break;
        }
        }
        int fd;
        do {
            fd = ::open(name.constData(), flags, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            // O_NOFOLLOW answers a link with ELOOP.
            if (errno == ELOOP && mode == Open::CreateOrOpen)
                return {Errc::NotRegular, ELOOP};
            return lastError();
        }
        auto file = std::make_unique<PosixFile>(fd, mode == Open::WriteInto);
        if (mode == Open::WriteInto) {
            // Still a device or pipe (not replaced between the look and the open).
            struct stat st {};
            if (::fstat(fd, &st) != 0)
                return lastError();
            if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode))
                return {S_ISDIR(st.st_mode) ? Errc::IsDirectory : Errc::NotRegular, 0};
        }
        if (mode == Open::CreateOrOpen) {
            struct stat st {};
            if (::fstat(fd, &st) != 0)
                return lastError();
            if (!S_ISREG(st.st_mode))
                return {S_ISDIR(st.st_mode) ? Errc::IsDirectory : Errc::NotRegular, 0};
        }
        // O_NONBLOCK kept an open of a named pipe from waiting; reads and
        // writes of a regular file block as usual.
        if (flags & O_NONBLOCK)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        *out = std::move(file);
        return {};
    }

    Status stat(const QString &path, Follow follow, FileStat *out) override
    {
        struct stat st {};
        const QByteArray name = native(path);
        if ((follow == Follow::Links ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
            return lastError();
        // Whether ids are kept across mounts is asked only of open files:
        // the file layer compares a recorded id with an open file's.
        fill(st, out, false);
        return {};
    }

    Status rename(const QString &from, const QString &to, Replace replace) override
    {
        const QByteArray a = native(from), b = native(to);
        if (replace == Replace::Yes)
            return ::rename(a.constData(), b.constData()) == 0 ? Status{} : lastError();
        // A second name, then the first one goes: link() never replaces.
        // FAT (a USB stick) has no links; there renameat2 refuses to replace.
        if (::link(a.constData(), b.constData()) == 0) {
            ::unlink(a.constData());
            return {};
        }
        const int error = errno;
        if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)
            return fromErrno(error);
#ifdef RENAME_NOREPLACE
        if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
            return {};
        if (errno != EINVAL && errno != ENOSYS)
            return lastError();
#endif
        return fromErrno(error);
    }

    Status remove(const QString &path) override
    {
        return ::unlink(native(path).constData()) == 0 ? Status{} : lastError();
    }

    Status syncDir(const QString &dir) override
    {
        const int fd = ::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return lastError();
        const Status s = ::fsync(fd) == 0 ? Status{} : lastError();
        ::close(fd);
        // Some file systems cannot sync a folder; their renames are safe
        // as they are.
        if (s.system == EINVAL || s.system == EOPNOTSUPP)
            return {};
        return s;
    }

    Status writableDir(const QString &dir, qint64 *freeBytes) override
    {
        const QByteArray name = native(dir);
        *freeBytes = -1;
        if (::access(name.constData(), W_OK) != 0)
            return lastError();
        struct statvfs fs {};
        if (::statvfs(name.constData(), &fs) == 0) {
            if (fs.f_flag & ST_RDONLY)
                return fromErrno(EROFS);
            *freeBytes = qint64(fs.f_bavail) * qint64(fs.f_frsize);
        }
        return {};
    }

    bool processAlive(qint64 pid) override
    {
        if (pid <= 0 || pid != qint64(pid_t(pid)))
            return true;
        // EPERM: it runs, under another user.
        return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
    }
};

} // namespace

Env &platformEnv()
{
    static PosixEnv e;
    return e;
}

} // namespace store::fileio
