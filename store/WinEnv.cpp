// The file layer's platform on Windows: see store/Env.h for what each call
// promises. Paths are wide-character throughout (Chinese folder names) and
// get the \\?\ prefix when long. Every file is opened sharing reading,
// writing and deleting, so that our own processes read, write and replace a
// table side by side; a file that another program holds without sharing (a
// spreadsheet or a FoxPro tool with result.dbf open) answers Busy before
// anything is written.
//
// Locks: LockFileEx locks forbid reading and writing the bytes they cover,
// so a table's shared and exclusive locks are taken on one byte far beyond
// any table's end: they order our processes as flock does on Linux without
// ever stopping a read or write of the data itself.
#include "store/Env.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace store::fileio {

namespace {

Status fromWindows(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS: return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME: return {Errc::NotFound, int(error)};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return {Errc::Exists, int(error)};
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return {Errc::Denied, int(error)};
    case ERROR_WRITE_PROTECT: return {Errc::ReadOnly, int(error)};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {Errc::NoSpace, int(error)};
    case 1295: return {Errc::Quota, int(error)}; // ERROR_DISK_QUOTA_EXCEEDED
    case ERROR_DIRECTORY: return {Errc::NotDirectory, int(error)};
    case ERROR_CANT_RESOLVE_FILENAME: return {Errc::Loop, int(error)};
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return {Errc::NameTooLong, int(error)};
    case ERROR_TOO_MANY_OPEN_FILES: return {Errc::TooManyOpen, int(error)};
    case ERROR_SHARING_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return {Errc::Busy, int(error)};
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING: return {Errc::Locked, int(error)};
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: return {Errc::NoLocks, int(error)};
    case ERROR_FILE_TOO_LARGE: return {Errc::TooBig, int(error)};
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return {Errc::PipeClosed, int(error)};
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
    case ERROR_SECTOR_NOT_FOUND: return {Errc::Io, int(error)};
    default: return {Errc::Other, int(error)};
    }
}

Status lastError() { return fromWindows(GetLastError()); }

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

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The byte the locks are taken on: 2^62, beyond any table.
constexpr DWORD kLockOffsetHigh = 0x40000000;
// FileRenameInfoEx (Windows 10 1709 and later), named in the headers only
// when building for those.
constexpr auto kFileRenameInfoEx = FILE_INFO_BY_HANDLE_CLASS(22);
#ifndef FILE_RENAME_FLAG_REPLACE_IF_EXISTS
#define FILE_RENAME_FLAG_REPLACE_IF_EXISTS 0x00000001
#define FILE_RENAME_FLAG_POSIX_SEMANTICS 0x00000002
#endif

// FAT and exFAT number a file by where its entry lies in its folder: the
// number changes with a rename, so a recorded one proves nothing.
bool persistentIds(HANDLE h)
{
    wchar_t fs[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, fs, MAX_PATH))
        return false;
    const std::wstring name(fs);
    return name != L"FAT" && name != L"FAT32" && name != L"exFAT";
}

Status statOf(HANDLE h, FileStat *out, bool persistent)
{
    switch (GetFileType(h)) {
    case FILE_TYPE_PIPE:
        *out = FileStat{Kind::Pipe, 0, {}};
        return {};
    case FILE_TYPE_CHAR:
        *out = FileStat{Kind::Device, 0, {}};
        return {};
    case FILE_TYPE_DISK: break;
    default:
        *out = FileStat{Kind::Other, 0, {}};
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info))
        return lastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        out->kind = Kind::Link;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        out->kind = Kind::Directory;
    else
        out->kind = Kind::Regular;
    out->size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    out->id = {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow, persistent};
    return {};
}

OVERLAPPED at(qint64 pos)
{
    OVERLAPPED o{};
    o.Offset = DWORD(quint64(pos) & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(quint64(pos) >> 32);
    return o;
}

class WinFile final : public EnvFile {
public:
    // stream: a device or pipe opened with Open::WriteInto, written in order.
    explicit WinFile(HANDLE h, bool stream = false) : m_h(h), m_stream(stream) {}
    ~WinFile() override { CloseHandle(m_h); }

    Status read(qint64 pos, char *data, qint64 len, qint64 *got) override
    {
        *got = 0;
        while (len > 0) {
            OVERLAPPED o = at(pos);
            DWORD n = 0;
            if (!ReadFile(m_h, data, DWORD(std::min<qint64>(len, 1 << 30)), &n, &o)) {
                if (GetLastError() == ERROR_HANDLE_EOF)
                    break;
                return lastError();
            }
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
        while (len > 0) {
            OVERLAPPED o = at(pos);
            DWORD n = 0;
            if (!WriteFile(m_h, data, DWORD(std::min<qint64>(len, 1 << 30)), &n, m_stream ? nullptr : &o))
                return lastError();
            if (n == 0)
                return {Errc::NoSpace, 0};
            data += n;
            len -= n;
            pos += n;
        }
        return {};
    }

    Status stat(FileStat *out) override
    {
        if (m_persistent < 0)
            m_persistent = persistentIds(m_h) ? 1 : 0;
        return statOf(m_h, out, m_persistent == 1);
    }

    Status truncate(qint64 size) override
    {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = size;
        return SetFileInformationByHandle(m_h, FileEndOfFileInfo, &end, sizeof end) ? Status{} : lastError();
    }

    Status sync() override { return FlushFileBuffers(m_h) ? Status{} : lastError(); }

    Status lock(LockKind kind) override
    {
        if (kind == m_held)
            return {};
        // Windows cannot change a lock in place: the held one is let go
        // first, and taken back when the new one cannot be had.
        const LockKind before = m_held;
        if (m_held != LockKind::None) {
            OVERLAPPED o = lockByte();
            UnlockFileEx(m_h, 0, 1, 0, &o);
            m_held = LockKind::None;
        }
        if (kind == LockKind::None)
            return {};
        Status s = take(kind);
        if (!s.ok() && before != LockKind::None && take(before).ok())
            m_held = before;
        return s;
    }

private:
    static OVERLAPPED lockByte()
    {
        OVERLAPPED o{};
        o.OffsetHigh = kLockOffsetHigh;
        return o;
    }

    Status take(LockKind kind)
    {
        OVERLAPPED o = lockByte();
        const DWORD flags = (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
        if (!LockFileEx(m_h, flags, 0, 1, 0, &o))
            return lastError();
        m_held = kind;
        return {};
    }

    HANDLE m_h;
    bool m_stream;
    LockKind m_held = LockKind::None;
    int m_persistent = -1; // not asked yet
};

class WinEnv final : public Env {
public:
    Status open(const QString &path, Open mode, std::unique_ptr<EnvFile> *out) override
    {
        DWORD access = GENERIC_READ;
        DWORD disposition = OPEN_EXISTING;
        DWORD flags = FILE_ATTRIBUTE_NORMAL;
        switch (mode) {
        case Open::Read: break;
        case Open::ReadWrite: access |= GENERIC_WRITE; break;
        case Open::CreateNew:
            // No DELETE access: a writer that opens the new file by its name
            // (libxlsxwriter's fopen shares reading and writing, not
            // deleting) would otherwise be refused it.
            access |= GENERIC_WRITE;
            disposition = CREATE_NEW;
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;
            break;
        case Open::CreateOrOpen:
            access |= GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;
            break;
        case Open::WriteInto: return openToWriteInto(path, out);
        }
        HANDLE h = CreateFileW(wide(path).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE && disposition == OPEN_EXISTING && GetLastError() == ERROR_FILE_NOT_FOUND
            && restoreAside(wide(path)))
            h = CreateFileW(wide(path).c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder answers "access denied" to an open as a file.
            if (error == ERROR_ACCESS_DENIED) {
                const DWORD attributes = GetFileAttributesW(wide(path).c_str());
                if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                    return {Errc::IsDirectory, int(error)};
            }
            return fromWindows(error);
        }
        auto file = std::make_unique<WinFile>(h);
        if (mode == Open::CreateOrOpen) {
            FileStat st;
            if (const Status s = statOf(h, &st, false); !s.ok())
                return s;
            if (st.kind != Kind::Regular)
                return {st.kind == Kind::Directory ? Errc::IsDirectory : Errc::NotRegular, 0};
        }
        *out = std::move(file);
        return {};
    }

    Status stat(const QString &path, Follow follow, FileStat *out) override
    {
        // Reading attributes only: allowed also on a file another program
        // holds without sharing.
        const std::wstring name = wide(path);
        DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
        if (follow == Follow::NoLinks)
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        HANDLE h = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND && restoreAside(name))
            h = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const Status failed = lastError();
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (failed.code != Errc::Busy && failed.code != Errc::Denied)
                return failed;
            if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data))
                return lastError();
            out->kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Directory : Kind::Regular;
            out->size = qint64((quint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
            out->id = {};
            return {};
        }
        const Status s = statOf(h, out, false);
        CloseHandle(h);
        return s;
    }

    Status rename(const QString &from, const QString &to, Replace replace) override
    {
        const std::wstring a = wide(from), b = wide(to);
        if (replace == Replace::Yes && renameByHandle(a, b))
            return {};
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace == Replace::Yes ? MOVEFILE_REPLACE_EXISTING : 0);
        if (MoveFileExW(a.c_str(), b.c_str(), flags))
            return {};
        const DWORD error = GetLastError();
        // "Access denied" on replacing a file that is there: someone holds
        // it open. If every holder lets it be deleted (this program's own
        // tables do), it moves aside and the new file takes its name;
        // otherwise another program holds it without sharing and Windows
        // cannot put a file over it.
        if (replace == Replace::Yes && error == ERROR_ACCESS_DENIED
            && GetFileAttributesW(b.c_str()) != INVALID_FILE_ATTRIBUTES)
            return replaceHeld(a, b) ? Status{} : Status{Errc::Busy, int(error)};
        return fromWindows(error);
    }

    Status remove(const QString &path) override
    {
        const std::wstring name = wide(path);
        if (DeleteFileW(name.c_str()))
            return {};
        const DWORD error = GetLastError();
        // A link to a folder is removed as a folder (the link only).
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = GetFileAttributesW(name.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                && (attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(name.c_str()))
                return {};
        }
        return fromWindows(error);
    }

    // Renames are written through (MOVEFILE_WRITE_THROUGH), and a new
    // file's entry is made durable with the file by FlushFileBuffers.
    Status syncDir(const QString &) override { return {}; }

    Status writableDir(const QString &dir, qint64 *freeBytes) override
    {
        *freeBytes = -1;
        // Folder permissions on Windows are seen by trying: a file made and
        // removed at once (by the system, also when this process is killed).
        const QString name = QStringLiteral("pdeclare-probe~pdeclare-tmp-") + QString::fromStdWString(randomTag());
        const HANDLE h = CreateFileW(wide(QDir(dir).filePath(name)).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return lastError();
        CloseHandle(h);
        ULARGE_INTEGER free{};
        if (GetDiskFreeSpaceExW(wide(dir).c_str(), &free, nullptr, nullptr))
            *freeBytes = qint64(free.QuadPart);
        return {};
    }

    bool processAlive(qint64 pid) override
    {
        if (pid <= 0 || pid > 0xFFFFFFFFLL)
            return true;
        const HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
        if (!p)
            return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
        DWORD code = 0;
        const bool running = !GetExitCodeProcess(p, &code) || code == STILL_ACTIVE;
        CloseHandle(p);
        return running;
    }

private:
    // An existing device (NUL, CON) or pipe (\\.\pipe\...), written in
    // order; a file or folder is refused before anything is written.
    static Status openToWriteInto(const QString &path, std::unique_ptr<EnvFile> *out)
    {
        const std::wstring name = wide(path);
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return {Errc::IsDirectory, 0};
        const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return lastError();
        const DWORD type = GetFileType(h);
        if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
            CloseHandle(h);
            return {Errc::NotRegular, 0};
        }
        *out = std::make_unique<WinFile>(h, true);
        return {};
    }

    // Without renames of POSIX semantics (Wine, FAT, network drives, older
    // systems) Windows puts no file over one that is open, even by this
    // program with delete sharing. The open one is renamed aside first
    // ("name~pdeclare-old-XXXXXX": its handles allow that), the new file
    // takes the free name, and the old one is deleted (it goes when its
    // last handle closes). A kill between the two renames leaves the name
    // free and the old file aside, whole: the next open of the name puts it
    // back (restoreAside), so a reader finds the old table or the new one.
    static bool replaceHeld(const std::wstring &from, const std::wstring &to)
    {
        const std::wstring aside = to + asideMark() + randomTag();
        if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
            return false;
        if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
            MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
            return false;
        }
        DeleteFileW(aside.c_str());
        return true;
    }

    static const std::wstring &asideMark()
    {
        static const std::wstring mark = L"~pdeclare-old-";
        return mark;
    }

    static std::wstring randomTag()
    {
        static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::wstring tag;
        for (int i = 0; i < 6; ++i)
            tag += wchar_t(letters[QRandomGenerator::global()->bounded(62)]);
        return tag;
    }

    // A file missing from its name with an old copy aside (see replaceHeld):
    // the copy that a kill left is put back. True when one was.
    static bool restoreAside(const std::wstring &name)
    {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((name + asideMark() + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return false;
        std::wstring newest;
        FILETIME newestTime{};
        do {
            if (newest.empty() || CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0) {
                newest = found.cFileName;
                newestTime = found.ftLastWriteTime;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        const std::wstring::size_type slash = name.find_last_of(L'\\');
        const std::wstring dir = slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
        return MoveFileExW((dir + newest).c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH);
    }

    // Windows 10 and later rename by an open handle with POSIX semantics,
    // which puts the new file over a table that our own processes still hold
    // open (with delete sharing). Older systems, FAT and Wine refuse it;
    // MoveFileExW then needs the old file closed everywhere.
    static bool renameByHandle(const std::wstring &from, const std::wstring &to)
    {
        const HANDLE h = CreateFileW(from.c_str(), DELETE | SYNCHRONIZE | GENERIC_WRITE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        std::vector<char> info(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t), 0);
        const DWORD renameFlags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        std::memcpy(info.data(), &renameFlags, sizeof renameFlags); // Flags shares its place with ReplaceIfExists
        auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(info.data());
        rename->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, to.c_str(), to.size() * sizeof(wchar_t));
        const bool done = SetFileInformationByHandle(h, kFileRenameInfoEx, info.data(), DWORD(info.size()));
        if (done)
            FlushFileBuffers(h); // the file's new name with its metadata
        CloseHandle(h);
        return done;
    }
};

} // namespace

Env &platformEnv()
{
    static WinEnv e;
    return e;
}

} // namespace store::fileio
