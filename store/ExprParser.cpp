// The recursive-descent parser: tokens into an expression tree, operators
// by precedence, lowest first (see Expr.h).
#include "store/ExprInternal.h"

#include <algorithm>

namespace store::expr {

bool isReservedWord(const QString &word)
{
    static const char *const words[] = {"AND", "OR", "NOT", "LIKE", "BETWEEN", "IN", "IS", "NULL",
                                        "SELECT", "FROM", "WHERE", "UPDATE", "SET", "DELETE", "PACK"};
    for (const char *w : words)
        if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

Parser::Parser(std::shared_ptr<const Expr::Source> source, std::vector<Token> tokens)
    : m_source(std::move(source)), m_tokens(std::move(tokens))
{
}

const Token &Parser::peek(int ahead) const
{
    const size_t i = std::min(m_next + size_t(ahead), m_tokens.size() - 1);
    return m_tokens[i];
}

const Token &Parser::take()
{
    const Token &t = m_tokens[m_next];
    if (m_next + 1 < m_tokens.size())
        ++m_next;
    return t;
}

bool Parser::isKeyword(const char *word, int ahead) const
{
    const Token &t = peek(ahead);
    return t.type == Token::Type::Ident && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool Parser::isWord(const char *word) const
{
    const Token &t = peek();
    return isKeyword(word) || (t.type == Token::Type::Dotted && t.text == QLatin1String(word));
}

bool Parser::isSymbol(const char *symbol, int ahead) const
{
    const Token &t = peek(ahead);
    return t.type == Token::Type::Symbol && t.text == QLatin1String(symbol);
}

void Parser::failHere(const QString &what) const
{
    const Token &t = peek();
    if (t.type == Token::Type::End)
        failAtEnd(*m_source, what);
    failAt(*m_source, t.pos, t.length, what);
}

void Parser::expectKeyword(const char *word, const QString &what)
{
    if (!isKeyword(word))
        failHere(what);
    take();
}

void Parser::expectSymbol(const char *symbol, const QString &what)
{
    if (!isSymbol(symbol))
        failHere(what);
    take();
}

QString Parser::expectName(const QString &what)
{
    const Token &t = peek();
    if (t.type != Token::Type::Ident || isReservedWord(t.text))
        failHere(what);
    return take().text;
}

void Parser::checkLevel(int level) const
{
    if (level > Expr::maxDepth)
        failHere(QStringLiteral("嵌套过深（最多 %1 层）").arg(Expr::maxDepth));
}

Parser::NodePtr Parser::makeNode(Node::Op op, const Token &at, std::vector<NodePtr> kids)
{
    auto node = std::make_unique<Node>();
    node->op = op;
    node->pos = at.pos;
    node->length = at.length;
    int depth = 0;
    for (const NodePtr &k : kids)
        depth = std::max(depth, k->depth);
    node->depth = depth + 1;
    if (node->depth > Expr::maxDepth)
        failAt(*m_source, at.pos, at.length, QStringLiteral("表达式嵌套过深（最多 %1 层）").arg(Expr::maxDepth));
    node->kids = std::move(kids);
    return node;
}

Expr Parser::parseExpression()
{
    m_names.clear();
    m_textLiterals = 0;
    NodePtr root = parseOr(1);
    return Expr(std::shared_ptr<const Node>(std::move(root)), m_source, m_names);
}

namespace {
std::vector<std::unique_ptr<Node>> two(std::unique_ptr<Node> a, std::unique_ptr<Node> b)
{
    std::vector<std::unique_ptr<Node>> v;
    v.push_back(std::move(a));
    v.push_back(std::move(b));
    return v;
}
std::vector<std::unique_ptr<Node>> one(std::unique_ptr<Node> a)
{
    std::vector<std::unique_ptr<Node>> v;
    v.push_back(std::move(a));
    return v;
}
} // namespace

Parser::NodePtr Parser::parseOr(int level)
{
    checkLevel(level);
    NodePtr left = parseAnd(level);
    while (isWord("OR")) {
        const Token op = take();
        NodePtr right = parseAnd(level);
        left = makeNode(Node::Op::Or, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseAnd(int level)
{
    NodePtr left = parseNot(level);
    while (isWord("AND")) {
        const Token op = take();
        NodePtr right = parseNot(level);
        left = makeNode(Node::Op::And, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseNot(int level)
{
    checkLevel(level);
    if (isWord("NOT") || isSymbol("!")) {
        const Token op = take();
        NodePtr operand = parseNot(level + 1);
        return makeNode(Node::Op::Not, op, one(std::move(operand)));
    }
    return parseEquality(level);
}

Parser::NodePtr Parser::parseEquality(int level)
{
    NodePtr left = parseRelational(level);
    while (true) {
        const Token &t = peek();
        if (t.type == Token::Type::Symbol
            && (t.text == QLatin1String("=") || t.text == QLatin1String("==") || t.text == QLatin1String("<>")
                || t.text == QLatin1String("#") || t.text == QLatin1String("!="))) {
            const Token op = take();
            NodePtr right = parseRelational(level);
            const Node::Op kind = (op.text == QLatin1String("=") || op.text == QLatin1String("==")) ? Node::Op::Eq : Node::Op::Ne;
            left = makeNode(kind, op, two(std::move(left), std::move(right)));
            continue;
        }
        bool negated = false;
        int ahead = 0;
        if (isKeyword("NOT") && (isKeyword("LIKE", 1) || isKeyword("BETWEEN", 1) || isKeyword("IN", 1))) {
            negated = true;
            ahead = 1;
        }
        if (isKeyword("LIKE", ahead)) {
            if (negated) take();
            const Token op = take();
            NodePtr right = parseRelational(level);
            left = makeNode(Node::Op::Like, op, two(std::move(left), std::move(right)));
            left->negated = negated;
            continue;
        }
        if (isKeyword("BETWEEN", ahead)) {
            if (negated) take();
            const Token op = take();
            std::vector<NodePtr> kids;
            kids.push_back(std::move(left));
            kids.push_back(parseRelational(level));
            if (!isWord("AND"))
                failHere(QStringLiteral("BETWEEN 的下限后面应为 AND"));
            take();
            kids.push_back(parseRelational(level));
            left = makeNode(Node::Op::Between, op, std::move(kids));
            left->negated = negated;
            continue;
        }
        if (isKeyword("IN", ahead)) {
            if (negated) take();
            const Token op = take();
            expectSymbol("(", QStringLiteral("IN 后面应为 \"(\""));
            std::vector<NodePtr> kids;
            kids.push_back(std::move(left));
            do {
                kids.push_back(parseOr(level + 1));
            } while (isSymbol(",") && (take(), true));
            expectSymbol(")", QStringLiteral("IN 的列表缺少 \")\""));
            left = makeNode(Node::Op::In, op, std::move(kids));
            left->negated = negated;
            continue;
        }
        if (isKeyword("IS")) {
            const Token op = take();
            bool isNot = false;
            if (isKeyword("NOT")) {
                take();
                isNot = true;
            }
            if (!isWord("NULL"))
                failHere(QStringLiteral("IS 后面应为 NULL 或 NOT NULL"));
            take();
            left = makeNode(Node::Op::IsNull, op, one(std::move(left)));
            left->negated = isNot;
            continue;
        }
        return left;
    }
}

Parser::NodePtr Parser::parseRelational(int level)
{
    checkLevel(level);
    NodePtr left = parseAdditive(level);
    while (true) {
        const Token &t = peek();
        if (t.type != Token::Type::Symbol)
            return left;
        Node::Op kind;
        if (t.text == QLatin1String("<")) kind = Node::Op::Lt;
        else if (t.text == QLatin1String("<=")) kind = Node::Op::Le;
        else if (t.text == QLatin1String(">")) kind = Node::Op::Gt;
        else if (t.text == QLatin1String(">=")) kind = Node::Op::Ge;
        else if (t.text == QLatin1String("$")) kind = Node::Op::Contains;
        else return left;
        const Token op = take();
        NodePtr right = parseAdditive(level);
        left = makeNode(kind, op, two(std::move(left), std::move(right)));
    }
}

Parser::NodePtr Parser::parseAdditive(int level)
{
    NodePtr left = parseMultiplicative(level);
    while (isSymbol("+") || isSymbol("-")) {
        const Token op = take();
        NodePtr right = parseMultiplicative(level);
        left = makeNode(op.text == QLatin1String("+") ? Node::Op::Add : Node::Op::Sub, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseMultiplicative(int level)
{
    NodePtr left = parsePower(level);
    while (isSymbol("*") || isSymbol("/") || isSymbol("%")) {
        const Token op = take();
        NodePtr right = parsePower(level);
        const Node::Op kind = op.text == QLatin1String("*") ? Node::Op::Mul : op.text == QLatin1String("/") ? Node::Op::Div : Node::Op::Mod;
        left = makeNode(kind, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parsePower(int level)
{
    NodePtr left = parseUnary(level);
    while (isSymbol("**") || isSymbol("^")) {
        const Token op = take();
        NodePtr right = parseUnary(level);
        left = makeNode(Node::Op::Pow, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseUnary(int level)
{
    checkLevel(level);
    if (isSymbol("-") || isSymbol("+")) {
        const Token op = take();
        NodePtr operand = parseUnary(level + 1);
        if (op.text == QLatin1String("+"))
            return operand;
        return makeNode(Node::Op::Neg, op, one(std::move(operand)));
    }
    return parsePrimary(level);
}

Parser::NodePtr Parser::parsePrimary(int level)
{
    checkLevel(level);
    const Token &t = peek();
    switch (t.type) {
    case Token::Type::Number: {
        const Token tok = take();
        NodePtr n = makeNode(Node::Op::Literal, tok, {});
        n->literal = Value::num(tok.number);
        return n;
    }
    case Token::Type::String: {
        const Token tok = take();
        NodePtr n = makeNode(Node::Op::Literal, tok, {});
        n->literal = Value::string(tok.text);
        n->name = tok.text;
        n->slot = m_textLiterals++;
        return n;
    }
    case Token::Type::Dotted: {
        if (t.text == QLatin1String("AND") || t.text == QLatin1String("OR") || t.text == QLatin1String("NOT"))
            failHere(QStringLiteral("此处应为一个值（数、文字、列名或函数）"));
        const Token tok = take();
        NodePtr n = makeNode(Node::Op::Literal, tok, {});
        if (tok.text == QLatin1String("NULL"))
            n->literal = Value::null();
        else
            n->literal = Value::boolean(tok.text == QLatin1String("T") || tok.text == QLatin1String("Y"));
        return n;
    }
    case Token::Type::Ident: {
        if (isKeyword("NULL")) {
            const Token tok = take();
            return makeNode(Node::Op::Literal, tok, {});
        }
        if (isSymbol("(", 1)) {
            const Token name = take();
            return parseCall(name, level + 1);
        }
        if (isReservedWord(t.text))
            failHere(QStringLiteral("此处应为一个值，而不是关键字 %1").arg(t.text.toUpper()));
        const Token tok = take();
        NodePtr n = makeNode(Node::Op::Column, tok, {});
        n->name = tok.text;
        int slot = -1;
        for (int i = 0; i < m_names.size(); ++i)
            if (m_names[i].compare(tok.text, Qt::CaseInsensitive) == 0)
                slot = i;
        if (slot < 0) {
            slot = int(m_names.size());
            m_names.push_back(tok.text);
        }
        n->slot = slot;
        return n;
    }
    case Token::Type::Symbol:
        if (t.text == QLatin1String("(")) {
            take();
            NodePtr inner = parseOr(level + 1);
            expectSymbol(")", QStringLiteral("缺少 \")\""));
            return inner;
        }
        break;
    case Token::Type::End:
        break;
    }
    failHere(QStringLiteral("此处应为一个值（数、文字、列名或函数）"));
}

Parser::NodePtr Parser::parseCall(const Token &name, int level)
{
    const Function *info = findFunction(name.text);
    if (!info)
        failAt(*m_source, name.pos, name.length, QStringLiteral("没有名为 %1 的函数").arg(name.text));
    take(); // "("
    std::vector<NodePtr> args;
    if (!isSymbol(")")) {
        do {
            args.push_back(parseOr(level + 1));
        } while (isSymbol(",") && (take(), true));
    }
    expectSymbol(")", QStringLiteral("函数 %1 的参数后面缺少 \")\"").arg(name.text.toUpper()));
    const int n = int(args.size());
    if (n < info->minArgs || n > info->maxArgs) {
        const QString expected = info->minArgs == info->maxArgs ? QString::number(info->minArgs)
            : info->maxArgs == Function::anyCount ? QStringLiteral("至少 %1").arg(info->minArgs)
                                                  : QStringLiteral("%1 到 %2").arg(info->minArgs).arg(info->maxArgs);
        failAt(*m_source, name.pos, name.length,
               QStringLiteral("函数 %1 需要 %2 个参数，这里有 %3 个").arg(QString::fromLatin1(info->name), expected).arg(n));
    }
    NodePtr node = makeNode(Node::Op::Call, name, std::move(args));
    node->func = info;
    node->name = QString::fromLatin1(info->name);
    return node;
}

} // namespace store::expr
