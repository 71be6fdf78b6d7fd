#pragma once
// Internal to the expression engine: what its pieces share.
//   ExprLexer.cpp      tokens and the error message that points into the text
//   ExprParser.cpp     tokens -> tree
//   Expr.cpp           Expr: parse, bind, evaluate; values
//   ExprTypes.cpp      the type check run when an expression is bound
//   ExprEval.cpp       the evaluator of operators
//   ExprFunctions.cpp  the built-in functions, one table entry each
//   ExprText.cpp       GBK characters, text comparison, LIKE
#include "store/ExprNode.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <vector>

namespace store::expr {

// ---------------------------------------------------------------- texts

// Length in bytes of the character that starts at p (GBK: a lead byte
// 0x81..0xFE followed by a trail byte makes one character).
inline int charBytes(const char *p, const char *end)
{
    const unsigned char c = static_cast<unsigned char>(*p);
    return (c >= 0x81 && c <= 0xFE && p + 1 < end) ? 2 : 1;
}

std::vector<int> charStarts(const QByteArray &s); // byte offset of each character
qsizetype withoutTrailingBlanks(const QByteArray &s); // length without them
// count characters from the firstChar-th (0-based), clamped to the text.
QByteArray charSlice(const QByteArray &s, qsizetype firstChar, qsizetype count);

// ---------------------------------------------------------------- messages

QString quoted(const QString &s); // "s"
QString kindName(Value::Kind k);  // 数值, 文字 ...
// The type errors, raised at the operator or call n (ExprTypes.cpp).
[[noreturn]] void failMismatch(const Expr::Source &source, const Node &n, Value::Kind a, Value::Kind b);
[[noreturn]] void failNeeds(const Expr::Source &source, const Node &n, Value::Kind wanted, Value::Kind got);

// ---------------------------------------------------------------- evaluation

// A number, or null when it is not finite (an overflow, 0 ** -1).
inline Value finite(double d) { return std::isfinite(d) ? Value::num(d) : Value::null(); }

// Runs a bound expression over one row. Type errors are raised where the
// operator or the call stands in the text.
class Evaluator {
public:
    Evaluator(const Expr::Source &source, const std::vector<int> &columns, const std::vector<Value> *literals, const Row &row)
        : m_source(source), m_columns(columns), m_literals(literals), m_row(row)
    {
    }

    Value eval(const Node &n) const;

    // -1, 0, 1; 2 when either side is null. Values of two kinds raise.
    int compare(const Node &n, const Value &a, const Value &b) const;
    Truth truth(const Node &n, const Value &v) const; // raises unless logical or null
    [[noreturn]] void mismatch(const Node &n, const Value &a, const Value &b) const
    {
        failMismatch(m_source, n, a.kind, b.kind);
    }
    [[noreturn]] void needs(const Node &n, Value::Kind wanted, const Value &got) const
    {
        failNeeds(m_source, n, wanted, got.kind);
    }

private:
    Value arithmetic(const Node &n, const Value &a, const Value &b) const;
    Value call(const Node &n) const;

    const Expr::Source &m_source;
    const std::vector<int> &m_columns;
    const std::vector<Value> *m_literals; // text literals in the table's code page
    const Row &m_row;
};

// The kinds of values an expression works on, found from the columns'
// kinds without a row: the same type errors the evaluator raises, raised for
// any part of the expression, whichever rows the table holds. Null stands
// for a kind not known here (a null literal, IIF branches of two kinds); it
// raises nothing.
class TypeCheck {
public:
    using K = Value::Kind;
    TypeCheck(const Expr::Source &source, const std::vector<int> &columns, const Schema &schema)
        : m_source(source), m_columns(columns), m_schema(schema)
    {
    }

    K kind(const Node &n) const;

    [[noreturn]] void mismatch(const Node &n, K a, K b) const { failMismatch(m_source, n, a, b); }
    void need(const Node &n, K wanted, K got) const // got may be unknown (Null)
    {
        if (got != K::Null && got != wanted)
            failNeeds(m_source, n, wanted, got);
    }
    K same(const Node &n, K a, K b) const;           // compared operands: one kind, or unknown

private:
    K arithmetic(const Node &n, K a, K b) const;
    K call(const Node &n) const;

    const Expr::Source &m_source;
    const std::vector<int> &m_columns;
    const Schema &m_schema;
};

// ---------------------------------------------------------------- functions

// One call being evaluated, as a function sees it.
struct Call {
    const Evaluator &ev;
    const Node &node;
    std::vector<Value> args; // empty when the function evaluates its own arguments

    Value eval(size_t i) const { return ev.eval(*node.kids[i]); }
    double number(size_t i) const;          // args[i]; raises unless a number
    const QByteArray &text(size_t i) const; // args[i]; raises unless a text
};

// One call being type-checked: the kinds of its arguments.
struct CallKinds {
    const TypeCheck &check;
    const Node &node;
    std::vector<Value::Kind> args;
};

// A built-in function: everything the parser, the type check and the
// evaluator know of it.
struct Function {
    static constexpr int anyCount = 255; // maxArgs of MAX, MIN, INLIST

    // How the arguments reach the function.
    enum class Args : quint8 {
        Own,      // unevaluated: the function evaluates those it needs
        Values,   // evaluated, nulls included: the function decides what a null gives
        NotNull,  // evaluated; a null among them makes the result null
    };

    const char *name;
    int minArgs;
    int maxArgs;
    Args args;
    Value::Kind (*kind)(const CallKinds &); // checks the arguments' kinds, gives the result's
    Value (*evaluate)(const Call &);
};

// Exact name first; then, as xBase allows, an abbreviation of at least four
// letters. Null when there is no such function.
const Function *findFunction(const QString &name);

} // namespace store::expr
