#pragma once
// Conditions and value expressions in the xBase syntax that rule conditions
// and WHERE texts use:
//
//   = == <> # != < > <= >= $      + - * / % ^ **      AND OR NOT .AND. .OR. .NOT. !
//   x [NOT] LIKE 'a%_'   x [NOT] BETWEEN a AND b   x [NOT] IN (a, b)   x IS [NOT] NULL
//   'text' "text" [text]   12 1.5 .5   .T. .F. .NULL. NULL   column   FUNC(args)
//
// Precedence, lowest first: OR, AND, NOT, = == <> # != (and LIKE BETWEEN IN IS),
// < > <= >= $, + -, * / %, ** ^, unary + -.
//
// Semantics of the FoxPro driver with Collate=Machine, Null=Yes, ANSI on:
// texts compare with the shorter one padded with blanks, byte by byte in the
// table's code page (GBK); any comparison or arithmetic with a null is null;
// AND/OR/NOT are three-valued; a condition that is null selects nothing.
// Numbers compare with a tolerance of 1e-12 relative, so a sum of figures
// with two decimals equals the figure it should (0.1 + 0.2 = 0.3). Division
// or modulo by zero gives null instead of stopping the statement.
//
// An expression is parsed once (Expr::parse, or as part of a statement) into
// an immutable tree shared by its copies; bind() resolves its column names
// against one table and evaluate()/test() then run it over any number of rows.
#include "store/Error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace store::expr {

// One value during evaluation. Texts are kept as bytes in the code page of
// the table the expression is bound to (text literals are encoded in it when
// the expression is bound), blanks included, so a scan needs no decoding.
struct Value {
    enum class Kind : quint8 { Null, Bool, Number, Text, Date };
    Kind kind = Kind::Null;
    bool flag = false;      // Bool
    double number = 0.0;    // Number; Date: Julian day number
    QByteArray text;        // Text

    static Value null() { return Value(); }
    static Value boolean(bool b) { Value v; v.kind = Kind::Bool; v.flag = b; return v; }
    static Value num(double d) { Value v; v.kind = Kind::Number; v.number = d; return v; }
    static Value bytes(const QByteArray &b) { Value v; v.kind = Kind::Text; v.text = b; return v; }
    static Value string(const QString &s); // encodes to GBK
    static Value date(qint64 julianDay) { Value v; v.kind = Kind::Date; v.number = double(julianDay); return v; }

    bool isNull() const { return kind == Kind::Null; }
    QString toQString() const; // Text decoded from GBK; other kinds in their printed form
};

enum class Truth { False, True, Null };

// Resolves column names when an expression is bound to a table.
class Schema {
public:
    virtual ~Schema() = default;
    virtual int columnIndex(const QString &name) const = 0; // ignores case; -1 when absent
    virtual QString tableName() const = 0;                  // for error messages
    // Why a name is no column, for the message (absent, or a column the
    // program does not read).
    virtual QString missingColumn(const QString &name) const;
    // The kind of value a column gives (Null: not known), for the type
    // check when an expression is bound.
    virtual Value::Kind columnKind(int /*index*/) const { return Value::Kind::Null; }
    // The code page mark of the table's texts (GBK unless told otherwise).
    virtual quint8 codePage() const;
};

// One row being evaluated: the value of a column by the index Schema gave.
class Row {
public:
    virtual ~Row() = default;
    virtual Value column(int index) const = 0;
};

struct Node;

class Expr {
public:
    static constexpr int maxTextLength = 32768; // characters of a statement or condition
    static constexpr int maxDepth = 200;        // nesting of operators, parentheses and calls

    Expr();
    // Parses a whole text as one expression; a syntax error raises store::Error
    // quoting the text with the position and the token where parsing stopped.
    static Expr parse(const QString &text);

    bool isNull() const { return !m_root; }
    // Resolves every column name; a missing one raises store::Error naming the
    // column and the table and quoting the text. The operands of every
    // operator and function are then checked against the columns' kinds, so
    // that a type error is found here, on any table, and not only when a row
    // happens to evaluate the faulty part.
    void bind(const Schema &schema);
    // bind(), and the whole must be a condition (logical) as test() needs.
    void bindCondition(const Schema &schema);
    // The kind of the result as known after bind(); Null when not known.
    Value::Kind resultKind() const { return m_kind; }
    bool isBound() const { return m_bound; }

    Value evaluate(const Row &row) const;
    // Evaluates a condition: a result that is not logical (or null) raises.
    Truth test(const Row &row) const;
    bool holds(const Row &row) const { return test(row) == Truth::True; }

    QStringList columnNames() const;            // distinct, in first-use order
    const std::vector<int> &boundColumns() const { return m_columns; } // same order, after bind()
    const QString &sourceText() const;          // the text the expression was parsed from

    // Internal: made by the statement parser.
    struct Source;
    Expr(std::shared_ptr<const Node> root, std::shared_ptr<const Source> source, QStringList names);

private:
    std::shared_ptr<const Node> m_root;
    std::shared_ptr<const Source> m_source;
    std::shared_ptr<const QStringList> m_names; // distinct column names, by slot
    std::vector<int> m_columns; // slot -> column index, after bind()
    // Text literals in the bound table's code page, by slot, when it is not GBK.
    std::shared_ptr<const std::vector<Value>> m_literals;
    Value::Kind m_kind = Value::Kind::Null;
    bool m_bound = false;
};

// Helpers shared with the statement code.
QByteArray encodeText(const QString &text);    // QString -> GBK (store/FieldCodec for other code pages)
QString decodeText(const QByteArray &bytes);   // GBK -> QString
// Compares two texts the way '=' and '<' do: shorter padded with blanks, by byte.
int compareText(const QByteArray &a, const QByteArray &b);
// LIKE: '%' any run, '_' one character (a GBK double-byte character counts as
// one); case-sensitive; trailing blanks of both sides are ignored.
bool likeMatch(const QByteArray &text, const QByteArray &pattern);

} // namespace store::expr
