// The lexer of expressions and statements, and the message that points at
// the place in the text where something is wrong.
#include "store/ExprInternal.h"

#include <algorithm>

namespace store::expr {

QString quoted(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }

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
        throw Error(ErrorKind::Range, QStringLiteral("%1过长：%2 个字符，最多 %3 个").arg(source->kind).arg(s.size()).arg(Expr::maxTextLength));
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

} // namespace store::expr
