#pragma once
// A query object seen by the report engine as a data set of the same name.
#include "report/DataSet.h"
#include "store/Query.h"

namespace ui {

class QueryDataSet : public report::DataSet {
public:
    explicit QueryDataSet(store::Query &query) : m_query(query) {}
    QString name() const override { return m_query.objectName(); }
    QString description() const override
    {
        return m_query.tableName().isEmpty() ? QStringLiteral("查询结果") : QStringLiteral("表“%1”").arg(m_query.tableName());
    }
    void first() override;
    void next() override { m_query.next(); }
    bool eof() const override { return m_query.eof(); }
    QVariant value(const QString &column) const override { return m_query.fieldByName(column); }
    bool isNumeric(const QString &column) const override { return m_query.isNumericField(column); }
    bool hasColumn(const QString &column) const override { return m_query.hasField(column); }

private:
    store::Query &m_query;
};

} // namespace ui
