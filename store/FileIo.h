#pragma once
// The one place where the program touches files it writes or tables it reads:
// opening with checks (a regular file only, never blocking on a pipe),
// whole writes with every result checked, syncing, file locks, the rollback
// journal of a table and new files made whole beside their target and then
// renamed. Every platform call goes through the Env (store/Env.h) installed
// for the process; a failure raises store::Error with the reason in Chinese.
#include "store/Env.h"
#include "store/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace store::fileio {

using Lock = LockKind;

// Looking up path as a folder: Ok when it is one, NotDirectory when it is
// something else, or why it cannot be looked at.
Status pathError(const QString &path);

// The reason of a failure, in Chinese ("磁盘空间不足" ...).
QString reason(const Status &status);
// The same for an errno value of a library call (Qt's, the C library's).
QString reason(int error);
Status statusOfErrno(int error);

// Opens an existing table file. Anything that is not a regular file (pipe,
// device, directory) is refused without reading a byte; a symlink loop and a
// missing file are told apart. With a lock, waits (for a bounded time) until
// no other process holds a conflicting one; the lock is on the file itself,
// so that every process of ours respects it, and it is taken again when the
// file was replaced (packed) while waiting.
class File {
public:
    File() = default;
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File();

    static File open(const QString &path, bool write, Lock lock);

    bool isOpen() const { return bool(m_file); }
    bool writable() const { return m_write; }
    const QString &path() const { return m_path; }
    Lock lock() const { return m_lock; }
    qint64 size() const;
    // Which file this is (see FileId).
    FileId id() const { return m_id; }
    // Whether the path still leads to this file (not replaced by a rename).
    bool isStillNamed() const;

    // Reads exactly len bytes at pos; raises on a short read.
    void readAt(qint64 pos, char *data, qint64 len) const;
    // Writes all len bytes at pos in one call.
    void writeAt(qint64 pos, const char *data, qint64 len);
    void truncate(qint64 size);
    void sync();

    // Changes the lock (shared, exclusive or none); the file stays open.
    void relock(Lock lock);
    void close();

private:
    std::shared_ptr<EnvFile> m_file;
    FileId m_id;
    bool m_write = false;
    Lock m_lock = Lock::None;
    QString m_path;
};

// A new file written beside its target and given the target's name only
// when every byte is written and synced: a failure or a kill leaves the
// target as it was and no temporary file once the destructor ran. A kill
// leaves "name~pdeclare-tmp-XXXXXX", removed at the next start (Result/ and
// DataMeta/) or by the next write of the same target in its folder.
//
// Every output of the program goes through here, whatever its target is:
// - a symbolic link (dangling or not): the file it leads to is written as
//   below, and the link stays a link;
// - a named pipe or a character device (/dev/null, a terminal): written
//   into, never replaced. The bytes are gathered in a temporary file of
//   the system's temporary folder and go into the node at commit(), so a
//   failed writer sends nothing. The node is opened (a pipe: once a reader
//   has opened it) when this object is made;
// - a disk (block device), a socket or anything else special: refused.
class NewFile {
public:
    explicit NewFile(const QString &target);
    ~NewFile(); // removes the temporary file unless committed
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    void write(const char *data, qint64 len);
    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    // Syncs, renames over the target (replace) or gives the name only when
    // it is free (!replace: returns false when the target exists).
    bool commit(bool replace = true);
    // The temporary file's name, for a writer that opens it by name (it
    // must write into the same file, not replace it).
    const QString &tempPath() const { return m_temp; }

private:
    [[noreturn]] void fail(const QString &what, const Status &status);
    void openNode(Kind kind);
    void pourIntoNode();
    QString m_target;
    QString m_temp;
    std::unique_ptr<EnvFile> m_file;
    std::unique_ptr<EnvFile> m_node; // the pipe or device written into
    qint64 m_at = 0;
    bool m_done = false;
};

// A NewFile for writers that want a device (QPdfWriter): a failed write is
// kept and raised by commit(), which gives the file its name.
class NewFileDevice : public QIODevice {
public:
    explicit NewFileDevice(const QString &target);
    void commit();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    NewFile m_file;
    std::optional<Error> m_error;
};

// Writes a whole file through NewFile.
void replaceFile(const QString &path, const QByteArray &bytes);

// A new folder filled beside its target and given the target's name only
// when every file in it is whole and synced (the delivered tables copied at
// the first start): a failure leaves nothing once the destructor ran, a
// kill leaves "name~pdeclare-tmp-XXXXXX", which the next start's clean-up
// (removeLeftovers) removes. While it is filled this process holds the lock
// of a marked file in it, so that the clean-up of a process started
// meanwhile leaves it alone.
class NewFolder {
public:
    explicit NewFolder(const QString &target);
    ~NewFolder(); // removes the folder unless committed
    NewFolder(const NewFolder &) = delete;
    NewFolder &operator=(const NewFolder &) = delete;

    const QString &path() const { return m_temp; }
    // Copies source into the folder as name, whole and synced.
    void copyIn(const QString &source, const QString &name);
    // Gives the folder the target's name when that is free; false when it
    // is taken (the folder is then removed).
    bool commit();

private:
    QString m_target;
    QString m_temp;
    QString m_holder;
    std::unique_ptr<EnvFile> m_held;
    bool m_done = false;
};

// The rollback journal of a table: written and synced before the table is
// touched, it holds what puts the table back as it was, and what proves that
// a table found with it later is the one it was written for (see FileIo.cpp).
// It lies beside the table's real file ("result.dbf-journal"), also when the
// table is reached through a symbolic link.
class Journal {
public:
    // Where the journal of an open table lies.
    static QString pathOf(const File &table);
    explicit Journal(File &table); // creates the journal file, never through a link
    ~Journal();                    // removes it when it was never written whole
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;
    // Keeps the bytes of the table at [pos, pos + bytes.size()) as they are
    // (the part inside the file) and what bytes will be written there.
    void save(qint64 pos, QByteArrayView bytes);
    void write(); // journal on disk and synced
    // Writes bytes at pos: the same ranges, in the same order and with the
    // same bytes as saved.
    void put(qint64 pos, QByteArrayView bytes);
    // Table synced, journal removed. Raises (after putting the table back)
    // when what was written is not what was saved.
    void finish();
    // Puts the saved bytes back (after a failed change); true when done.
    bool rollBack();

    // Whether a journal (or anything else) lies where the table's would.
    static bool pending(const File &table);
    // A journal left by a process that ended mid-change: puts the table back
    // as it was before that change, when the journal proves to belong to
    // this table as it is now. Otherwise the table is left as it is, the
    // journal kept aside under a name that says so, and the user told (see
    // notice()). table must be open for writing, under an exclusive lock.
    // Returns true when a journal was found.
    static bool recover(File &table);

private:
    void flush();
    File &m_table;
    QString m_path;
    qint64 m_size = 0;     // the table's size before the change
    qint64 m_newSize = 0;  // and after it
    std::unique_ptr<EnvFile> m_file;
    qint64 m_at = 0;       // bytes of the journal on disk
    QByteArray m_buffer;   // bytes not yet written
    quint64 m_sum = 0;     // checksum of the journal written so far
    quint64 m_planned = 0; // digest of every range to write, as saved
    quint64 m_done = 0;    // and as written
    quint32 m_ranges = 0;
    quint32 m_put = 0;
    bool m_written = false;
    bool m_finished = false;
};

// What the file layer tells the user without stopping the work (a journal
// that was not applied): the handler shows it (a message box, a line on
// standard error). Without one it goes to standard error.
void setNoticeHandler(std::function<void(const QString &)> handler);
void notice(const QString &text);

// Removes the temporary files and folders of this program
// ("*~pdeclare-tmp-XXXXXX") that a kill left in dir; one that a running
// process is writing is left alone, and so is everything without that mark.
void removeLeftovers(const QString &dir);

// Raises store::Error (Io; NotFound for a missing folder) when files cannot
// be saved in dir (read-only, no permission, a full disk); its message is
// the reason alone, for the caller to put into its own sentence.
void requireWritable(const QString &dir);

// Holds an exclusive lock on a file of a program directory for the life of
// the process (a second program on the same directory): false when another
// process holds it. Raises store::Error (Io) when the lock cannot be taken
// (the file is a folder, or cannot be written), saying why and what to do:
// whether another program runs is unknown then.
bool holdInstanceLock(const QString &path);

} // namespace store::fileio
