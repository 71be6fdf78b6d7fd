#include "store/SqlText.h"

#include "store/Format.h"
#include "store/Query.h"
#include "store/Sql.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>

namespace store::sql {

QString cellText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return formatNumber(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("T") : QStringLiteral("F");
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        break;
    }
    QString text = value.toString();
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    for (const QChar c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
            text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
            text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
            break;
        }
    }
    return text;
}

QByteArray runAsText(const QString &dir, const QString &statement)
{
    QByteArray out;
    runAsText(dir, statement, [&out](const QByteArray &piece) { out += piece; });
    return out;
}

void runAsText(const QString &dir, const QString &statement, const std::function<void(const QByteArray &)> &sink)
{
    Query q;
    q.setDirectory(dir);
    q.setSql(statement);
    if (!parse(statement)->isSelect()) {
        sink(QByteArray::number(q.execSql()) + '\n');
        return;
    }
    q.open();
    const QStringList names = q.fieldNames();
    QByteArray out = names.join(QLatin1Char('\t')).toUtf8() + '\n';
    QString line;
    for (int row = 0; row < q.recordCount(); ++row) {
        line.clear();
        for (int c = 0; c < names.size(); ++c) {
            if (c > 0)
                line += QLatin1Char('\t');
            line += cellText(q.value(row, names[c]));
        }
        line += QLatin1Char('\n');
        out += line.toUtf8();
        if (out.size() >= 64 * 1024) {
            sink(out);
            out.clear();
        }
    }
    sink(out);
}

} // namespace store::sql
