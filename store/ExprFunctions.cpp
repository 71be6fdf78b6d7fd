// The built-in functions of conditions. Each is one entry of the table at
// the end of this file: its name, how many arguments it takes, how its
// arguments reach it, the kinds it needs and gives (checked when the
// expression is bound), and what it computes. The parser, the type check
// and the evaluator all read the same entry.
#include "store/ExprInternal.h"

#include "store/FieldCodec.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace store::expr {

double Call::number(size_t i) const
{
    const Value &v = args[i];
    if (v.kind != Value::Kind::Number)
        ev.needs(node, Value::Kind::Number, v);
    return v.number;
}

const QByteArray &Call::text(size_t i) const
{
    const Value &v = args[i];
    if (v.kind != Value::Kind::Text)
        ev.needs(node, Value::Kind::Text, v);
    return v.text;
}

namespace {

using K = Value::Kind;
using Args = Function::Args;

// ---------------------------------------------------------------- kinds

// A fixed signature: the arguments' kinds in order, the last one standing
// for any further arguments, and the kind of the result.
template <K Result, K... Params>
K fixed(const CallKinds &c)
{
    static constexpr K params[] = {Params...};
    for (size_t i = 0; i < c.args.size(); ++i)
        c.check.need(c.node, params[std::min(i, std::size(params) - 1)], c.args[i]);
    return Result;
}

// Any argument; a logical result (EMPTY, ISNULL).
K anyToLogical(const CallKinds &) { return K::Bool; }

// Arguments compared with the first; a logical result (BETWEEN, INLIST).
K comparedToLogical(const CallKinds &c)
{
    for (size_t i = 1; i < c.args.size(); ++i)
        c.check.same(c.node, c.args[0], c.args[i]);
    return K::Bool;
}

// Arguments of one kind, which is the result's (MAX, MIN).
K oneKind(const CallKinds &c)
{
    K k = c.args[0];
    for (size_t i = 1; i < c.args.size(); ++i)
        k = c.check.same(c.node, k, c.args[i]);
    return k;
}

// Either of two values: known when both are of one kind.
K eitherOf(K a, K b) { return a == b ? a : K::Null; }

K iifKind(const CallKinds &c)
{
    c.check.need(c.node, K::Bool, c.args[0]);
    return eitherOf(c.args[1], c.args[2]);
}

K nvlKind(const CallKinds &c) { return eitherOf(c.args[0], c.args[1]); }

// ---------------------------------------------------------------- values

// A count or position argument, clamped so that a huge or odd figure stays
// a defined integer (LEFT(x, 1e300) is all of x).
qsizetype countOf(double d)
{
    if (!(d == d))
        return 0;
    return qsizetype(std::max(-1e9, std::min(1e9, std::trunc(d))));
}

Value iif(const Call &c)
{
    const Truth t = c.ev.truth(c.node, c.eval(0));
    return c.eval(t == Truth::True ? 1 : 2);
}

Value nvl(const Call &c)
{
    Value a = c.eval(0);
    return a.isNull() ? c.eval(1) : a;
}

Value isNull(const Call &c) { return Value::boolean(c.args[0].isNull()); }

Value empty(const Call &c)
{
    const Value &a = c.args[0];
    switch (a.kind) {
    case K::Null: return Value::boolean(false);
    case K::Bool: return Value::boolean(!a.flag);
    case K::Number: return Value::boolean(a.number == 0.0);
    case K::Date: return Value::boolean(false);
    case K::Text:
        for (char ch : a.text)
            if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n')
                return Value::boolean(false);
        return Value::boolean(true);
    }
    return Value::null();
}

Value between(const Call &c)
{
    const auto &a = c.args;
    const int lo = c.ev.compare(c.node, a[0], a[1]);
    const int hi = c.ev.compare(c.node, a[0], a[2]);
    if (a[0].isNull() || a[1].isNull() || a[2].isNull())
        return Value::null();
    return Value::boolean(lo >= 0 && hi <= 0);
}

Value inList(const Call &c)
{
    const auto &a = c.args;
    if (a[0].isNull())
        return Value::null();
    bool sawNull = false;
    for (size_t i = 1; i < a.size(); ++i) {
        const int cmp = c.ev.compare(c.node, a[0], a[i]);
        if (cmp == 0)
            return Value::boolean(true);
        sawNull = sawNull || cmp == 2;
    }
    return sawNull ? Value::null() : Value::boolean(false);
}

// MAX (sign 1) or MIN (sign -1); null when any argument is.
Value extreme(const Call &c, int sign)
{
    Value best = c.args[0];
    for (size_t i = 1; i < c.args.size(); ++i) {
        const int cmp = c.ev.compare(c.node, best, c.args[i]);
        if (cmp == 2)
            return Value::null();
        if (cmp == -sign)
            best = c.args[i];
    }
    return best;
}

Value rounded(const Call &c)
{
    const double x = c.number(0);
    const double d = c.number(1);
    const int decimals = int(std::max(-15.0, std::min(15.0, std::trunc(d))));
    return finite(codec::roundHalfAway(x, decimals));
}

Value trimmed(const Call &c, bool leading, bool trailing)
{
    const QByteArray &s = c.text(0);
    qsizetype from = 0, to = s.size();
    if (leading)
        while (from < to && s[from] == ' ')
            ++from;
    if (trailing)
        while (to > from && s[to - 1] == ' ')
            --to;
    return Value::bytes(s.mid(from, to - from));
}

// UPPER and LOWER change single-byte letters; a double-byte character stays
// as it is even when its trail byte looks like a letter.
Value caseMapped(const Call &c, char from, char to)
{
    QByteArray s = c.text(0);
    char *p = s.data();
    char *e = p + s.size();
    while (p < e) {
        const int len = charBytes(p, e);
        if (len == 1 && *p >= from && *p <= char(from + 25))
            *p = char(*p - from + to);
        p += len;
    }
    return Value::bytes(s);
}

Value left(const Call &c)
{
    const QByteArray &s = c.text(0);
    return Value::bytes(charSlice(s, 0, countOf(c.number(1))));
}

Value right(const Call &c)
{
    const QByteArray &s = c.text(0);
    const qsizetype count = countOf(c.number(1));
    const qsizetype total = qsizetype(charStarts(s).size());
    return Value::bytes(charSlice(s, std::max<qsizetype>(0, total - count), std::min(count, total)));
}

Value substr(const Call &c)
{
    const QByteArray &s = c.text(0);
    const qsizetype start = countOf(c.number(1));
    const qsizetype count = c.args.size() > 2 ? countOf(c.number(2)) : qsizetype(s.size()) + 1;
    if (start < 1)
        return Value::bytes(QByteArray(""));
    return Value::bytes(charSlice(s, start - 1, count));
}

Value len(const Call &c) { return Value::num(double(charStarts(c.text(0)).size())); }

// The number a text starts with (blanks skipped); 0 when there is none.
Value val(const Call &c)
{
    const QByteArray &s = c.text(0);
    qsizetype i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    qsizetype j = i;
    if (j < s.size() && (s[j] == '+' || s[j] == '-'))
        ++j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9')
        ++j;
    if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9')
            ++j;
    }
    bool ok = false;
    const double v = s.mid(i, j - i).toDouble(&ok);
    return Value::num(ok ? v : 0.0);
}

// STR(x [, width [, decimals]]): right-aligned in width (10), decimals
// given up before the figure overflows, asterisks when even that fails.
Value str(const Call &c)
{
    const double x = c.number(0);
    const int width = c.args.size() > 1 ? int(countOf(c.number(1))) : 10;
    int decimals = c.args.size() > 2 ? int(countOf(c.number(2))) : 0;
    if (width <= 0 || width > 255)
        return Value::bytes(QByteArray(""));
    decimals = std::max(0, std::min(decimals, 18));
    QByteArray text = codec::fixed(x, decimals);
    while (text.size() > width && decimals > 0) {
        --decimals;
        text = codec::fixed(x, decimals);
    }
    if (text.isEmpty() || text.size() > width)
        return Value::bytes(QByteArray(width, '*'));
    return Value::bytes(QByteArray(width - text.size(), ' ') + text);
}

constexpr int any = Function::anyCount;

// The order matters for abbreviations: the first name an abbreviation
// starts is the one it means.
const Function functions[] = {
    {"EMPTY", 1, 1, Args::Values, anyToLogical, empty},
    {"ISNULL", 1, 1, Args::Values, anyToLogical, isNull},
    {"NVL", 2, 2, Args::Own, nvlKind, nvl},
    {"IIF", 3, 3, Args::Own, iifKind, iif},
    {"ABS", 1, 1, Args::NotNull, fixed<K::Number, K::Number>, [](const Call &c) { return Value::num(std::fabs(c.number(0))); }},
    {"ROUND", 2, 2, Args::NotNull, fixed<K::Number, K::Number>, rounded},
    {"INT", 1, 1, Args::NotNull, fixed<K::Number, K::Number>, [](const Call &c) { return Value::num(std::trunc(c.number(0))); }},
    {"MAX", 2, any, Args::Values, oneKind, [](const Call &c) { return extreme(c, 1); }},
    {"MIN", 2, any, Args::Values, oneKind, [](const Call &c) { return extreme(c, -1); }},
    {"ALLTRIM", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return trimmed(c, true, true); }},
    {"TRIM", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return trimmed(c, false, true); }},
    {"RTRIM", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return trimmed(c, false, true); }},
    {"LTRIM", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return trimmed(c, true, false); }},
    {"UPPER", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return caseMapped(c, 'a', 'A'); }},
    {"LOWER", 1, 1, Args::NotNull, fixed<K::Text, K::Text>, [](const Call &c) { return caseMapped(c, 'A', 'a'); }},
    {"LEFT", 2, 2, Args::NotNull, fixed<K::Text, K::Text, K::Number>, left},
    {"RIGHT", 2, 2, Args::NotNull, fixed<K::Text, K::Text, K::Number>, right},
    {"SUBSTR", 2, 3, Args::NotNull, fixed<K::Text, K::Text, K::Number>, substr},
    {"LEN", 1, 1, Args::NotNull, fixed<K::Number, K::Text>, len},
    {"VAL", 1, 1, Args::NotNull, fixed<K::Number, K::Text>, val},
    {"STR", 1, 3, Args::NotNull, fixed<K::Text, K::Number>, str},
    {"BETWEEN", 3, 3, Args::Values, comparedToLogical, between},
    {"INLIST", 2, any, Args::Values, comparedToLogical, inList},
};

} // namespace

const Function *findFunction(const QString &name)
{
    for (const Function &f : functions)
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    if (name.size() >= 4) {
        for (const Function &f : functions)
            if (QLatin1String(f.name).size() > name.size()
                && QString::fromLatin1(f.name).startsWith(name, Qt::CaseInsensitive))
                return &f;
    }
    return nullptr;
}

} // namespace store::expr
