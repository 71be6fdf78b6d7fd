// The prompts of a figure's exit, without the window: which rules raise a
// prompt, worded how, in which order; and pdeclare-cli prompts, which
// scripts typing into the window ask.
#include "entry/RulePrompts.h"

#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Paths.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QHash>

#include <utility>
#include <vector>

namespace cat = store::catalogue;

namespace {

using Rules = std::vector<std::pair<const char *, const char *>>;
using Figures = std::vector<std::pair<const char *, QVariant>>;

void writeRules(const testsupport::TempProgramDir &dir, const Rules &rules)
{
    std::vector<std::vector<QVariant>> rows;
    for (const auto &r : rules)
        rows.push_back({QString::fromUtf8(r.first), QString::fromUtf8(r.second)});
    store::DbfTable::create(dir.file(QStringLiteral("DataMeta/tjjctjk.dbf")),
                            {store::FieldDef::make(QStringLiteral("Cond"), 'C', 254),
                             store::FieldDef::make(QStringLiteral("Cont"), 'C', 254)},
                            rows);
}

struct Case {
    const char *what;
    Rules rules;
    const char *left; // the field whose edit is left
    int period;
    Figures figures;  // the period's figures; the others are empty
    QStringList expected;
};

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *s : list)
        out << QString::fromUtf8(s);
    return out;
}

} // namespace

TEST(RulePrompts, WhichRulesPromptAndHow)
{
    const QVariant none;
    const Rules number{{"cws_yy>500", "过多"}, {"cws_yy<600", "运算符不看"}, {"  cws_yy>1e3  ", "  指数形式  "}};
    const Rules pair{{"cws_zk>cws_yy", "专科床位数大于医院床位数"}};
    const Rules otherShapes{{"cws_yy", "只有字段"},       {"cws_yy>", "没有数"},       {"cws_yy<>cws_zk", "另一种比较"},
                            {"cws_yy+cws_zk>5", "表达式"}, {"5<cws_yy", "数在前"},      {"cws_yy>nosuch", "没有这个字段"},
                            {"CWS_YY>5", "大写不算"}};
    const std::vector<Case> cases{
        {"above a number, in the table's order, trimmed", number, "cws_yy", 2, {{"cws_yy", 1001.0}},
         texts({"2003年  过多", "2003年  运算符不看", "2003年  指数形式"})},
        {"at the number", number, "cws_yy", 2, {{"cws_yy", 500.0}}, {}},
        {"empty figure", number, "cws_yy", 5, {{"cws_yy", none}}, {}},
        {"pair: A above an empty B, left at B", pair, "cws_yy", 5, {{"cws_zk", 10.0}},
         texts({"2006上半年  专科床位数大于医院床位数"})},
        {"pair: left at A", pair, "cws_zk", 1, {{"cws_zk", 10.0}, {"cws_yy", 9.99}},
         texts({"2002年  专科床位数大于医院床位数"})},
        {"pair: equal", pair, "cws_zk", 1, {{"cws_zk", 10.0}, {"cws_yy", 10.0}}, {}},
        {"pair: A empty", pair, "cws_zk", 1, {{"cws_yy", 5.0}}, {}},
        {"other shapes say nothing", otherShapes, "cws_yy", 1, {{"cws_yy", 2000.0}, {"cws_zk", 3000.0}}, {}},
        // The rules are those like '%field%': "_" matches any one character.
        {"underscore of the field matches any character", {{"cwsXyy>5", "通配"}}, "cws_yy", 3, {{"cws_yy", 6.0}},
         texts({"2004年  通配"})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempProgramDir dir;
        writeRules(dir, c.rules);
        QHash<QString, QVariant> figures;
        for (const auto &f : c.figures)
            figures.insert(QString::fromLatin1(f.first), f.second);
        store::Query query;
        query.setDirectory(store::paths::dataMetaDir());
        entry::RulePrompts rules(query);
        const entry::Prompts got =
            rules.afterExit(cat::indicators()[std::size_t(cat::indicatorIndex(QString::fromLatin1(c.left)))],
                            *cat::periodByIndex(c.period),
                            [&](const cat::Indicator &ind) { return figures.value(ind.field); });
        EXPECT_EQ(got.messages, c.expected) << got.messages.join(QLatin1Char('|')).toStdString();
    }
}

// The command prints what the window would show, one prompt a line.
TEST(RulePrompts, CommandLine)
{
    testsupport::TempProgramDir dir;
    writeRules(dir, {{"cws_zk>cws_yy", "专科床位数大于医院床位数"}, {"cws_yy>500", "过多"}});
    testsupport::ProcessResult r = testsupport::cli(
        {QStringLiteral("prompts"), QStringLiteral("cws_yy"), QStringLiteral("20030112"),
              QStringLiteral("cws_zk=10"), QStringLiteral("cws_yy=501"), dir.path()});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("2003年  过多\n"));
    r = testsupport::cli({QStringLiteral("prompts"), QStringLiteral("cws_yy"), QStringLiteral("5"),
                               QStringLiteral("cws_zk=10"), dir.path()});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("2006上半年  专科床位数大于医院床位数\n"));
    r = testsupport::cli({QStringLiteral("prompts"), QStringLiteral("nosuch"), QStringLiteral("1"), dir.path()});
    EXPECT_EQ(r.exitCode, 2);
}
