#pragma once
// Internal to the store: the token stream, the expression tree and the
// recursive-descent parser (ExprLexer.cpp, ExprParser.cpp), shared by the
// expression engine and Sql.cpp (statements, whose WHERE and SET parts are
// expressions).
#include "store/Expr.h"

#include <QString>

#include <memory>
#include <vector>

namespace store::expr {

struct Token {
    enum class Type { End, Ident, Number, String, Symbol, Dotted };
    Type type = Type::End;
    QString text;    // Ident: as written; Symbol: the operator; Dotted: upper-case word; String: contents
    double number = 0.0;
    int pos = 0;     // 0-based character position in the source text
    int length = 0;  // characters in the source text
};

// The text being parsed and what kind of text it is, for error messages.
struct Expr::Source {
    QString text;
    QString kind; // "条件" or "语句"
};

// Splits the whole text into tokens; raises on an unterminated literal or a
// character that belongs to no token.
std::vector<Token> tokenize(const std::shared_ptr<const Expr::Source> &source);

// Raises store::Error: <kind> "<text>" 有误：第 N 个字符处 "<token>"：<what>
[[noreturn]] void failAt(const Expr::Source &source, int pos, int length, const QString &what,
                         ErrorKind kind = ErrorKind::Syntax);
[[noreturn]] void failAtEnd(const Expr::Source &source, const QString &what);

struct Function; // a built-in function (ExprFunctions.cpp)

struct Node {
    enum class Op : quint8 {
        Literal, Column, Neg, Not, And, Or,
        Add, Sub, Mul, Div, Mod, Pow,
        Eq, Ne, Lt, Le, Gt, Ge, Contains,
        Like, Between, In, IsNull, Call
    };
    Op op = Op::Literal;
    bool negated = false; // NOT LIKE, NOT BETWEEN, NOT IN, IS NOT NULL
    const Function *func = nullptr; // Call
    int pos = 0;          // where the operator, literal or name starts
    int length = 0;
    int depth = 1;
    int slot = -1;        // Column: index into the expression's distinct names; text literal: its number
    Value literal;
    QString name;         // Column or function name as written; a text literal's text
    std::vector<std::unique_ptr<Node>> kids;
};

// Parses expressions from a token stream. Several expressions of one
// statement share one parser (and its list of column names per expression).
class Parser {
public:
    Parser(std::shared_ptr<const Expr::Source> source, std::vector<Token> tokens);

    const Token &peek(int ahead = 0) const;
    const Token &take();
    bool atEnd() const { return peek().type == Token::Type::End; }
    bool isKeyword(const char *word, int ahead = 0) const; // an Ident equal to word, any case
    bool isWord(const char *word) const; // the keyword, or the word between points (.AND.)
    bool isSymbol(const char *symbol, int ahead = 0) const;
    void expectKeyword(const char *word, const QString &what);
    void expectSymbol(const char *symbol, const QString &what);
    QString expectName(const QString &what); // an identifier that is no keyword
    [[noreturn]] void failHere(const QString &what) const;

    // One expression up to the first token that cannot continue it.
    Expr parseExpression();

    const std::shared_ptr<const Expr::Source> &source() const { return m_source; }

private:
    using NodePtr = std::unique_ptr<Node>;
    NodePtr parseOr(int level);
    NodePtr parseAnd(int level);
    NodePtr parseNot(int level);
    NodePtr parseEquality(int level);
    NodePtr parseRelational(int level);
    NodePtr parseAdditive(int level);
    NodePtr parseMultiplicative(int level);
    NodePtr parsePower(int level);
    NodePtr parseUnary(int level);
    NodePtr parsePrimary(int level);
    NodePtr parseCall(const Token &name, int level);
    NodePtr makeNode(Node::Op op, const Token &at, std::vector<NodePtr> kids);
    void checkLevel(int level) const;

    std::shared_ptr<const Expr::Source> m_source;
    std::vector<Token> m_tokens;
    size_t m_next = 0;
    QStringList m_names; // distinct column names of the expression being parsed
    int m_textLiterals = 0; // text literals of the expression being parsed
};

bool isReservedWord(const QString &word);

} // namespace store::expr
