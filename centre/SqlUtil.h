#pragma once
// Inside the centre core: prepared statements that raise centre::Error with
// the database's own message instead of returning false.
#include "centre/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <QDateTime>
#include <QTimeZone>

#include <initializer_list>

#include <cerrno>

namespace centre::detail {

// What a failed statement says, in Chinese first: SQLite's read-only, full
// disk, I/O and not-a-database failures are named as such (each asks for a
// different remedy), with the database's own words after them. A server
// that says nothing (a connection cut) is still given a reason.
inline QString reasonText(int sqliteCode, const QString &words, int systemErrno = 0)
{
    QString what;
    // The system's own error, where SQLite kept it, says more than SQLite's
    // code: a write that found the disk full may come back as an I/O error.
#ifdef EDQUOT
    if (systemErrno == EDQUOT)
        systemErrno = ENOSPC;
#endif
    if (systemErrno == ENOSPC)
        sqliteCode = 13;
    else if (systemErrno == EROFS || systemErrno == EACCES)
        sqliteCode = 8;
    switch (sqliteCode & 0xff) {
    case 3: what = QStringLiteral("没有访问数据库文件的权限"); break;                 // SQLITE_PERM
    case 5: case 6: what = QStringLiteral("数据库正被其他程序占用，等待超时"); break; // BUSY, LOCKED
    case 8: what = QStringLiteral("数据库是只读的（文件、所在文件夹或磁盘不可写）"); break; // READONLY
    case 10: what = QStringLiteral("读写磁盘出错"); break;                            // IOERR
    case 11: what = QStringLiteral("数据库文件已损坏"); break;                        // CORRUPT
    case 13: what = QStringLiteral("磁盘已满"); break;                                 // FULL
    case 14: what = QStringLiteral("无法打开数据库文件"); break;                      // CANTOPEN
    case 26: what = QStringLiteral("不是数据库文件"); break;                          // NOTADB
    default: break;
    }
    const QString said = words.trimmed();
    if (what.isEmpty())
        return said.isEmpty() ? QStringLiteral("与数据库的连接中断，数据库没有给出原因") : said;
    return said.isEmpty() ? what : QStringLiteral("%1（%2）").arg(what, said);
}

inline QString errorText(const QSqlError &e, bool sqlite)
{
    QString text = e.databaseText().trimmed();
    if (text.isEmpty())
        text = e.driverText().trimmed();
    // SQLite's codes are its result codes; PostgreSQL's are SQLSTATEs,
    // whose words say enough.
    return reasonText(sqlite ? e.nativeErrorCode().toInt() : 0, text);
}

// What a failed statement means to its caller, from SQLite's (extended)
// result code: another reviewer holding the database past the wait is Busy;
// a unique key taken by another reviewer's collect a moment ago is a
// Conflict (the same file stored again sees the rows as they are now); a
// damaged file is CorruptFile; a refused read or write is Io.
inline store::ErrorKind sqliteKind(int code, int systemErrno = 0)
{
#ifdef EDQUOT
    if (systemErrno == EDQUOT)
        return store::ErrorKind::Io;
#endif
    if (systemErrno == ENOSPC || systemErrno == EROFS || systemErrno == EACCES)
        return store::ErrorKind::Io;
    switch (code) {
    case 1555: // SQLITE_CONSTRAINT_PRIMARYKEY
    case 2067: // SQLITE_CONSTRAINT_UNIQUE
    case 19:   // SQLITE_CONSTRAINT without its detail (Qt's driver gives only the primary code)
        return store::ErrorKind::Conflict;
    default: break;
    }
    switch (code & 0xff) {
    case 5: case 6: return store::ErrorKind::Busy;                                // BUSY, LOCKED
    case 11: case 26: return store::ErrorKind::CorruptFile;                       // CORRUPT, NOTADB
    case 3: case 8: case 10: case 13: case 14: return store::ErrorKind::Io;       // PERM, READONLY, IOERR, FULL, CANTOPEN
    default: return store::ErrorKind::Other;
    }
}

// The same from PostgreSQL's SQLSTATE: a unique key taken meanwhile, a
// serialisation failure or a deadlock is a Conflict, a lock not granted
// Busy, a lost connection Io.
inline store::ErrorKind sqlStateKind(const QString &state)
{
    if (state == QLatin1String("23505") || state == QLatin1String("40001") || state == QLatin1String("40P01"))
        return store::ErrorKind::Conflict;
    if (state == QLatin1String("55P03"))
        return store::ErrorKind::Busy;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("53")) || state.startsWith(QLatin1String("58")))
        return store::ErrorKind::Io;
    return store::ErrorKind::Other;
}

inline store::ErrorKind errorKind(const QSqlError &e, bool sqlite)
{
    if (sqlite)
        return sqliteKind(e.nativeErrorCode().toInt());
    if (e.type() == QSqlError::ConnectionError && e.nativeErrorCode().isEmpty())
        return store::ErrorKind::Io;
    return sqlStateKind(e.nativeErrorCode());
}

// A failed statement as the one error shape: "数据库“name”出错：" and the reason.
inline Error statementError(Database &db, const QSqlError &e)
{
    const bool sqlite = !db.isPostgres();
    return Error(errorKind(e, sqlite), QStringLiteral("数据库“%1”出错：%2").arg(db.shown(), errorText(e, sqlite)));
}

inline QSqlQuery prepare(Database &db, const QString &sql)
{
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw statementError(db, q.lastError());
    return q;
}

inline void exec(Database &db, QSqlQuery &q, std::initializer_list<QVariant> values = {})
{
    int i = 0;
    for (const QVariant &v : values)
        q.bindValue(i++, v);
    if (!q.exec())
        throw statementError(db, q.lastError());
}

// Times as stored: ISO 8601 UTC with milliseconds, which sort as text.
inline QString timeText(const QDateTime &t) { return t.toUTC().toString(Qt::ISODateWithMs); }
inline QDateTime timeFromText(const QString &s)
{
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

} // namespace centre::detail
