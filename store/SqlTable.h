#pragma once
// Statements run against the table files of one directory: finding the file
// of a table name, evaluating conditions straight on the record bytes, and
// the effects of UPDATE, DELETE and PACK. Query builds on this; pdeclare-cli
// and the benchmarks use it too.
#include "store/DbfTable.h"
#include "store/Expr.h"
#include "store/Sql.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace store::sql {

// The file of table `name` in `dir`: name + ".dbf", the case of the file
// name ignored (result finds result.dbf or RESULT.DBF). Raises when the
// directory or the file is missing.
QString tableFile(const QString &dir, const QString &name);

// Loads the table `name` of `dir` (found as tableFile() does) and tells its path.
// Locked as load() does: shared to read, exclusive to write.
DbfTable openTable(const QString &dir, const QString &name, QString *path,
                   DbfTable::Access access = DbfTable::Access::Read);

// Loads a table for a statement, turning a file fault into a message that
// names the table.
DbfTable loadTable(const QString &path, const QString &name, DbfTable::Access access = DbfTable::Access::Read);

// Column look-up for binding expressions to a table.
class TableSchema : public expr::Schema {
public:
    TableSchema(const DbfTable &table, QString name) : m_table(table), m_name(std::move(name)) {}
    int columnIndex(const QString &name) const override { return m_table.fieldIndex(name); }
    QString tableName() const override { return m_name; }
    QString missingColumn(const QString &name) const override { return m_table.missingField(name, m_name); }
    expr::Value::Kind columnKind(int index) const override;
    quint8 codePage() const override { return m_table.header().codePageMark; }

private:
    const DbfTable &m_table;
    QString m_name;
};

// One record of a table as an expression row. Fields are decoded only when
// an expression reads them, texts stay in their stored bytes.
class RecordRow : public expr::Row {
public:
    explicit RecordRow(const DbfTable &table);
    void setRecord(quint32 record)
    {
        m_record = record;
        m_data = m_table.recordData(record);
    }
    expr::Value column(int index) const override;

private:
    const DbfTable &m_table;
    const std::vector<FieldDef> &m_fields;
    quint32 m_record = 0;
    const char *m_data = nullptr;
};

// The value a table cell reads as in query results: null as an invalid
// QVariant, numbers as double, texts as QString with their blanks.
QVariant cellValue(const DbfTable &table, quint32 record, int field);
// An expression result as the value to store in a field, checked against the
// field's type and width; raises naming the column.
// Texts of v are in the table's code page (codePage, its mark).
QVariant storableValue(const Statement &statement, const NameAt &column, const FieldDef &field, const expr::Value &v,
                       quint8 codePage);
// A value given by a caller (setFieldValue) checked the same way.
QVariant storableValue(const QString &table, const FieldDef &field, const QVariant &v);

// The records of `table` that are not deleted and that `where` (bound, or
// null for all) selects, in record order.
std::vector<quint32> selectRecords(const DbfTable &table, const expr::Expr &where);

// For each row, sets the columns of the first live record of `table` whose
// `keyColumn` equals the row's key (as "where key='…'" selects it), or
// appends a record with that key and those columns. All rows are one change:
// a failure or a kill leaves none of them half saved.
struct KeyedRow {
    QString key;
    std::vector<std::pair<QString, QVariant>> values; // column, value as a caller gives it
};
void saveKeyedRows(const QString &dir, const QString &table, const QString &keyColumn, const std::vector<KeyedRow> &rows);

// Runs a statement other than SELECT against `dir`; returns the number of
// records it changed, marked or removed. Every value is computed and checked
// before the first byte is written.
int execute(const Statement &statement, const QString &dir);

} // namespace store::sql
