#pragma once
// A query object shaped like the windows use it: a directory of free tables, a statement text, and for a SELECT the rows it returned with a
// current row. Every window builds its own query objects; nothing is shared
// between them but the files.
//
//   q.close(); q.clearSql(); q.setSql("select * from result "); q.open();
//   for (q.first(); !q.eof(); q.next()) use(q.fieldByName("yydm"));
//
// Statements: SELECT * | col, ... FROM t [WHERE e], UPDATE t SET col = e [, ...]
// [WHERE e], DELETE FROM t [WHERE e], PACK t. Deleted records are invisible to
// every statement. A post or an executed statement is on disk when the call
// returns. Failures raise store::Error.
#include "store/Error.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace store {

class Query {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Query(const QString &objectName = QString());
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // The name a window or a report layout finds the query by
    // ("[AQry_Shtable1."name1"]"). Never part of a message: those name the
    // table and the statement.
    QString objectName() const;
    void setObjectName(const QString &name);

    // The folder whose free tables the statements name (closes the query).
    void setDirectory(const QString &dir);
    QString directory() const;

    void close(); // drops rows and any pending edit
    void clearSql();
    void setSql(const QString &sql);
    QString sql() const;

    void open();    // runs a SELECT; the first row becomes current
    int execSql();  // runs any other statement; returns the records affected

    bool isOpen() const;
    // The table of the open SELECT, as the statement names it; empty when
    // none is open.
    QString tableName() const;
    State state() const;

    // Rows of an open SELECT, in record order.
    int recordCount() const;
    int recNo() const; // 0-based current row; -1 when there is none
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);
    bool eof() const; // past the last row (or no rows)
    bool bof() const;

    QStringList fieldNames() const;          // columns of the result, as stored
    bool hasField(const QString &name) const; // ignores case
    bool isNumericField(const QString &name) const;
    // Current row (or the edit buffer in Edit/Insert). Null is an invalid
    // QVariant; numbers are double, texts QString with trailing blanks kept.
    QVariant fieldByName(const QString &name) const;
    QVariant value(int row, const QString &name) const;

    // Editing a SELECT of all columns of one table.
    void edit();   // current row into edit mode; on no rows starts a new blank row (Insert)
    void append(); // a new blank row (Insert)
    void setFieldValue(const QString &name, const QVariant &value);
    void post();   // writes the record to the file
    void cancel();

    // First row, from the top, whose column begins with text (partial) or
    // equals it (!partial); on success it becomes the current row.
    bool locate(const QString &column, const QString &text, bool caseInsensitive, bool partial);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace store
