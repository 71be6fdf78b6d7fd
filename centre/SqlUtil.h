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

namespace centre::detail {

inline QString errorText(const QSqlError &e)
{
    QString text = e.databaseText().trimmed();
    return text.isEmpty() ? e.text().trimmed() : text;
}

inline QSqlQuery prepare(Database &db, const QString &sql)
{
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw Error(QStringLiteral("数据库“%1”出错：%2").arg(db.name(), errorText(q.lastError())));
    return q;
}

inline void exec(Database &db, QSqlQuery &q, std::initializer_list<QVariant> values = {})
{
    int i = 0;
    for (const QVariant &v : values)
        q.bindValue(i++, v);
    if (!q.exec())
        throw Error(QStringLiteral("数据库“%1”出错：%2").arg(db.name(), errorText(q.lastError())));
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
