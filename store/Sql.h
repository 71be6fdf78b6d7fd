#pragma once
// The statements the program issues, parsed once into a shared form:
//
//   SELECT * | col [, col ...] FROM t [WHERE cond]
//   UPDATE t SET col = expr [, col = expr ...] [WHERE cond]
//   DELETE [FROM] t [WHERE cond]
//   PACK t
//
// Keywords and names ignore case; a table may be written with its ".dbf";
// blanks around the text and one closing ';' are allowed. A syntax error
// raises store::Error quoting the statement with the position and token.
#include "store/Expr.h"

#include <QString>

#include <memory>
#include <vector>

namespace store::sql {

struct NameAt {
    QString name;
    int pos = 0;    // 0-based character position in the statement
    int length = 0;
};

struct Assignment {
    NameAt column;
    expr::Expr value;
};

struct Statement {
    enum class Kind { Select, Update, Delete, Pack };
    Kind kind = Kind::Select;
    QString text;
    NameAt table;
    bool allColumns = false;          // SELECT *
    std::vector<NameAt> columns;      // SELECT col, ...
    std::vector<Assignment> assignments;
    expr::Expr where;                 // isNull() when there is no WHERE

    bool isSelect() const { return kind == Kind::Select; }
};

// Parses a statement; identical texts share one parse (a small cache), so
// statements run again and again cost their parse once.
std::shared_ptr<const Statement> parse(const QString &text);

// Raises store::Error quoting the statement, pointing at a name of it.
[[noreturn]] void failAtName(const Statement &statement, const NameAt &name, const QString &what,
                             ErrorKind kind = ErrorKind::Syntax);

} // namespace store::sql
