// Every delivered rule runs as the check runs it, over the template and over
// filled declarations: accepted by the statement engine, silent on data that
// is consistent or never entered, and, for the simple rules, firing exactly
// on the figure its message speaks of.
#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "store/UDeclareFunction.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace cat = store::catalogue;

namespace {

struct Rule {
    QString cond;
    QString cont;
};

std::vector<Rule> deliveredRules()
{
    const store::DbfTable t = store::DbfTable::load(store::paths::dataMetaDir() + QStringLiteral("tjjctjk.dbf"));
    std::vector<Rule> rules;
    for (quint32 r = 0; r < t.recordCount(); ++r)
        rules.push_back({t.value(r, 0).toString().trimmed(), t.value(r, 1).toString().trimmed()});
    return rules;
}

// The periods whose rows the rule selects.
QStringList selected(const QString &cond)
{
    store::Query q(QStringLiteral("AQry_Temp"));
    q.setDirectory(store::paths::resultDir());
    q.setSql(QStringLiteral("select nd from result where ") + cond);
    q.open();
    QStringList periods;
    for (q.first(); !q.eof(); q.next())
        periods << q.fieldByName(QStringLiteral("nd")).toString().trimmed();
    return periods;
}

// A consistent declaration of a mid-sized specialty.
std::map<QString, double> plausible()
{
    const std::pair<const char *, double> figures[] = {
        {"cws_yy", 800},       {"cws_zk", 60},        {"rys_yjs", 5},        {"rys_bks", 12},      {"rys_qt", 8},
        {"yss_gjzc", 4},       {"yss_zjzc", 6},       {"yss_cjzc", 5},       {"sb_yysbz", 12000},  {"sb_zksbz", 600},
        {"sb_syl", 85},        {"sb_whl", 95},        {"tryxy_yyyw", 50000}, {"tryxy_yyyp", 20000}, {"tryxy_yyzy", 8000},
        {"tryxy_jftr", 300},   {"tryxy_zkyw", 3000},  {"tryxy_zkyp", 1200},  {"tryxy_zkzy", 700},  {"mzl_yy", 600000},
        {"mzl_zk", 40000},     {"pjmymzrcfy", 180},   {"qncybrs_yy", 20000}, {"qncybrs_zk", 1500}, {"bcsyl", 92},
        {"bczzl", 25},         {"pjzyr", 12},         {"pjmyzyrcfy", 8000},  {"jwzzhzbl", 10},     {"ynbzhzbl", 20},
        {"qywhzbl", 15},       {"zyzll", 80},         {"zdfhl_mc", 95},      {"zdfhl_rc", 97},     {"tslf", 8},
        {"kfxy", 1},           {"zzzyzj", 5},         {"zykt_gjj", 1},       {"zykt_sbj", 3},      {"zykt_dsj", 4},
        {"zykt_qt", 2},        {"kycg_tgjds", 3},     {"kycg_hjs", 2},       {"cbzzs", 2},         {"fblws", 15},
        {"jscgdtgyy", 3},      {"xjsxxmdyj", 2},      {"jxnl_bsyjs", 2},     {"jxnl_ssyjs", 6},    {"jxnl_bk", 40},
        {"pxb_cs", 1},         {"pxb_ztkrs", 120},    {"wyjx_rs", 3},        {"wyjx_cgrs", 1},     {"xsjz_gjjbc", 1},
        {"xsjz_gjjrs", 150},   {"xsjz_sjbc", 2},      {"xsjz_sjrs", 200},    {"jsjxry", 10}};
    std::map<QString, double> m;
    for (const auto &[field, value] : figures)
        m[QString::fromLatin1(field)] = value;
    return m;
}

// Writes the figures into the rows of the given periods (1..5) of result.
void writeFigures(const std::map<QString, double> &figures, std::initializer_list<int> periods)
{
    store::DbfTable t = store::DbfTable::load(store::paths::resultTable());
    for (int p : periods) {
        const quint32 record = quint32(p - 1);
        std::vector<QVariant> values;
        for (int f = 0; f < int(t.fields().size()); ++f)
            values.push_back(t.value(record, f));
        values[0] = QStringLiteral("1001  ");
        for (const auto &[field, value] : figures)
            values[std::size_t(t.fieldIndex(field))] = value;
        t.writeRecord(record, values);
    }
}

} // namespace

TEST(DeliveredRules, RunOverTheTemplateAndSelectNothing)
{
    testsupport::TempProgramDir dir;
    const std::vector<Rule> rules = deliveredRules();
    ASSERT_GE(rules.size(), 40u);
    for (const Rule &rule : rules) {
        try {
            EXPECT_TRUE(selected(rule.cond).isEmpty()) << rule.cond.toStdString();
        } catch (const store::Error &e) {
            ADD_FAILURE() << rule.cond.toStdString() << ": " << e.message().toStdString();
        }
    }
}

TEST(DeliveredRules, StaySilentOnConsistentAndOnAllZeroDeclarations)
{
    testsupport::TempProgramDir dir;
    std::map<QString, double> zeros;
    for (const cat::Indicator &ind : cat::indicators())
        zeros[ind.field] = 0;
    writeFigures(zeros, {1, 2});            // saved without any figure
    writeFigures(plausible(), {3, 4, 5});   // a filled, consistent declaration
    for (const Rule &rule : deliveredRules())
        EXPECT_TRUE(selected(rule.cond).isEmpty()) << rule.cond.toStdString();
}

TEST(DeliveredRules, SimpleRulesFireOnTheFigureTheyName)
{
    testsupport::TempProgramDir dir;
    const std::map<QString, double> base = plausible();
    writeFigures(base, {1, 2, 3, 4, 5});
    int simple = 0;
    for (const Rule &rule : deliveredRules()) {
        const int gt = rule.cond.indexOf(QLatin1Char('>'));
        const QString a = rule.cond.left(gt), b = rule.cond.mid(gt + 1);
        if (gt <= 0 || cat::indicatorIndex(a) < 0)
            continue;
        double limit = 0;
        if (UDeclareFunction::IsNumber(b, &limit)) {
        } else if (cat::indicatorIndex(b) >= 0) {
            limit = base.at(b);
        } else {
            continue;
        }
        ++simple;
        std::map<QString, double> figures = base;
        figures[a] = limit; // equal is still within the rule
        writeFigures(figures, {4});
        EXPECT_TRUE(selected(rule.cond).isEmpty()) << rule.cond.toStdString();
        figures[a] = limit + 1;
        writeFigures(figures, {4});
        EXPECT_EQ(selected(rule.cond), QStringList{cat::periods()[3].code}) << rule.cond.toStdString();
        writeFigures(base, {4});
    }
    EXPECT_GE(simple, 20);
}
