// The type check run when an expression is bound: the kinds of values
// every operator and call works on, from the columns' kinds, so that a type
// error is found on any table and not only when a row reaches it.
#include "store/ExprInternal.h"

namespace store::expr {

void failMismatch(const Expr::Source &source, const Node &n, Value::Kind a, Value::Kind b)
{
    failAt(source, n.pos, n.length, QStringLiteral("运算对象的类型不匹配（%1 与 %2）").arg(kindName(a), kindName(b)),
           ErrorKind::Type);
}

void failNeeds(const Expr::Source &source, const Node &n, Value::Kind wanted, Value::Kind got)
{
    failAt(source, n.pos, n.length, QStringLiteral("这里需要%1，得到的是%2").arg(kindName(wanted), kindName(got)),
           ErrorKind::Type);
}

Value::Kind TypeCheck::same(const Node &n, K a, K b) const
{
    if (a != K::Null && b != K::Null && a != b)
        mismatch(n, a, b);
    return a != K::Null ? a : b;
}

Value::Kind TypeCheck::arithmetic(const Node &n, K a, K b) const
{
    if (a == K::Null || b == K::Null) {
        need(n, K::Number, a == K::Bool ? a : b == K::Bool ? b : K::Null);
        return K::Null;
    }
    const Node::Op op = n.op;
    if (a == K::Number && b == K::Number)
        return K::Number;
    if (a == K::Text && b == K::Text && (op == Node::Op::Add || op == Node::Op::Sub))
        return K::Text;
    if (a == K::Date && b == K::Number && (op == Node::Op::Add || op == Node::Op::Sub))
        return K::Date;
    if (a == K::Number && b == K::Date && op == Node::Op::Add)
        return K::Date;
    if (a == K::Date && b == K::Date && op == Node::Op::Sub)
        return K::Number;
    mismatch(n, a, b);
}

Value::Kind TypeCheck::call(const Node &n) const
{
    CallKinds c{*this, n, {}};
    c.args.reserve(n.kids.size());
    for (const auto &k : n.kids)
        c.args.push_back(kind(*k));
    return n.func->kind(c);
}

Value::Kind TypeCheck::kind(const Node &n) const
{
    switch (n.op) {
    case Node::Op::Literal:
        return n.literal.kind;
    case Node::Op::Column:
        return m_schema.columnKind(m_columns[size_t(n.slot)]);
    case Node::Op::Neg:
        need(n, K::Number, kind(*n.kids[0]));
        return K::Number;
    case Node::Op::Not:
    case Node::Op::And:
    case Node::Op::Or:
        for (const auto &k : n.kids)
            need(n, K::Bool, kind(*k));
        return K::Bool;
    case Node::Op::Add: case Node::Op::Sub: case Node::Op::Mul:
    case Node::Op::Div: case Node::Op::Mod: case Node::Op::Pow:
        return arithmetic(n, kind(*n.kids[0]), kind(*n.kids[1]));
    case Node::Op::Eq: case Node::Op::Ne: case Node::Op::Lt:
    case Node::Op::Le: case Node::Op::Gt: case Node::Op::Ge:
    case Node::Op::Between: case Node::Op::In: {
        const K x = kind(*n.kids[0]);
        for (size_t i = 1; i < n.kids.size(); ++i)
            same(n, x, kind(*n.kids[i]));
        return K::Bool;
    }
    case Node::Op::Contains:
    case Node::Op::Like: {
        const K a = kind(*n.kids[0]);
        const K b = kind(*n.kids[1]);
        if (a != K::Null && b != K::Null && (a != K::Text || b != K::Text))
            mismatch(n, a, b);
        return K::Bool;
    }
    case Node::Op::IsNull:
        kind(*n.kids[0]);
        return K::Bool;
    case Node::Op::Call:
        return call(n);
    }
    return K::Null;
}

} // namespace store::expr
