#include "store/Sql.h"

#include "store/ExprNode.h"

#include <QHash>

#include <mutex>

namespace store::sql {

using expr::Parser;
using expr::Token;

namespace {

NameAt takeName(Parser &p, const QString &what)
{
    NameAt n;
    n.pos = p.peek().pos;
    n.length = p.peek().length;
    n.name = p.expectName(what);
    return n;
}

NameAt takeTable(Parser &p)
{
    NameAt t = takeName(p, QStringLiteral("这里应为表名"));
    // "result.dbf" names the same table as "result".
    if (p.isSymbol(".") && p.isKeyword("dbf", 1)) {
        p.take();
        p.take();
    }
    return t;
}

void takeWhere(Parser &p, Statement &s)
{
    if (p.isKeyword("WHERE")) {
        p.take();
        if (p.atEnd())
            p.failHere(QStringLiteral("WHERE 后面缺少条件"));
        s.where = p.parseExpression();
    }
}

std::shared_ptr<Statement> parseText(const QString &text)
{
    auto source = std::make_shared<expr::Expr::Source>();
    source->text = text;
    source->kind = QStringLiteral("语句");
    Parser p(source, expr::tokenize(source));
    auto s = std::make_shared<Statement>();
    s->text = text;
    if (p.atEnd())
        p.failHere(QStringLiteral("语句是空的"));
    if (p.isKeyword("SELECT")) {
        p.take();
        s->kind = Statement::Kind::Select;
        if (p.isSymbol("*")) {
            p.take();
            s->allColumns = true;
        } else {
            do {
                s->columns.push_back(takeName(p, QStringLiteral("这里应为 * 或列名")));
            } while (p.isSymbol(",") && (p.take(), true));
        }
        p.expectKeyword("FROM", QStringLiteral("这里应为 FROM"));
        s->table = takeTable(p);
        takeWhere(p, *s);
    } else if (p.isKeyword("UPDATE")) {
        p.take();
        s->kind = Statement::Kind::Update;
        s->table = takeTable(p);
        p.expectKeyword("SET", QStringLiteral("这里应为 SET"));
        do {
            Assignment a;
            a.column = takeName(p, QStringLiteral("这里应为要修改的列名"));
            p.expectSymbol("=", QStringLiteral("列名后面应为 \"=\""));
            a.value = p.parseExpression();
            for (const Assignment &other : s->assignments)
                if (other.column.name.compare(a.column.name, Qt::CaseInsensitive) == 0)
                    failAtName(*s, a.column, QStringLiteral("列 %1 被赋值了两次").arg(a.column.name));
            s->assignments.push_back(std::move(a));
        } while (p.isSymbol(",") && (p.take(), true));
        takeWhere(p, *s);
    } else if (p.isKeyword("DELETE")) {
        p.take();
        s->kind = Statement::Kind::Delete;
        if (p.isKeyword("FROM"))
            p.take();
        s->table = takeTable(p);
        takeWhere(p, *s);
    } else if (p.isKeyword("PACK")) {
        p.take();
        s->kind = Statement::Kind::Pack;
        s->table = takeTable(p);
    } else {
        p.failHere(QStringLiteral("语句应以 SELECT、UPDATE、DELETE 或 PACK 开头"));
    }
    if (p.isSymbol(";"))
        p.take();
    if (!p.atEnd())
        p.failHere(QStringLiteral("语句在此之前已经完整，这里多出了内容"));
    return s;
}

} // namespace

void failAtName(const Statement &statement, const NameAt &name, const QString &what, ErrorKind kind)
{
    expr::Expr::Source source;
    source.text = statement.text;
    source.kind = QStringLiteral("语句");
    expr::failAt(source, name.pos, name.length, what, kind);
}

std::shared_ptr<const Statement> parse(const QString &text)
{
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<const Statement>> cache;
    constexpr int cacheLimit = 2048;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = cache.constFind(text);
        if (it != cache.constEnd())
            return it.value();
    }
    std::shared_ptr<const Statement> parsed = parseText(text);
    std::lock_guard<std::mutex> lock(mutex);
    if (cache.size() >= cacheLimit)
        cache.clear();
    cache.insert(text, parsed);
    return parsed;
}

} // namespace store::sql
