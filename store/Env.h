#pragma once
// The platform under the file layer (store/FileIo). Every call of the file
// layer that opens, reads, writes, truncates, syncs, locks, renames or
// removes a file, or looks at one, goes through the Env installed with
// setEnv(): the program runs on its platform's own (posixEnv() here, a
// Windows one beside it), tests install one that wraps it and fails the N-th
// change or ends the process after it (tests/support/FaultEnv.h). Nothing
// else in the program makes these calls, so no test hook lives in the
// program itself.
//
// The interface is platform-neutral on purpose: paths are QStrings, offsets
// and sizes qint64, results a Status. Beside each call is what it must
// guarantee; the file layer relies on that and on nothing more, so that an
// Env for another platform that keeps these promises keeps the tables safe.
#include <QString>
#include <QtGlobal>

#include <memory>

namespace store::fileio {

// What went wrong, in terms every platform can give. An Env maps its own
// codes (errno, GetLastError) onto these; anything else is Other, with the
// platform's code in Status::system for the message.
enum class Errc {
    Ok,
    NotFound,     // no such file or folder (ENOENT; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND)
    Exists,       // the name is taken (EEXIST; ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS)
    Denied,       // no permission (EACCES, EPERM; ERROR_ACCESS_DENIED)
    ReadOnly,     // a read-only file system or medium (EROFS; ERROR_WRITE_PROTECT)
    NoSpace,      // the disk is full (ENOSPC; ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL)
    Quota,        // the user's quota is used up (EDQUOT)
    IsDirectory,  // a folder where a file was expected
    NotDirectory, // a file where a folder was expected in the path
    Loop,         // the path's symbolic links form a loop
    NameTooLong,
    TooManyOpen,  // out of file handles (EMFILE, ENFILE)
    Busy,         // another program has the file in a way that forbids this (EBUSY; ERROR_SHARING_VIOLATION)
    Locked,       // lock(): another holder has a conflicting lock (EWOULDBLOCK; ERROR_LOCK_VIOLATION)
    NoLocks,      // lock(): the file system keeps no locks (ENOLCK, EOPNOTSUPP)
    TooBig,       // beyond the largest file the file system holds (EFBIG)
    Io,           // the medium failed (EIO; ERROR_CRC, a removed USB stick)
    NotRegular,   // open(): a link, pipe or device where the mode allows none
    PipeClosed,   // the reader of a pipe has gone (EPIPE; ERROR_BROKEN_PIPE, ERROR_NO_DATA)
    Other,
};

struct Status {
    Errc code = Errc::Ok;
    int system = 0; // the platform's own code, shown for Other
    bool ok() const { return code == Errc::Ok; }
};

enum class Kind { Regular, Directory, Link, Pipe, Device, Other };

// Which file a name leads to. Two open files with equal ids are one file
// (while both are open). persistent: the number is the file system's own
// and survives a remount and a restart; false where the platform makes it
// up while the volume is mounted (Linux's FAT and exFAT drivers do), so that
// a number recorded by an earlier process proves nothing.
struct FileId {
    quint64 volume = 0;
    quint64 file = 0;
    bool persistent = false;
    bool operator==(const FileId &o) const { return volume == o.volume && file == o.file; }
    bool operator!=(const FileId &o) const { return !(*this == o); }
    bool operator<(const FileId &o) const { return volume != o.volume ? volume < o.volume : file < o.file; }
};

struct FileStat {
    Kind kind = Kind::Other;
    qint64 size = 0;
    FileId id;
};

enum class LockKind { None, Shared, Exclusive };

// An open file. Destroying it closes it and ends its lock.
class EnvFile {
public:
    virtual ~EnvFile() = default;
    // Up to len bytes at pos into data; *got is less than len only at the
    // end of the file. Interrupted calls are retried inside.
    virtual Status read(qint64 pos, char *data, qint64 len, qint64 *got) = 0;
    // All len bytes at pos (growing the file as needed), or a failure; never
    // a short write reported as done. A failure may leave part written.
    virtual Status write(qint64 pos, const char *data, qint64 len) = 0;
    // Kind, size and id of this open file (not of whatever the name leads
    // to now).
    virtual Status stat(FileStat *out) = 0;
    virtual Status truncate(qint64 size) = 0;
    // The file's bytes and size are on the medium when this returns Ok
    // (fsync; FlushFileBuffers).
    virtual Status sync() = 0;
    // Takes, changes or (None) ends this open file's lock without waiting:
    // Locked when another open file holds a conflicting one (another process,
    // or another EnvFile of this process: the file layer keeps one per file
    // and process), NoLocks when the file system keeps none. A lock ends
    // with the EnvFile at the latest, and with its process however it ends.
    // It binds only programs that lock too: it must never stop another
    // EnvFile of this process from reading or writing the file (on Windows,
    // where LockFileEx forbids I/O to the bytes it covers, lock a byte far
    // past any data, not the data).
    virtual Status lock(LockKind kind) = 0;
};

enum class Open {
    // An existing file, links followed. Must not wait (a named pipe without
    // a writer), nor give the process a controlling terminal; the caller
    // looks at the kind with stat() and refuses what is no regular file.
    Read,
    ReadWrite,
    // A new file, read and write, with the permissions of the user's other
    // new files. Exists when the name is taken by anything at all (a
    // dangling link included); a link at the name is never followed.
    CreateNew,
    // An existing regular file or else a new one, read and write. A link,
    // folder, pipe or device at the name is refused (NotRegular, IsDirectory)
    // and never followed or opened.
    CreateOrOpen,
    // An existing character device or named pipe (links followed), for
    // writing into it as a shell's redirection does: nothing is created,
    // truncated or renamed. The bytes go out in the order of the write()
    // calls (their pos is not used: a pipe has no positions). Waits for a
    // reader of a named pipe. Anything else at the name, a disk (block
    // device) included, is refused (NotRegular, IsDirectory) without being
    // written; NotFound when there is nothing.
    WriteInto,
};

enum class Follow { Links, NoLinks };
enum class Replace { Yes, No };

class Env {
public:
    virtual ~Env() = default;
    virtual Status open(const QString &path, Open mode, std::unique_ptr<EnvFile> *out) = 0;
    // What the name leads to (Follow::Links) or the name itself (a link
    // reports Kind::Link). NotFound when there is nothing.
    virtual Status stat(const QString &path, Follow follow, FileStat *out) = 0;
    // Gives `from` the name `to` in one step: a reader of `to` sees the old
    // file or the new one, never a part (rename; MoveFileExW with
    // MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). Replace::No gives
    // the name only when it is free (Exists otherwise) and never replaces
    // anything, a link included. Both names are in one folder.
    virtual Status rename(const QString &from, const QString &to, Replace replace) = 0;
    // Removes the name (a link itself, never what it leads to); NotFound
    // when there is none.
    virtual Status remove(const QString &path) = 0;
    // Names made, renamed or removed in dir are on the medium when this
    // returns (a platform whose rename is written through returns Ok).
    virtual Status syncDir(const QString &dir) = 0;
    // Whether new files can be made in dir now (ReadOnly, Denied ...), and
    // the bytes free for this user there (-1 when unknown).
    virtual Status writableDir(const QString &dir, qint64 *freeBytes) = 0;
    // Whether a process with this id is running now (kill(pid, 0);
    // OpenProcess). True when that cannot be told: a lock file is taken over
    // only from a holder known to be gone.
    virtual bool processAlive(qint64 pid) = 0;
    // Lets ms milliseconds pass before the file layer asks for a lock again.
    // The wait is the file layer's own; an Env for tests may let it pass at
    // once, so that a lock held elsewhere is reported without the real wait.
    virtual void pause(int ms);
};

// The Env the file layer uses: the one installed, else the platform's own.
Env &env();
// Installs env for the whole process (not owned; it must outlive its use);
// nullptr goes back to the platform's own. Call before other threads use
// the file layer.
void setEnv(Env *env);
// The platform's own Env.
Env &platformEnv();

} // namespace store::fileio
