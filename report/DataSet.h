#pragma once
// What the report engine reads its values through. The engine knows nothing
// of the store: a window wraps its query objects in DataSets named after them.
#include <QString>
#include <QVariant>

namespace report {

class DataSet {
public:
    virtual ~DataSet() = default;
    virtual QString name() const = 0;   // "AQry_Shtable1", matched ignoring case
    // What a message calls it: the data a user knows (a table), not the
    // name the layout binds it by.
    virtual QString description() const { return name(); }
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    // The current row's value; an invalid QVariant for null. A null prints
    // "0" in a numeric column and nothing in a text column.
    virtual QVariant value(const QString &column) const = 0;
    virtual bool isNumeric(const QString &column) const = 0;
    // Whether the data set has the column (ignoring case). Asked before a
    // value is read from a row, so that a layout naming a column the data
    // set lacks fails with a message instead of printing nothing; a data set
    // that cannot tell keeps the default.
    virtual bool hasColumn(const QString &column) const
    {
        Q_UNUSED(column);
        return true;
    }
};

} // namespace report
