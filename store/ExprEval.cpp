// The evaluator of operators over one row: three-valued logic, null
// propagation, comparison with the driver's tolerance and blank padding,
// arithmetic on numbers, texts and dates. Calls go to the function table.
#include "store/ExprInternal.h"

#include <algorithm>
#include <cmath>

namespace store::expr {

namespace {

inline bool sameNumber(double a, double b)
{
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) <= 1e-12 * scale;
}

inline Value fromTruth(Truth t) { return t == Truth::Null ? Value::null() : Value::boolean(t == Truth::True); }

// Dates stay within the calendar QDate knows (years 1 to 9999); outside it
// they are null.
inline Value dateOf(double julianDay)
{
    if (!(julianDay >= 1721426.0 && julianDay <= 5373484.0))
        return Value::null();
    return Value::date(qint64(std::llround(julianDay)));
}

} // namespace

Truth Evaluator::truth(const Node &n, const Value &v) const
{
    if (v.kind == Value::Kind::Null)
        return Truth::Null;
    if (v.kind != Value::Kind::Bool)
        needs(n, Value::Kind::Bool, v);
    return v.flag ? Truth::True : Truth::False;
}

int Evaluator::compare(const Node &n, const Value &a, const Value &b) const
{
    if (a.kind == Value::Kind::Null || b.kind == Value::Kind::Null)
        return 2;
    if (a.kind != b.kind)
        mismatch(n, a, b);
    switch (a.kind) {
    case Value::Kind::Number:
    case Value::Kind::Date:
        if (sameNumber(a.number, b.number))
            return 0;
        return a.number < b.number ? -1 : 1;
    case Value::Kind::Text:
        return compareText(a.text, b.text);
    case Value::Kind::Bool:
        return a.flag == b.flag ? 0 : (a.flag ? 1 : -1);
    case Value::Kind::Null:
        break;
    }
    return 2;
}

Value Evaluator::arithmetic(const Node &n, const Value &a, const Value &b) const
{
    if (a.kind == Value::Kind::Null || b.kind == Value::Kind::Null) {
        // Still a type error when the other side can never fit.
        const Value &other = a.kind == Value::Kind::Null ? b : a;
        if (other.kind == Value::Kind::Bool)
            needs(n, Value::Kind::Number, other);
        return Value::null();
    }
    using K = Value::Kind;
    if (a.kind == K::Number && b.kind == K::Number) {
        const double x = a.number, y = b.number;
        switch (n.op) {
        case Node::Op::Add: return finite(x + y);
        case Node::Op::Sub: return finite(x - y);
        case Node::Op::Mul: return finite(x * y);
        case Node::Op::Div: return y == 0.0 ? Value::null() : finite(x / y);
        case Node::Op::Mod: {
            if (y == 0.0)
                return Value::null();
            double r = std::fmod(x, y);
            if (r != 0.0 && ((r < 0) != (y < 0)))
                r += y; // the result takes the divisor's sign, as MOD() does
            return finite(r);
        }
        case Node::Op::Pow: return finite(std::pow(x, y));
        default: break;
        }
    }
    if (a.kind == K::Text && b.kind == K::Text) {
        if (n.op == Node::Op::Add)
            return Value::bytes(a.text + b.text);
        if (n.op == Node::Op::Sub) {
            // Trailing blanks of the left text move to the end of the result.
            const qsizetype keep = withoutTrailingBlanks(a.text);
            QByteArray r = a.text.left(keep) + b.text;
            r.append(QByteArray(a.text.size() - keep, ' '));
            return Value::bytes(r);
        }
    }
    if (a.kind == K::Date && b.kind == K::Number && (n.op == Node::Op::Add || n.op == Node::Op::Sub))
        return dateOf(n.op == Node::Op::Add ? a.number + b.number : a.number - b.number);
    if (a.kind == K::Number && b.kind == K::Date && n.op == Node::Op::Add)
        return dateOf(a.number + b.number);
    if (a.kind == K::Date && b.kind == K::Date && n.op == Node::Op::Sub)
        return Value::num(a.number - b.number);
    mismatch(n, a, b);
}

Value Evaluator::eval(const Node &n) const
{
    switch (n.op) {
    case Node::Op::Literal:
        if (m_literals && n.slot >= 0)
            return (*m_literals)[size_t(n.slot)];
        return n.literal;
    case Node::Op::Column:
        return m_row.column(m_columns[size_t(n.slot)]);
    case Node::Op::Neg: {
        const Value v = eval(*n.kids[0]);
        if (v.kind == Value::Kind::Null)
            return v;
        if (v.kind != Value::Kind::Number)
            needs(n, Value::Kind::Number, v);
        return Value::num(-v.number);
    }
    case Node::Op::Not: {
        const Truth t = truth(n, eval(*n.kids[0]));
        return t == Truth::Null ? Value::null() : Value::boolean(t == Truth::False);
    }
    case Node::Op::And:
    case Node::Op::Or: {
        // False decides an AND and true an OR, even beside a null; the
        // right side is not evaluated once the left one decides.
        const Truth decides = n.op == Node::Op::And ? Truth::False : Truth::True;
        const Truth a = truth(n, eval(*n.kids[0]));
        if (a == decides)
            return fromTruth(decides);
        const Truth b = truth(n, eval(*n.kids[1]));
        if (b == decides)
            return fromTruth(decides);
        return a == Truth::Null || b == Truth::Null ? Value::null() : fromTruth(a);
    }
    case Node::Op::Add:
    case Node::Op::Sub:
    case Node::Op::Mul:
    case Node::Op::Div:
    case Node::Op::Mod:
    case Node::Op::Pow:
        return arithmetic(n, eval(*n.kids[0]), eval(*n.kids[1]));
    case Node::Op::Eq:
    case Node::Op::Ne:
    case Node::Op::Lt:
    case Node::Op::Le:
    case Node::Op::Gt:
    case Node::Op::Ge: {
        const int c = compare(n, eval(*n.kids[0]), eval(*n.kids[1]));
        if (c == 2)
            return Value::null();
        bool r = false;
        switch (n.op) {
        case Node::Op::Eq: r = c == 0; break;
        case Node::Op::Ne: r = c != 0; break;
        case Node::Op::Lt: r = c < 0; break;
        case Node::Op::Le: r = c <= 0; break;
        case Node::Op::Gt: r = c > 0; break;
        default: r = c >= 0; break;
        }
        return Value::boolean(r);
    }
    case Node::Op::Contains:
    case Node::Op::Like: {
        const Value a = eval(*n.kids[0]);
        const Value b = eval(*n.kids[1]);
        if (a.isNull() || b.isNull())
            return Value::null();
        if (a.kind != Value::Kind::Text || b.kind != Value::Kind::Text)
            mismatch(n, a, b);
        if (n.op == Node::Op::Contains)
            return Value::boolean(!a.text.isEmpty() && b.text.contains(a.text));
        return Value::boolean(likeMatch(a.text, b.text) != n.negated);
    }
    case Node::Op::Between: {
        const Value x = eval(*n.kids[0]);
        const Value lo = eval(*n.kids[1]);
        const Value hi = eval(*n.kids[2]);
        const int a = compare(n, x, lo);
        const int b = compare(n, x, hi);
        if (a == 2 || b == 2) {
            // Known to be outside although a bound is null.
            if ((a != 2 && a < 0) || (b != 2 && b > 0))
                return Value::boolean(n.negated);
            return Value::null();
        }
        return Value::boolean((a >= 0 && b <= 0) != n.negated);
    }
    case Node::Op::In: {
        const Value x = eval(*n.kids[0]);
        if (x.isNull())
            return Value::null();
        bool sawNull = false;
        for (size_t i = 1; i < n.kids.size(); ++i) {
            const int c = compare(n, x, eval(*n.kids[i]));
            if (c == 0)
                return Value::boolean(!n.negated);
            sawNull = sawNull || c == 2;
        }
        return sawNull ? Value::null() : Value::boolean(n.negated);
    }
    case Node::Op::IsNull:
        return Value::boolean(eval(*n.kids[0]).isNull() != n.negated);
    case Node::Op::Call:
        return call(n);
    }
    return Value::null();
}

Value Evaluator::call(const Node &n) const
{
    const Function &f = *n.func;
    Call c{*this, n, {}};
    if (f.args != Function::Args::Own) {
        c.args.reserve(n.kids.size());
        for (const auto &kid : n.kids)
            c.args.push_back(eval(*kid));
        if (f.args == Function::Args::NotNull)
            for (const Value &v : c.args)
                if (v.isNull())
                    return Value::null();
    }
    return f.evaluate(c);
}

} // namespace store::expr
