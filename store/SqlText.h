#pragma once
// The plain-text form of a statement's outcome, as pdeclare-cli prints it:
// for a SELECT one line of column names, then one line per row, values
// separated by one TAB, texts without their trailing blanks, numbers in the
// program's shortest decimal form, null as NULL; for any other statement the
// number of records it affected. UTF-8, each line ended by "\n".
#include <QByteArray>
#include <QString>

#include <functional>

namespace store {
class Query;
}

namespace store::sql {

// Runs `statement` against the tables of `dir` and returns its text; raises
// store::Error as the statement does.
QByteArray runAsText(const QString &dir, const QString &statement);
// The same text handed to `sink` a piece at a time (about 64 KB), so that a
// large result never has to be held whole.
void runAsText(const QString &dir, const QString &statement, const std::function<void(const QByteArray &)> &sink);

// One cell: texts lose their trailing blanks, and TAB, CR and LF inside a
// text are written \t \r \n so that a row stays one line.
QString cellText(const QVariant &value);

} // namespace store::sql
