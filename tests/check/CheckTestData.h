#pragma once
// Test data for the check and backup tests: statements run straight on the
// temporary program directory's tables, rules and findings written and read
// through query objects.
#include "store/Paths.h"
#include "store/Query.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>
#include <vector>

namespace checktest {

inline int exec(const QString &subdir, const QString &sql)
{
    store::Query q;
    q.setDirectory(store::paths::tableDir(subdir));
    q.setSql(sql);
    return q.execSql();
}

inline QString text(const QVariant &v) { return v.isValid() && !v.isNull() ? v.toString() : QString(); }

// Sets yydm (all rows, or those where cond holds).
inline void setProject(const QString &yydm, const QString &where = QString())
{
    exec(QStringLiteral("Result"), QStringLiteral("update result set yydm='%1'").arg(yydm)
                                       + (where.isEmpty() ? QString() : QStringLiteral(" where ") + where));
}

// Replaces every rule of tjjctjk by (Cond, Cont) pairs, in order.
inline void setRules(const std::vector<std::pair<QString, QString>> &rules)
{
    exec(QStringLiteral("DataMeta"), QStringLiteral("delete from tjjctjk"));
    store::Query q;
    q.setDirectory(store::paths::dataMetaDir());
    for (const auto &rule : rules) {
        q.close();
        q.setSql(QStringLiteral("select * from tjjctjk"));
        q.open();
        q.append();
        q.setFieldValue(QStringLiteral("Cond"), rule.first);
        q.setFieldValue(QStringLiteral("Cont"), rule.second);
        q.post();
    }
}

struct Finding {
    QString name1, name2, name3;
};

inline std::vector<Finding> findings()
{
    store::Query q;
    q.setDirectory(store::paths::dataMetaDir());
    q.setSql(QStringLiteral("select * from shtable1"));
    q.open();
    std::vector<Finding> rows;
    for (q.first(); !q.eof(); q.next())
        rows.push_back({text(q.fieldByName(QStringLiteral("name1"))).trimmed(),
                        text(q.fieldByName(QStringLiteral("name2"))).trimmed(),
                        text(q.fieldByName(QStringLiteral("name3"))).trimmed()});
    return rows;
}

inline void addFinding(const QString &name1, const QString &name3)
{
    store::Query q;
    q.setDirectory(store::paths::dataMetaDir());
    q.setSql(QStringLiteral("select * from shtable1"));
    q.open();
    q.append();
    q.setFieldValue(QStringLiteral("name1"), name1);
    q.setFieldValue(QStringLiteral("name2"), QString());
    q.setFieldValue(QStringLiteral("name3"), name3);
    q.post();
}

// The values of one column over the rows of result, in record order.
inline QStringList resultColumn(const QString &column)
{
    store::Query q;
    q.setDirectory(store::paths::resultDir());
    q.setSql(QStringLiteral("select * from result"));
    q.open();
    QStringList values;
    for (q.first(); !q.eof(); q.next())
        values << text(q.fieldByName(column)).trimmed();
    return values;
}

} // namespace checktest
