#include "store/ExprNode.h"

#include "store/FieldCodec.h"
#include "store/Format.h"

#include <QDate>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace store::expr {

// ---------------------------------------------------------------- texts

QByteArray encodeText(const QString &text) { return codec::encode(codec::kGbkMark, text); }

QString decodeText(const QByteArray &bytes) { return codec::decode(codec::kGbkMark, bytes); }

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

int compareText(const QByteArray &a, const QByteArray &b)
{
    const int n = int(std::min(a.size(), b.size()));
    if (n > 0) {
        const int c = std::memcmp(a.constData(), b.constData(), size_t(n));
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    // The longer one is compared against blanks.
    const QByteArray &longer = a.size() > b.size() ? a : b;
    const int sign = a.size() > b.size() ? 1 : -1;
    for (qsizetype i = n; i < longer.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(longer[i]);
        if (c != ' ')
            return c > ' ' ? sign : -sign;
    }
    return 0;
}

namespace {

// Length in bytes of the character that starts at p (GBK: a lead byte
// 0x81..0xFE followed by a trail byte makes one character).
inline int charBytes(const char *p, const char *end)
{
    const unsigned char c = static_cast<unsigned char>(*p);
    return (c >= 0x81 && c <= 0xFE && p + 1 < end) ? 2 : 1;
}

std::vector<int> charStarts(const QByteArray &s)
{
    std::vector<int> starts;
    const char *b = s.constData();
    const char *e = b + s.size();
    for (const char *p = b; p < e; p += charBytes(p, e))
        starts.push_back(int(p - b));
    return starts;
}

qsizetype withoutTrailingBlanks(const QByteArray &s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return n;
}

} // namespace

namespace {

bool isAscii(const char *p, const char *e)
{
    unsigned char any = 0;
    for (; p < e; ++p)
        any |= static_cast<unsigned char>(*p);
    return any < 0x80;
}

// One run of a pattern between '%'s against bytes of the same length.
inline bool segmentMatches(const char *t, const char *seg, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (seg[i] != '_' && seg[i] != t[i])
            return false;
    return true;
}

const char *findSegment(const char *t, const char *te, const char *seg, size_t n)
{
    if (size_t(te - t) < n)
        return nullptr;
    if (!std::memchr(seg, '_', n)) {
        const std::string_view text(t, size_t(te - t));
        const size_t at = text.find(std::string_view(seg, n));
        return at == std::string_view::npos ? nullptr : t + at;
    }
    for (const char *p = t; p + n <= te; ++p)
        if (segmentMatches(p, seg, n))
            return p;
    return nullptr;
}

// Single-byte texts: the first run anchors at the start, the last at the
// end, and the runs between are found leftmost in turn, which is exact for
// patterns made of literal runs, '_' and '%'.
bool likeAscii(const char *t, const char *te, const char *p, const char *pe)
{
    const char *firstPercent = static_cast<const char *>(std::memchr(p, '%', size_t(pe - p)));
    if (!firstPercent)
        return te - t == pe - p && segmentMatches(t, p, size_t(pe - p));
    const size_t headLength = size_t(firstPercent - p);
    if (size_t(te - t) < headLength || !segmentMatches(t, p, headLength))
        return false;
    t += headLength;
    const char *lastPercent = pe - 1;
    while (*lastPercent != '%')
        --lastPercent;
    const size_t tailLength = size_t(pe - lastPercent - 1);
    if (size_t(te - t) < tailLength || !segmentMatches(te - tailLength, lastPercent + 1, tailLength))
        return false;
    te -= tailLength;
    const char *seg = firstPercent + 1;
    while (seg < lastPercent) {
        const char *end = static_cast<const char *>(std::memchr(seg, '%', size_t(lastPercent + 1 - seg)));
        const size_t n = size_t(end - seg);
        if (n > 0) {
            const char *at = findSegment(t, te, seg, n);
            if (!at)
                return false;
            t = at + n;
        }
        seg = end + 1;
    }
    return true;
}

} // namespace

bool likeMatch(const QByteArray &textIn, const QByteArray &patternIn)
{
    const char *t = textIn.constData();
    const char *te = t + withoutTrailingBlanks(textIn);
    const char *p = patternIn.constData();
    const char *pe = p + withoutTrailingBlanks(patternIn);
    if (isAscii(t, te) && isAscii(p, pe))
        return likeAscii(t, te, p, pe);
    // Iterative matcher: remember the last '%' and retry from one character further.
    const char *starP = nullptr;
    const char *starT = nullptr;
    while (t < te) {
        if (p < pe && *p == '%') {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pe) {
            const int pn = charBytes(p, pe);
            const int tn = charBytes(t, te);
            if ((pn == 1 && *p == '_') || (pn == tn && std::memcmp(p, t, size_t(pn)) == 0)) {
                p += pn;
                t += tn;
                continue;
            }
        }
        if (!starP)
            return false;
        starT += charBytes(starT, te);
        t = starT;
        p = starP;
    }
    while (p < pe && *p == '%')
        ++p;
    return p == pe;
}

// ---------------------------------------------------------------- errors

namespace {
QString quoted(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }
} // namespace

void failAt(const Expr::Source &source, int pos, int length, const QString &what, ErrorKind kind)
{
    const QString token = source.text.mid(pos, std::max(1, length));
    throw Error(kind, QStringLiteral("%1 %2 有误：第 %3 个字符处 %4：%5")
                    .arg(source.kind, quoted(source.text))
                    .arg(pos + 1)
                    .arg(quoted(token), what));
}

void failAtEnd(const Expr::Source &source, const QString &what)
{
    throw Error(ErrorKind::Syntax, QStringLiteral("%1 %2 有误：在末尾处：%3").arg(source.kind, quoted(source.text), what));
}

// ---------------------------------------------------------------- lexer

namespace {

bool isNameStart(QChar c) { return c == QLatin1Char('_') || c.isLetter(); }
bool isNameChar(QChar c) { return c == QLatin1Char('_') || c.isLetterOrNumber(); }
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

const char *const dottedWords[] = {"T", "F", "Y", "N", "NULL", "AND", "OR", "NOT"};

} // namespace

std::vector<Token> tokenize(const std::shared_ptr<const Expr::Source> &source)
{
    const QString &s = source->text;
    if (s.size() > Expr::maxTextLength)
        throw Error(QStringLiteral("%1过长：%2 个字符，最多 %3 个").arg(source->kind).arg(s.size()).arg(Expr::maxTextLength));
    std::vector<Token> tokens;
    const int n = int(s.size());
    int i = 0;
    while (true) {
        while (i < n && (s[i].isSpace()))
            ++i;
        Token tok;
        tok.pos = i;
        if (i >= n) {
            tok.type = Token::Type::End;
            tokens.push_back(tok);
            return tokens;
        }
        const QChar c = s[i];
        if (isNameStart(c)) {
            int j = i + 1;
            while (j < n && isNameChar(s[j]))
                ++j;
            tok.type = Token::Type::Ident;
            tok.text = s.mid(i, j - i);
            tok.length = j - i;
            i = j;
        } else if (isDigit(c) || (c == QLatin1Char('.') && i + 1 < n && isDigit(s[i + 1]))) {
            int j = i;
            while (j < n && isDigit(s[j]))
                ++j;
            if (j + 1 < n && s[j] == QLatin1Char('.') && isDigit(s[j + 1])) {
                ++j;
                while (j < n && isDigit(s[j]))
                    ++j;
            } else if (j < n && s[j] == QLatin1Char('.') && !(j + 1 < n && s[j + 1].isLetter())) {
                ++j; // "12." is 12; "1.AND." keeps its operator
            }
            if (j < n && (s[j] == QLatin1Char('e') || s[j] == QLatin1Char('E'))) {
                int k = j + 1;
                if (k < n && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-')))
                    ++k;
                if (k < n && isDigit(s[k])) {
                    while (k < n && isDigit(s[k]))
                        ++k;
                    j = k;
                }
            }
            if (j < n && isNameStart(s[j]))
                failAt(*source, i, j - i + 1, QStringLiteral("数字后面紧跟着字母"));
            tok.type = Token::Type::Number;
            tok.text = s.mid(i, j - i);
            tok.number = tok.text.toDouble();
            tok.length = j - i;
            i = j;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const int end = int(s.indexOf(close, i + 1));
            if (end < 0)
                failAt(*source, i, 1, QStringLiteral("文字常量缺少结尾的 %1").arg(close));
            tok.type = Token::Type::String;
            tok.text = s.mid(i + 1, end - i - 1);
            tok.length = end - i + 1;
            i = end + 1;
        } else if (c == QLatin1Char('.')) {
            // .T. .F. .NULL. .AND. .OR. .NOT.
            int j = i + 1;
            while (j < n && s[j].isLetter())
                ++j;
            const QString word = s.mid(i + 1, j - i - 1).toUpper();
            bool known = false;
            for (const char *w : dottedWords)
                known = known || word == QLatin1String(w);
            if (known && j < n && s[j] == QLatin1Char('.')) {
                tok.type = Token::Type::Dotted;
                tok.text = word;
                tok.length = j + 1 - i;
                i = j + 1;
            } else {
                // A lone point ("result.dbf"); the parser decides whether it fits.
                tok.type = Token::Type::Symbol;
                tok.text = QStringLiteral(".");
                tok.length = 1;
                i += 1;
            }
        } else {
            static const char *const twoChar[] = {"==", "<>", "!=", "<=", ">=", "**"};
            tok.type = Token::Type::Symbol;
            const QString two = s.mid(i, 2);
            bool matched = false;
            for (const char *t : twoChar) {
                if (two == QLatin1String(t)) {
                    tok.text = two;
                    tok.length = 2;
                    matched = true;
                    break;
                }
            }
            if (!matched) {
                static const QString single = QStringLiteral("()=<>#!$+-*/%^,;");
                if (!single.contains(c))
                    failAt(*source, i, 1, QStringLiteral("无法识别的字符"));
                tok.text = QString(c);
                tok.length = 1;
            }
            i += tok.length;
        }
        tokens.push_back(tok);
    }
}

// ---------------------------------------------------------------- parser

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
    while (isKeyword("OR") || (peek().type == Token::Type::Dotted && peek().text == QLatin1String("OR"))) {
        const Token op = take();
        NodePtr right = parseAnd(level);
        left = makeNode(Node::Op::Or, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseAnd(int level)
{
    NodePtr left = parseNot(level);
    while (isKeyword("AND") || (peek().type == Token::Type::Dotted && peek().text == QLatin1String("AND"))) {
        const Token op = take();
        NodePtr right = parseNot(level);
        left = makeNode(Node::Op::And, op, two(std::move(left), std::move(right)));
    }
    return left;
}

Parser::NodePtr Parser::parseNot(int level)
{
    checkLevel(level);
    if (isKeyword("NOT") || isSymbol("!") || (peek().type == Token::Type::Dotted && peek().text == QLatin1String("NOT"))) {
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
            if (!(isKeyword("AND") || (peek().type == Token::Type::Dotted && peek().text == QLatin1String("AND"))))
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
            if (!(isKeyword("NULL") || (peek().type == Token::Type::Dotted && peek().text == QLatin1String("NULL"))))
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

namespace {

struct FuncInfo {
    const char *name;
    Func func;
    int minArgs;
    int maxArgs;
};

const FuncInfo functions[] = {
    {"EMPTY", Func::Empty, 1, 1},     {"ISNULL", Func::IsNull, 1, 1}, {"NVL", Func::Nvl, 2, 2},
    {"IIF", Func::Iif, 3, 3},         {"ABS", Func::Abs, 1, 1},       {"ROUND", Func::Round, 2, 2},
    {"INT", Func::Int, 1, 1},         {"MAX", Func::Max, 2, 255},     {"MIN", Func::Min, 2, 255},
    {"ALLTRIM", Func::AllTrim, 1, 1}, {"TRIM", Func::Trim, 1, 1},     {"RTRIM", Func::Trim, 1, 1},
    {"LTRIM", Func::LTrim, 1, 1},     {"UPPER", Func::Upper, 1, 1},   {"LOWER", Func::Lower, 1, 1},
    {"LEFT", Func::Left, 2, 2},       {"RIGHT", Func::Right, 2, 2},   {"SUBSTR", Func::Substr, 2, 3},
    {"LEN", Func::Len, 1, 1},         {"VAL", Func::Val, 1, 1},       {"STR", Func::Str, 1, 3},
    {"BETWEEN", Func::Between, 3, 3}, {"INLIST", Func::InList, 2, 255},
};

// Exact name first; then, as xBase allows, an abbreviation of at least four letters.
const FuncInfo *findFunction(const QString &name)
{
    for (const FuncInfo &f : functions)
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    if (name.size() >= 4) {
        for (const FuncInfo &f : functions)
            if (QLatin1String(f.name).size() > name.size()
                && QString::fromLatin1(f.name).startsWith(name, Qt::CaseInsensitive))
                return &f;
    }
    return nullptr;
}

} // namespace

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
    const FuncInfo *info = findFunction(name.text);
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
            : info->maxArgs == 255 ? QStringLiteral("至少 %1 个").arg(info->minArgs)
                                   : QStringLiteral("%1 到 %2 个").arg(info->minArgs).arg(info->maxArgs);
        failAt(*m_source, name.pos, name.length,
               QStringLiteral("函数 %1 需要 %2 个参数，这里有 %3 个").arg(QString::fromLatin1(info->name), expected).arg(n));
    }
    NodePtr node = makeNode(Node::Op::Call, name, std::move(args));
    node->func = info->func;
    node->name = QString::fromLatin1(info->name);
    return node;
}

// ---------------------------------------------------------------- Expr

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

const char *kindName(Value::Kind k);
Value::Kind checkTypes(const Node &root, const Expr::Source &source, const std::vector<int> &columns, const Schema &schema);

const Node *firstUse(const Node &n, int slot)
{
    if (n.op == Node::Op::Column && n.slot == slot)
        return &n;
    for (const auto &k : n.kids)
        if (const Node *f = firstUse(*k, slot))
            return f;
    return nullptr;
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
    m_kind = checkTypes(*m_root, *m_source, m_columns, schema);
    m_bound = true;
}

void Expr::bindCondition(const Schema &schema)
{
    bind(schema);
    if (m_kind != Value::Kind::Null && m_kind != Value::Kind::Bool)
        throw Error(QStringLiteral("%1 %2 有误：结果应为逻辑值（真或假），得到的是%3")
                        .arg(m_source->kind, quoted(m_source->text), QString::fromUtf8(kindName(m_kind))));
}

// ---------------------------------------------------------------- evaluation

namespace {

const char *kindName(Value::Kind k)
{
    switch (k) {
    case Value::Kind::Null: return "空值";
    case Value::Kind::Bool: return "逻辑值";
    case Value::Kind::Number: return "数值";
    case Value::Kind::Text: return "文字";
    case Value::Kind::Date: return "日期";
    }
    return "";
}

class Evaluator {
public:
    Evaluator(const Expr::Source &source, const std::vector<int> &columns, const std::vector<Value> *literals, const Row &row)
        : m_source(source), m_columns(columns), m_literals(literals), m_row(row)
    {
    }

    Value eval(const Node &n) const;

private:
    [[noreturn]] void mismatch(const Node &n, const Value &a, const Value &b) const
    {
        failAt(m_source, n.pos, n.length,
               QStringLiteral("运算对象的类型不匹配（%1 与 %2）").arg(QString::fromUtf8(kindName(a.kind)), QString::fromUtf8(kindName(b.kind))),
               ErrorKind::Type);
    }
    [[noreturn]] void needs(const Node &n, const char *what, const Value &got) const
    {
        failAt(m_source, n.pos, n.length,
               QStringLiteral("这里需要%1，得到的是%2").arg(QString::fromUtf8(what), QString::fromUtf8(kindName(got.kind))),
               ErrorKind::Type);
    }
    Truth truth(const Node &n, const Value &v) const
    {
        if (v.kind == Value::Kind::Null)
            return Truth::Null;
        if (v.kind != Value::Kind::Bool)
            needs(n, "逻辑值", v);
        return v.flag ? Truth::True : Truth::False;
    }
    double numberArg(const Node &call, const Value &v) const
    {
        if (v.kind != Value::Kind::Number)
            needs(call, "数值", v);
        return v.number;
    }
    const QByteArray &textArg(const Node &call, const Value &v) const
    {
        if (v.kind != Value::Kind::Text)
            needs(call, "文字", v);
        return v.text;
    }
    // -1, 0, 1; 2 when either side is null.
    int compare(const Node &n, const Value &a, const Value &b) const;
    Value call(const Node &n) const;
    Value arithmetic(const Node &n, const Value &a, const Value &b) const;

    const Expr::Source &m_source;
    const std::vector<int> &m_columns;
    const std::vector<Value> *m_literals; // text literals in the table's code page
    const Row &m_row;
};

inline bool sameNumber(double a, double b)
{
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) <= 1e-12 * scale;
}

inline Value fromTruth(Truth t) { return t == Truth::Null ? Value::null() : Value::boolean(t == Truth::True); }

inline Value finite(double d) { return std::isfinite(d) ? Value::num(d) : Value::null(); }

// A count or position argument, clamped so that a huge or odd figure stays
// a defined integer (LEFT(x, 1e300) is all of x).
inline qsizetype countOf(double d)
{
    if (!(d == d))
        return 0;
    return qsizetype(std::max(-1e9, std::min(1e9, std::trunc(d))));
}

// Dates stay within the calendar QDate knows (years 1 to 9999); outside it
// they are null.
inline Value dateOf(double julianDay)
{
    if (!(julianDay >= 1721426.0 && julianDay <= 5373484.0))
        return Value::null();
    return Value::date(qint64(std::llround(julianDay)));
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
            needs(n, "数值", other);
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
            needs(n, "数值", v);
        return Value::num(-v.number);
    }
    case Node::Op::Not: {
        const Truth t = truth(n, eval(*n.kids[0]));
        return t == Truth::Null ? Value::null() : Value::boolean(t == Truth::False);
    }
    case Node::Op::And: {
        const Truth a = truth(n, eval(*n.kids[0]));
        if (a == Truth::False)
            return Value::boolean(false);
        const Truth b = truth(n, eval(*n.kids[1]));
        if (b == Truth::False)
            return Value::boolean(false);
        return fromTruth(a == Truth::True && b == Truth::True ? Truth::True : Truth::Null);
    }
    case Node::Op::Or: {
        const Truth a = truth(n, eval(*n.kids[0]));
        if (a == Truth::True)
            return Value::boolean(true);
        const Truth b = truth(n, eval(*n.kids[1]));
        if (b == Truth::True)
            return Value::boolean(true);
        return fromTruth(a == Truth::False && b == Truth::False ? Truth::False : Truth::Null);
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
    case Node::Op::Contains: {
        const Value a = eval(*n.kids[0]);
        const Value b = eval(*n.kids[1]);
        if (a.isNull() || b.isNull())
            return Value::null();
        if (a.kind != Value::Kind::Text || b.kind != Value::Kind::Text)
            mismatch(n, a, b);
        return Value::boolean(!a.text.isEmpty() && b.text.contains(a.text));
    }
    case Node::Op::Like: {
        const Value a = eval(*n.kids[0]);
        const Value b = eval(*n.kids[1]);
        if (a.isNull() || b.isNull())
            return Value::null();
        if (a.kind != Value::Kind::Text || b.kind != Value::Kind::Text)
            mismatch(n, a, b);
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

QByteArray charSlice(const QByteArray &s, qsizetype firstChar, qsizetype count)
{
    const std::vector<int> starts = charStarts(s);
    const qsizetype total = qsizetype(starts.size());
    if (firstChar < 0)
        firstChar = 0;
    if (firstChar >= total || count <= 0)
        return QByteArray("");
    const qsizetype last = std::min(total, firstChar + count);
    const int from = starts[size_t(firstChar)];
    const int to = last >= total ? int(s.size()) : starts[size_t(last)];
    return s.mid(from, to - from);
}

using codec::roundHalfAway;

Value Evaluator::call(const Node &n) const
{
    const auto &k = n.kids;
    switch (n.func) {
    case Func::Iif: {
        const Truth c = truth(n, eval(*k[0]));
        return eval(*k[c == Truth::True ? 1 : 2]);
    }
    case Func::Nvl: {
        Value a = eval(*k[0]);
        return a.isNull() ? eval(*k[1]) : a;
    }
    default:
        break;
    }
    std::vector<Value> args;
    args.reserve(k.size());
    for (const auto &kid : k)
        args.push_back(eval(*kid));
    const Value &a = args[0];
    switch (n.func) {
    case Func::IsNull:
        return Value::boolean(a.isNull());
    case Func::Empty:
        switch (a.kind) {
        case Value::Kind::Null: return Value::boolean(false);
        case Value::Kind::Bool: return Value::boolean(!a.flag);
        case Value::Kind::Number: return Value::boolean(a.number == 0.0);
        case Value::Kind::Date: return Value::boolean(false);
        case Value::Kind::Text:
            for (char c : a.text)
                if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                    return Value::boolean(false);
            return Value::boolean(true);
        }
        break;
    case Func::Between: {
        const int lo = compare(n, a, args[1]);
        const int hi = compare(n, a, args[2]);
        if (a.isNull() || args[1].isNull() || args[2].isNull())
            return Value::null();
        return Value::boolean(lo >= 0 && hi <= 0);
    }
    case Func::InList: {
        if (a.isNull())
            return Value::null();
        bool sawNull = false;
        for (size_t i = 1; i < args.size(); ++i) {
            const int c = compare(n, a, args[i]);
            if (c == 0)
                return Value::boolean(true);
            sawNull = sawNull || c == 2;
        }
        return sawNull ? Value::null() : Value::boolean(false);
    }
    case Func::Max:
    case Func::Min: {
        Value best = a;
        for (size_t i = 1; i < args.size(); ++i) {
            const int c = compare(n, best, args[i]);
            if (c == 2)
                return Value::null();
            if ((n.func == Func::Max && c < 0) || (n.func == Func::Min && c > 0))
                best = args[i];
        }
        return best;
    }
    default:
        break;
    }
    for (const Value &v : args)
        if (v.isNull())
            return Value::null();
    switch (n.func) {
    case Func::Abs:
        return Value::num(std::fabs(numberArg(n, a)));
    case Func::Int:
        return Value::num(std::trunc(numberArg(n, a)));
    case Func::Round: {
        const double x = numberArg(n, a);
        const double d = numberArg(n, args[1]);
        const int decimals = int(std::max(-15.0, std::min(15.0, std::trunc(d))));
        return finite(roundHalfAway(x, decimals));
    }
    case Func::AllTrim:
    case Func::Trim:
    case Func::LTrim: {
        const QByteArray &s = textArg(n, a);
        qsizetype from = 0, to = s.size();
        if (n.func != Func::Trim)
            while (from < to && s[from] == ' ')
                ++from;
        if (n.func != Func::LTrim)
            while (to > from && s[to - 1] == ' ')
                --to;
        return Value::bytes(s.mid(from, to - from));
    }
    case Func::Upper:
    case Func::Lower: {
        QByteArray s = textArg(n, a);
        char *p = s.data();
        char *e = p + s.size();
        while (p < e) {
            const int len = charBytes(p, e);
            if (len == 1) {
                if (n.func == Func::Upper && *p >= 'a' && *p <= 'z')
                    *p = char(*p - 'a' + 'A');
                else if (n.func == Func::Lower && *p >= 'A' && *p <= 'Z')
                    *p = char(*p - 'A' + 'a');
            }
            p += len;
        }
        return Value::bytes(s);
    }
    case Func::Left: {
        const QByteArray &s = textArg(n, a);
        return Value::bytes(charSlice(s, 0, countOf(numberArg(n, args[1]))));
    }
    case Func::Right: {
        const QByteArray &s = textArg(n, a);
        const qsizetype count = countOf(numberArg(n, args[1]));
        const qsizetype total = qsizetype(charStarts(s).size());
        return Value::bytes(charSlice(s, std::max<qsizetype>(0, total - count), std::min(count, total)));
    }
    case Func::Substr: {
        const QByteArray &s = textArg(n, a);
        const qsizetype start = countOf(numberArg(n, args[1]));
        const qsizetype count = args.size() > 2 ? countOf(numberArg(n, args[2])) : qsizetype(s.size()) + 1;
        if (start < 1)
            return Value::bytes(QByteArray(""));
        return Value::bytes(charSlice(s, start - 1, count));
    }
    case Func::Len:
        return Value::num(double(charStarts(textArg(n, a)).size()));
    case Func::Val: {
        const QByteArray &s = textArg(n, a);
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
    case Func::Str: {
        const double x = numberArg(n, a);
        const int width = args.size() > 1 ? int(countOf(numberArg(n, args[1]))) : 10;
        int decimals = args.size() > 2 ? int(countOf(numberArg(n, args[2]))) : 0;
        if (width <= 0 || width > 255)
            return Value::bytes(QByteArray(""));
        decimals = std::max(0, std::min(decimals, 18));
        QByteArray text = codec::fixed(x, decimals);
        while (text.size() > width && decimals > 0) {
            // Too wide: give up decimals before overflowing.
            --decimals;
            text = codec::fixed(x, decimals);
        }
        if (text.isEmpty() || text.size() > width)
            return Value::bytes(QByteArray(width, '*'));
        return Value::bytes(QByteArray(width - text.size(), ' ') + text);
    }
    default:
        break;
    }
    return Value::null();
}

// The kinds of values an expression works on, found from the columns'
// kinds without a row: the same type errors the evaluator raises, raised for
// any part of the expression, whichever rows the table holds. Null stands
// for a kind not known here (a null literal, IIF branches of two kinds); it
// raises nothing.
class TypeCheck {
public:
    TypeCheck(const Expr::Source &source, const std::vector<int> &columns, const Schema &schema)
        : m_source(source), m_columns(columns), m_schema(schema)
    {
    }

    Value::Kind kind(const Node &n) const;

private:
    using K = Value::Kind;
    [[noreturn]] void mismatch(const Node &n, K a, K b) const
    {
        failAt(m_source, n.pos, n.length,
               QStringLiteral("运算对象的类型不匹配（%1 与 %2）").arg(QString::fromUtf8(kindName(a)), QString::fromUtf8(kindName(b))),
               ErrorKind::Type);
    }
    void need(const Node &n, K wanted, K got) const
    {
        if (got != K::Null && got != wanted)
            failAt(m_source, n.pos, n.length,
                   QStringLiteral("这里需要%1，得到的是%2").arg(QString::fromUtf8(kindName(wanted)), QString::fromUtf8(kindName(got))),
                   ErrorKind::Type);
    }
    // Two operands compared: one kind, or unknown.
    K same(const Node &n, K a, K b) const
    {
        if (a != K::Null && b != K::Null && a != b)
            mismatch(n, a, b);
        return a != K::Null ? a : b;
    }
    K arithmetic(const Node &n, K a, K b) const;
    K call(const Node &n) const;

    const Expr::Source &m_source;
    const std::vector<int> &m_columns;
    const Schema &m_schema;
};

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
    std::vector<K> a;
    for (const auto &k : n.kids)
        a.push_back(kind(*k));
    switch (n.func) {
    case Func::Iif:
        need(n, K::Bool, a[0]);
        return a[1] == a[2] ? a[1] : K::Null;
    case Func::Nvl:
        return a[0] == a[1] ? a[0] : K::Null;
    case Func::IsNull:
    case Func::Empty:
        return K::Bool;
    case Func::Between:
    case Func::InList:
        for (size_t i = 1; i < a.size(); ++i)
            same(n, a[0], a[i]);
        return K::Bool;
    case Func::Max:
    case Func::Min: {
        K k = a[0];
        for (size_t i = 1; i < a.size(); ++i)
            k = same(n, k, a[i]);
        return k;
    }
    case Func::Abs:
    case Func::Int:
    case Func::Round:
        for (K k : a)
            need(n, K::Number, k);
        return K::Number;
    case Func::AllTrim: case Func::Trim: case Func::LTrim: case Func::Upper: case Func::Lower:
        need(n, K::Text, a[0]);
        return K::Text;
    case Func::Left: case Func::Right: case Func::Substr:
        need(n, K::Text, a[0]);
        for (size_t i = 1; i < a.size(); ++i)
            need(n, K::Number, a[i]);
        return K::Text;
    case Func::Len:
    case Func::Val:
        need(n, K::Text, a[0]);
        return K::Number;
    case Func::Str:
        for (K k : a)
            need(n, K::Number, k);
        return K::Text;
    case Func::None:
        break;
    }
    return K::Null;
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

Value::Kind checkTypes(const Node &root, const Expr::Source &source, const std::vector<int> &columns, const Schema &schema)
{
    return TypeCheck(source, columns, schema).kind(root);
}

} // namespace

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
        throw Error(QStringLiteral("%1 %2 有误：结果应为逻辑值（真或假），得到的是%3")
                        .arg(m_source->kind, quoted(m_source->text), QString::fromUtf8(kindName(v.kind))));
    return v.flag ? Truth::True : Truth::False;
}

} // namespace store::expr
