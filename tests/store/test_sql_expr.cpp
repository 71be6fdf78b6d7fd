// Conditions evaluated over in-memory rows: the driver's comparison, null and
// precedence rules, the functions, and the errors of bad conditions.
#include "store/Expr.h"

#include <gtest/gtest.h>

#include <QStringList>

using store::Error;
using namespace store::expr;

namespace {

// A one-row table held in memory.
class MemRow : public Schema, public Row {
public:
    MemRow &set(const QString &name, const Value &v)
    {
        names.push_back(name);
        values.push_back(v);
        return *this;
    }
    int columnIndex(const QString &name) const override
    {
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    QString tableName() const override { return QStringLiteral("result"); }
    Value column(int index) const override
    {
        ++reads;
        return values[size_t(index)];
    }
    QStringList names;
    std::vector<Value> values;
    mutable int reads = 0;
};

// The declaration row shape the rules run over: nd text, blank and filled figures.
MemRow periodRow()
{
    MemRow r;
    r.set("nd", Value::string("20030112"))
        .set("yydm", Value::string("A001  北京协和医院      "))
        .set("cws_yy", Value::num(120))
        .set("cws_zk", Value::num(35.5))
        .set("blank", Value::null())
        .set("zero", Value::num(0))
        .set("ok", Value::boolean(true))
        .set("born", Value::date(2452641)); // 2003-01-01
    return r;
}

Truth eval(const QString &cond, const MemRow &row)
{
    Expr e = Expr::parse(cond);
    e.bind(row);
    return e.test(row);
}

Value value(const QString &text, const MemRow &row)
{
    Expr e = Expr::parse(text);
    e.bind(row);
    return e.evaluate(row);
}

QString text(const QString &expression, const MemRow &row) { return value(expression, row).toQString(); }

QString errorOf(const QString &cond, const MemRow &row)
{
    try {
        eval(cond, row);
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

} // namespace

TEST(SqlExpr, TextsCompareBlankPaddedByteCode)
{
    const MemRow r = periodRow();
    EXPECT_EQ(eval("'abc' = 'abc  '", r), Truth::True);
    EXPECT_EQ(eval("'abc  ' == 'abc'", r), Truth::True);
    EXPECT_EQ(eval("'ab' = 'abc'", r), Truth::False);
    EXPECT_EQ(eval("'abc' = 'ab'", r), Truth::False);
    EXPECT_EQ(eval("'Tommy' = 'Tom'", r), Truth::False);
    EXPECT_EQ(eval("nd = '20030112'", r), Truth::True);
    EXPECT_EQ(eval("nd='20020112'", r), Truth::False);
    // By code: upper case sorts before lower case, and a blank before any letter.
    EXPECT_EQ(eval("'Z' < 'a'", r), Truth::True);
    EXPECT_EQ(eval("'abc' = 'ABC'", r), Truth::False);
    EXPECT_EQ(eval("'ab' < 'abc'", r), Truth::True);
    EXPECT_EQ(eval("'ab' < 'ab '", r), Truth::False);
    // GBK bytes: a Chinese character sorts after every ASCII letter.
    EXPECT_EQ(eval("'z' < '北'", r), Truth::True);
    EXPECT_EQ(eval("yydm = 'A001  北京协和医院'", r), Truth::True);
    EXPECT_EQ(eval("[x] = \"x\" and 'x' # 'y' and 'x' != 'y' and 'x' <> 'y'", r), Truth::True);
}

TEST(SqlExpr, NumbersAndTolerance)
{
    const MemRow r = periodRow();
    EXPECT_EQ(eval("cws_zk > cws_yy", r), Truth::False);
    EXPECT_EQ(eval("cws_yy >= 120 and cws_yy <= 120.0", r), Truth::True);
    EXPECT_EQ(eval("0.1 + 0.2 = 0.3", r), Truth::True);
    EXPECT_EQ(eval("0.1 + 0.2 > 0.3", r), Truth::False);
    EXPECT_EQ(eval("100.01 > 100", r), Truth::True);
    EXPECT_EQ(eval("999999999.99 > 999999999.98", r), Truth::True);
    EXPECT_EQ(eval("cws_zk/cws_yy*100 > 29", r), Truth::True);
    EXPECT_EQ(eval("cws_zk/cws_yy*100 > 30", r), Truth::False);
    EXPECT_DOUBLE_EQ(value("2 + 3 * 4", r).number, 14);
    EXPECT_DOUBLE_EQ(value("2 ^ 3 ** 2", r).number, 64); // left to right
    EXPECT_DOUBLE_EQ(value("-2 ^ 2", r).number, 4);      // unary binds tightest
    EXPECT_DOUBLE_EQ(value("7 % 3 + 10 / 4", r).number, 3.5);
    EXPECT_DOUBLE_EQ(value("-7 % 3", r).number, 2);      // sign of the divisor
    EXPECT_DOUBLE_EQ(value(".5 + 1.", r).number, 1.5);
    EXPECT_DOUBLE_EQ(value("1e3", r).number, 1000);
    // Division by zero does not stop the statement: it selects nothing.
    EXPECT_TRUE(value("cws_yy / zero", r).isNull());
    EXPECT_EQ(eval("cws_yy / zero > 1", r), Truth::Null);
    EXPECT_TRUE(value("5 % 0", r).isNull());
}

TEST(SqlExpr, NullIsThreeValued)
{
    const MemRow r = periodRow();
    EXPECT_EQ(eval("blank > 0", r), Truth::Null);
    EXPECT_EQ(eval("blank = blank", r), Truth::Null);
    EXPECT_EQ(eval("blank <> 1", r), Truth::Null);
    EXPECT_EQ(eval("not blank > 0", r), Truth::Null);
    EXPECT_EQ(eval(".T. AND blank > 0", r), Truth::Null);
    EXPECT_EQ(eval(".F. AND blank > 0", r), Truth::False);
    EXPECT_EQ(eval("blank > 0 AND .F.", r), Truth::False);
    EXPECT_EQ(eval(".T. OR blank > 0", r), Truth::True);
    EXPECT_EQ(eval("blank > 0 OR .T.", r), Truth::True);
    EXPECT_EQ(eval(".F. OR blank > 0", r), Truth::Null);
    EXPECT_TRUE(value("blank + 1", r).isNull());
    EXPECT_TRUE(value("-blank", r).isNull());
    EXPECT_EQ(eval("blank is null and cws_yy is not null", r), Truth::True);
    EXPECT_EQ(eval(".NULL. is null and NULL is null and .null. is null", r), Truth::True);
    EXPECT_EQ(eval("isnull(blank) and !isnull(zero)", r), Truth::True);
    EXPECT_EQ(eval("empty(blank)", r), Truth::False);
    EXPECT_EQ(eval("empty(zero) and empty('  ') and empty(.F.) and !empty('a')", r), Truth::True);
    EXPECT_DOUBLE_EQ(value("nvl(blank, 7) + nvl(cws_yy, 7)", r).number, 127);
    // A null condition in IIF takes the false branch.
    EXPECT_DOUBLE_EQ(value("iif(blank > 0, 1, 2)", r).number, 2);
    // Short-circuit: the right side is not evaluated once the result is known.
    MemRow counted = periodRow();
    eval(".F. AND cws_yy > 0 AND cws_zk > 0", counted);
    EXPECT_EQ(counted.reads, 0);
}

TEST(SqlExpr, PrecedenceOfLogicalOperators)
{
    const MemRow r = periodRow();
    // AND binds tighter than OR: T OR (F AND F).
    EXPECT_EQ(eval(".T. OR .F. AND .F.", r), Truth::True);
    EXPECT_EQ(eval("(.T. OR .F.) AND .F.", r), Truth::False);
    // NOT binds tighter than AND but looser than comparisons.
    EXPECT_EQ(eval("NOT cws_yy = 1 AND .T.", r), Truth::True);
    EXPECT_EQ(eval("NOT .T. OR .T.", r), Truth::True);
    EXPECT_EQ(eval("cws_yy>100.and.cws_zk<100.or..f.", r), Truth::True);
}

TEST(SqlExpr, LikeContainsBetweenIn)
{
    const MemRow r = periodRow();
    EXPECT_EQ(eval("'cws_yy > 100' like '%cws_yy%'", r), Truth::True);
    EXPECT_EQ(eval("'CWS_YY > 100' like '%cws_yy%'", r), Truth::False); // case-sensitive
    EXPECT_EQ(eval("nd like '2003____'", r), Truth::True);
    EXPECT_EQ(eval("nd like '2003___'", r), Truth::False);
    EXPECT_EQ(eval("nd like '20%12'", r), Truth::True);
    EXPECT_EQ(eval("nd not like '2002%'", r), Truth::True);
    EXPECT_EQ(eval("'abc   ' like 'abc'", r), Truth::True); // padded field
    EXPECT_EQ(eval("'北京' like '__'", r), Truth::True);     // a GBK character is one
    EXPECT_EQ(eval("yydm like '%协和%'", r), Truth::True);
    EXPECT_EQ(eval("'a%b' like 'a%%b' and 'ab' like '%' and '' like '%'", r), Truth::True);
    EXPECT_EQ(eval("'aXbXc' like '%b%c' and not 'aXbXd' like '%b%c'", r), Truth::True);
    EXPECT_EQ(eval("blank like '%'", r), Truth::Null);
    EXPECT_EQ(eval("'yy' $ 'cws_yy' and not 'zz' $ 'cws_yy' and not '' $ 'abc'", r), Truth::True);
    EXPECT_EQ(eval("cws_yy between 100 and 120", r), Truth::True);
    EXPECT_EQ(eval("cws_yy not between 121 and 200", r), Truth::True);
    EXPECT_EQ(eval("cws_yy between 1 and blank", r), Truth::Null);
    EXPECT_EQ(eval("cws_yy between 200 and blank", r), Truth::False);
    EXPECT_EQ(eval("between(cws_zk, 35.5, 36) and !between(1, 2, 3)", r), Truth::True);
    EXPECT_EQ(eval("nd in ('20020112', '20030112')", r), Truth::True);
    EXPECT_EQ(eval("nd not in ('20020112')", r), Truth::True);
    EXPECT_EQ(eval("cws_yy in (1, blank)", r), Truth::Null);
    EXPECT_EQ(eval("cws_yy in (120, blank)", r), Truth::True);
    EXPECT_EQ(eval("inlist(cws_yy, 1, 2, 120)", r), Truth::True);
    EXPECT_EQ(eval("inlist(blank, 1)", r), Truth::Null);
}

TEST(SqlExpr, Functions)
{
    const MemRow r = periodRow();
    EXPECT_EQ(text("alltrim('  a b  ') + '|'", r), "a b|");
    EXPECT_EQ(text("trim('  a  ') + '|' + rtrim('x ') + ltrim('  y')", r), "  a|xy");
    EXPECT_EQ(text("upper('abc北京xyz') + lower('ABC')", r), "ABC北京XYZabc");
    EXPECT_EQ(text("left(yydm, 4)", r), "A001");
    EXPECT_EQ(text("substr(alltrim(yydm), 7, 2)", r), "北京");
    EXPECT_EQ(text("substr('abcdef', 3)", r), "cdef");
    EXPECT_EQ(text("right(alltrim(yydm), 2)", r), "医院");
    EXPECT_EQ(text("right('ab', 5) + left('ab', 0)", r), "ab");
    EXPECT_DOUBLE_EQ(value("len(alltrim(yydm))", r).number, 12);
    EXPECT_DOUBLE_EQ(value("val('  12.5abc') + val('x') + val('-3')", r).number, 9.5);
    EXPECT_EQ(text("str(35.5)", r), "        36");
    EXPECT_EQ(text("str(35.456, 8, 2)", r), "   35.46");
    EXPECT_EQ(text("str(123456, 3)", r), "***");
    EXPECT_DOUBLE_EQ(value("round(2.675, 2)", r).number, 2.68);
    EXPECT_DOUBLE_EQ(value("round(-2.5, 0)", r).number, -3);
    EXPECT_DOUBLE_EQ(value("round(1234, -2)", r).number, 1200);
    EXPECT_DOUBLE_EQ(value("int(-3.7) + abs(-2)", r).number, -1);
    EXPECT_DOUBLE_EQ(value("max(1, cws_zk, 3) + min(cws_yy, 200)", r).number, 155.5);
    EXPECT_TRUE(value("max(1, blank)", r).isNull());
    EXPECT_EQ(text("max('b', 'a')", r), "b");
    EXPECT_EQ(text("iif(cws_yy > 100, 'big', 'small')", r), "big");
    EXPECT_EQ(text("'ab  ' - 'cd'", r), "abcd  ");
    EXPECT_DOUBLE_EQ(value("born + 31 - born", r).number, 31);
    // Odd figures as counts or dates stay defined.
    EXPECT_EQ(text("left('abc', 1e300) + substr('abc', -1e300, 1e300) + right('abc', -5)", r), "abc");
    EXPECT_TRUE(value("born + 1e300", r).isNull());
    EXPECT_EQ(text("str(1, 1e300)", r), "");
    EXPECT_EQ(eval("ALLT(' 1 ') = '1' and SUBS('abc', 2, 1) = 'b'", r), Truth::True); // 4-letter abbreviations
}

TEST(SqlExpr, SyntaxErrorsQuoteTheTextAndPosition)
{
    const MemRow r = periodRow();
    const QString m1 = errorOf("cws_yy >> 3", r);
    EXPECT_TRUE(m1.contains("\"cws_yy >> 3\"")) << m1.toStdString();
    EXPECT_TRUE(m1.contains("第 9 个字符")) << m1.toStdString();
    EXPECT_TRUE(errorOf("cws_yy > ", r).contains("末尾"));
    EXPECT_TRUE(errorOf("(cws_yy > 1", r).contains(")"));
    EXPECT_TRUE(errorOf("nd = 'abc", r).contains("第 6 个字符"));
    EXPECT_TRUE(errorOf("nd = [abc", r).contains("]"));
    EXPECT_TRUE(errorOf("cws_yy > 1 cws_zk", r).contains("第 12 个字符"));
    EXPECT_TRUE(errorOf("cws_yy ? 1", r).contains("\"?\""));
    EXPECT_TRUE(errorOf("nosuch(1)", r).contains("nosuch"));
    EXPECT_TRUE(errorOf("left('a')", r).contains("函数 LEFT 需要 2 个参数，这里有 1 个"));
    EXPECT_TRUE(errorOf("substr('a')", r).contains("函数 SUBSTR 需要 2 到 3 个参数，这里有 1 个"));
    EXPECT_TRUE(errorOf("max(1) = 1", r).contains("函数 MAX 需要 至少 2 个参数，这里有 1 个"));
    EXPECT_TRUE(errorOf("", r).contains("空"));
    EXPECT_TRUE(errorOf("cws_yy .xor. 1", r).contains("第 8 个字符"));
    EXPECT_TRUE(errorOf("12abc > 1", r).contains("第 1 个字符"));
    EXPECT_TRUE(errorOf("and > 1", r).contains("AND"));
}

TEST(SqlExpr, MissingColumnsAndTypeErrorsNameTheirPlace)
{
    const MemRow r = periodRow();
    const QString m = errorOf("cws_yy > 1 and cws_xx > 2", r);
    EXPECT_TRUE(m.contains("cws_xx")) << m.toStdString();
    EXPECT_TRUE(m.contains("result")) << m.toStdString();
    EXPECT_TRUE(m.contains("第 16 个字符")) << m.toStdString();
    // Names ignore case.
    EXPECT_EQ(eval("CWS_YY > 1 and Nd = '20030112'", r), Truth::True);
    EXPECT_TRUE(errorOf("nd > 1", r).contains("类型不匹配"));
    EXPECT_TRUE(errorOf("cws_yy + 'a' > 1", r).contains("类型不匹配"));
    EXPECT_TRUE(errorOf("cws_yy", r).contains("逻辑值"));       // not a condition
    EXPECT_TRUE(errorOf("cws_yy and .T.", r).contains("逻辑值"));
    EXPECT_TRUE(errorOf("upper(cws_yy) = 'a'", r).contains("文字"));
}

TEST(SqlExpr, BoundedTextAndDepth)
{
    const MemRow r = periodRow();
    QString deep(300, QLatin1Char('('));
    deep += "1" + QString(300, QLatin1Char(')')) + " = 1";
    EXPECT_TRUE(errorOf(deep, r).contains("嵌套过深"));
    QString chain = "1";
    for (int i = 0; i < 1000; ++i)
        chain += "+1";
    EXPECT_TRUE(errorOf(chain + " > 0", r).contains("嵌套过深"));
    QString nots;
    for (int i = 0; i < 500; ++i)
        nots += "!";
    EXPECT_TRUE(errorOf(nots + ".T.", r).contains("嵌套过深"));
    EXPECT_TRUE(errorOf(QString(Expr::maxTextLength + 1, QLatin1Char(' ')) + "1=1", r).contains("过长"));
    // 150 nested levels are fine.
    EXPECT_EQ(eval(QString(150, QLatin1Char('(')) + ".T." + QString(150, QLatin1Char(')')), r), Truth::True);
}

TEST(SqlExpr, ParsedOnceEvaluatedOverManyRows)
{
    Expr e = Expr::parse("cws_zk > cws_yy OR nd = '20060106'");
    EXPECT_EQ(e.columnNames(), QStringList({"cws_zk", "cws_yy", "nd"}));
    int selected = 0;
    for (int i = 0; i < 10; ++i) {
        MemRow row;
        row.set("nd", Value::string(i == 9 ? "20060106" : "20020112"))
            .set("cws_yy", Value::num(10))
            .set("cws_zk", i < 3 ? Value::num(i * 6) : Value::null());
        e.bind(row);
        selected += e.holds(row) ? 1 : 0;
    }
    EXPECT_EQ(selected, 2); // cws_zk 12 and the last period
}

namespace {
// Plain recursive LIKE over single-byte texts, the reference for the fast matcher.
bool referenceLike(const char *t, const char *p)
{
    if (*p == '\0')
        return *t == '\0';
    if (*p == '%')
        return referenceLike(t, p + 1) || (*t != '\0' && referenceLike(t + 1, p));
    return *t != '\0' && (*p == '_' || *p == *t) && referenceLike(t + 1, p + 1);
}
} // namespace

TEST(SqlExpr, LikeAgreesWithReferenceMatcher)
{
    // Every text over {a,b} up to 5 long against every pattern over {a,b,_,%} up to 4 long.
    const char textAlphabet[] = "ab";
    const char patternAlphabet[] = "ab_%";
    std::vector<std::string> texts{""}, patterns{""};
    for (int len = 1; len <= 5; ++len) {
        const size_t from = texts.size();
        for (size_t i = 0; i < from; ++i)
            if (int(texts[i].size()) == len - 1)
                for (char c : std::string(textAlphabet))
                    texts.push_back(texts[i] + c);
    }
    for (int len = 1; len <= 4; ++len) {
        const size_t from = patterns.size();
        for (size_t i = 0; i < from; ++i)
            if (int(patterns[i].size()) == len - 1)
                for (char c : std::string(patternAlphabet))
                    patterns.push_back(patterns[i] + c);
    }
    int checked = 0;
    for (const std::string &t : texts) {
        for (const std::string &p : patterns) {
            const bool expected = referenceLike(t.c_str(), p.c_str());
            ASSERT_EQ(likeMatch(QByteArray::fromStdString(t), QByteArray::fromStdString(p)), expected)
                << "'" << t << "' like '" << p << "'";
            // The same with a double-byte character in front takes the character-wise path.
            const QByteArray wide = encodeText(QStringLiteral("北")) + QByteArray::fromStdString(t);
            ASSERT_EQ(likeMatch(wide, "%" + QByteArray::fromStdString(p)), referenceLike(("x" + t).c_str(), ("%" + p).c_str()))
                << "'北" << t << "' like '%" << p << "'";
            ++checked;
        }
    }
    EXPECT_GT(checked, 10000);
}
