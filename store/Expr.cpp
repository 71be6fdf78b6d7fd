// Expr: an expression parsed once, bound to a table, evaluated per row;
// and the values it works on.
#include "store/ExprInternal.h"

#include "store/FieldCodec.h"
#include "store/Format.h"

#include <QDate>

namespace store::expr {

QString Schema::missingColumn(const QString &name) const { return QStringLiteral("表 %1 中没有列 %2").arg(tableName(), name); }

quint8 Schema::codePage() const { return codec::kGbkMark; }

Value Value::string(const QString &s) { return bytes(encodeText(s)); }

QString Value::toQString() const
{
    switch (kind) {
    case Kind::Null: return QStringLiteral(".NULL.");
    case Kind::Bool: return flag ? QStringLiteral(".T.") : QStringLiteral(".F.");
    case Kind::Number: return formatNumber(number);
    case Kind::Text: return decodeText(text);
    case Kind::Date: return QDate::fromJulianDay(qint64(number)).toString(QStringLiteral("yyyy-MM-dd"));
    }
    return QString();
}

QString kindName(Value::Kind k)
{
    switch (k) {
    case Value::Kind::Null: return QStringLiteral("空值");
    case Value::Kind::Bool: return QStringLiteral("逻辑值");
    case Value::Kind::Number: return QStringLiteral("数值");
    case Value::Kind::Text: return QStringLiteral("文字");
    case Value::Kind::Date: return QStringLiteral("日期");
    }
    return QString();
}

Expr::Expr() = default;

Expr::Expr(std::shared_ptr<const Node> root, std::shared_ptr<const Source> source, QStringList names)
    : m_root(std::move(root)), m_source(std::move(source)), m_names(std::make_shared<const QStringList>(std::move(names)))
{
}

Expr Expr::parse(const QString &text)
{
    auto source = std::make_shared<Source>();
    source->text = text;
    source->kind = QStringLiteral("条件");
    Parser parser(source, tokenize(source));
    if (parser.atEnd())
        parser.failHere(QStringLiteral("条件是空的"));
    Expr e = parser.parseExpression();
    if (!parser.atEnd())
        parser.failHere(QStringLiteral("条件在此之前已经完整，这里多出了内容"));
    return e;
}

const QString &Expr::sourceText() const
{
    static const QString empty;
    return m_source ? m_source->text : empty;
}

namespace {
void collectTextLiterals(const Node &n, std::vector<const Node *> &out)
{
    if (n.op == Node::Op::Literal && n.slot >= 0)
        out.push_back(&n);
    for (const auto &k : n.kids)
        collectTextLiterals(*k, out);
}

const Node *firstUse(const Node &n, int slot)
{
    if (n.op == Node::Op::Column && n.slot == slot)
        return &n;
    for (const auto &k : n.kids)
        if (const Node *f = firstUse(*k, slot))
            return f;
    return nullptr;
}

// A condition whose result is of another kind than logical.
[[noreturn]] void notLogical(const Expr::Source &source, Value::Kind got)
{
    throw Error(ErrorKind::Type, QStringLiteral("%1 %2 有误：结果应为逻辑值（真或假），得到的是%3")
                    .arg(source.kind, quoted(source.text), kindName(got)));
}
} // namespace

QStringList Expr::columnNames() const { return m_names ? *m_names : QStringList(); }

void Expr::bind(const Schema &schema)
{
    static const QStringList none;
    const QStringList &names = m_names ? *m_names : none;
    m_columns.assign(size_t(names.size()), -1);
    for (int i = 0; i < names.size(); ++i) {
        const int index = schema.columnIndex(names[i]);
        if (index < 0) {
            const Node *use = firstUse(*m_root, i);
            failAt(*m_source, use ? use->pos : 0, use ? use->length : 1,
                   schema.missingColumn(names[i]), ErrorKind::NotFound);
        }
        m_columns[size_t(i)] = index;
    }
    // Text literals are turned into the table's code page here, once, with
    // the writer's own check: a character the table cannot hold is refused
    // instead of becoming '?' (which would also match other rows' '?').
    m_literals.reset();
    {
        std::vector<const Node *> texts;
        collectTextLiterals(*m_root, texts);
        auto literals = std::make_shared<std::vector<Value>>(texts.size());
        for (const Node *n : texts) {
            bool whole = true;
            (*literals)[size_t(n->slot)] = Value::bytes(codec::encode(schema.codePage(), n->name, &whole));
            if (!whole)
                failAt(*m_source, n->pos, n->length,
                       QStringLiteral("文字 \"%1\" 中有表 %2 的代码页 %3 不能保存的字符")
                           .arg(n->name, schema.tableName(), codec::codePageName(schema.codePage())),
                       ErrorKind::Range);
        }
        m_literals = std::move(literals);
    }
    m_kind = TypeCheck(*m_source, m_columns, schema).kind(*m_root);
    m_bound = true;
}

void Expr::bindCondition(const Schema &schema)
{
    bind(schema);
    if (m_kind != Value::Kind::Null && m_kind != Value::Kind::Bool)
        notLogical(*m_source, m_kind);
}

Value Expr::evaluate(const Row &row) const
{
    if (!m_root)
        return Value::null();
    if (!m_bound && m_names && !m_names->isEmpty())
        throw Error(QStringLiteral("内部错误：条件 \"%1\" 尚未与表关联").arg(sourceText()));
    Evaluator ev(*m_source, m_columns, m_literals.get(), row);
    return ev.eval(*m_root);
}

Truth Expr::test(const Row &row) const
{
    const Value v = evaluate(row);
    if (v.kind == Value::Kind::Null)
        return Truth::Null;
    if (v.kind != Value::Kind::Bool)
        notLogical(*m_source, v.kind);
    return v.flag ? Truth::True : Truth::False;
}

} // namespace store::expr
