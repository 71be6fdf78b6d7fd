// The catalogue's shape and its tricky texts, the entry edit names, the
// period labels and the shared number test.
#include "store/Catalogue.h"
#include "store/UDeclareFunction.h"

#include <gtest/gtest.h>

#include <QSet>

namespace cat = store::catalogue;

namespace {
const cat::Indicator &byField(const char *field)
{
    const int i = cat::indicatorIndex(QString::fromLatin1(field));
    EXPECT_GE(i, 0) << field;
    return cat::indicators().at(std::size_t(i < 0 ? 0 : i));
}
QString u(const char *s) { return QString::fromUtf8(s); }
} // namespace

TEST(Catalogue, CountsAndContiguousRanges)
{
    ASSERT_EQ(cat::periods().size(), 5u);
    ASSERT_EQ(cat::groups().size(), 4u);
    ASSERT_EQ(cat::items().size(), 31u);
    ASSERT_EQ(cat::indicators().size(), 59u);

    const int groupRanges[4][2] = {{0, 18}, {19, 36}, {37, 46}, {47, 58}};
    for (int g = 0; g < 4; ++g) {
        EXPECT_EQ(cat::groups()[g].firstIndicator, groupRanges[g][0]) << g;
        EXPECT_EQ(cat::groups()[g].lastIndicator, groupRanges[g][1]) << g;
    }
    // Items follow each other without gaps, each inside one group, and every
    // indicator points back at the item and group that hold it.
    int next = 0;
    for (std::size_t i = 0; i < cat::items().size(); ++i) {
        const cat::Item &item = cat::items()[i];
        EXPECT_EQ(item.number, int(i) + 1);
        EXPECT_EQ(item.firstIndicator, next) << item.number;
        ASSERT_GE(item.lastIndicator, item.firstIndicator);
        const cat::Group &group = cat::groups().at(std::size_t(item.group));
        EXPECT_GE(item.firstIndicator, group.firstIndicator);
        EXPECT_LE(item.lastIndicator, group.lastIndicator);
        for (int k = item.firstIndicator; k <= item.lastIndicator; ++k) {
            EXPECT_EQ(cat::indicators()[k].item, int(i));
            EXPECT_EQ(cat::indicators()[k].group, item.group);
            EXPECT_EQ(cat::indicators()[k].number, k + 1);
        }
        next = item.lastIndicator + 1;
    }
    EXPECT_EQ(next, 59);
    // Items 7, 9 to 16, 18 to 20, 23 to 26 and 31 hold one figure each.
    int single = 0;
    for (const cat::Item &item : cat::items())
        single += item.hasSubItems() ? 0 : 1;
    EXPECT_EQ(single, 17);
}

TEST(Catalogue, FieldNamesAndThe295EditNames)
{
    QSet<QString> fields;
    QSet<QString> edits;
    for (std::size_t i = 0; i < cat::indicators().size(); ++i) {
        const cat::Indicator &ind = cat::indicators()[i];
        EXPECT_EQ(ind.field, ind.field.toLower()) << ind.field.toStdString();
        EXPECT_LE(ind.field.size(), 10) << "a DBF column name holds 10 characters";
        EXPECT_FALSE(ind.field.back().isDigit()) << "the period digit must stay the last character";
        fields.insert(ind.field);
        EXPECT_EQ(cat::indicatorIndex(ind.field.toUpper()), int(i));
        for (int p = 1; p <= 5; ++p) {
            const QString name = cat::editName(ind, p);
            edits.insert(name.toLower());
            int back = -1, period = -1;
            ASSERT_TRUE(cat::parseEditName(name, &back, &period)) << name.toStdString();
            EXPECT_EQ(back, int(i));
            EXPECT_EQ(period, p);
        }
    }
    EXPECT_EQ(fields.size(), 59);
    EXPECT_EQ(edits.size(), 295);
    EXPECT_EQ(cat::editName(cat::indicators()[0], 1), QStringLiteral("DBNcws_yy1"));

    int ind = -1, period = -1;
    ASSERT_TRUE(cat::parseEditName(QStringLiteral("DBNzdfhl_MC3"), &ind, &period));
    EXPECT_EQ(cat::indicators()[ind].field, QStringLiteral("zdfhl_mc"));
    EXPECT_EQ(period, 3);
    for (const char *bad : {"DBNcws_yy6", "DBNcws_yy0", "DBNcws_yy", "DBNnosuch1", "XYZcws_yy1", "DBN1", "", "DBNcws_y1"})
        EXPECT_FALSE(cat::parseEditName(QString::fromLatin1(bad), nullptr, nullptr)) << bad;
    EXPECT_EQ(cat::indicatorIndex(QStringLiteral("cws")), -1);
    EXPECT_EQ(cat::indicatorIndex(QString()), -1);
}

TEST(Catalogue, Periods)
{
    const char *codes[] = {"20020112", "20030112", "20040112", "20050112", "20060106"};
    const char *entry[] = {"2002年 ", "2003年 ", "2004年  ", "2005年 ", "2006-6-30 "};
    const char *print[] = {"2002年", "2003年", "2004年", "2005年", "2006-6-30"};
    const char *label[] = {"2002年", "2003年", "2004年", "2005年", "2006上半年"};
    for (int i = 0; i < 5; ++i) {
        const cat::Period *p = cat::periodByIndex(i + 1);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->index, i + 1);
        EXPECT_EQ(p->code, QString::fromLatin1(codes[i]));
        EXPECT_EQ(p->entryTitle, u(entry[i]));
        EXPECT_EQ(p->printTitle, u(print[i]));
        EXPECT_EQ(p->label, u(label[i]));
        EXPECT_EQ(cat::periodByCode(p->code + QStringLiteral("  ")), p);
    }
    EXPECT_EQ(cat::periodByIndex(0), nullptr);
    EXPECT_EQ(cat::periodByIndex(6), nullptr);
    EXPECT_EQ(cat::periodByCode(QStringLiteral("20060112")), nullptr);
}

TEST(Catalogue, PeriodLabelFromCode)
{
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("19990112")), u("1999年"));
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("20060106")), u("2006上半年"));
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("  20030112  ")), u("2003年"));
    // Other spans, and codes too short to hold one, give the year part alone.
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("20070712")), QStringLiteral("2007"));
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("2002011")), QStringLiteral("2002"));
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("200")), QStringLiteral("200"));
    EXPECT_EQ(cat::periodLabelFromCode(QString()), QString());
    // Only characters 5 to 8 decide: a longer code still reads its span.
    EXPECT_EQ(cat::periodLabelFromCode(QStringLiteral("200201129")), u("2002年"));
}

TEST(Catalogue, CaptionsKeepBlanksAndLineBreaks)
{
    EXPECT_EQ(cat::groups()[0].caption, u("综\r\n\r\n合\r\n"));
    EXPECT_EQ(cat::groups()[3].caption, u("教\r\n学\r\n及\r\n开\r\n展\r\n学\r\n术\r\n活\r\n动\r\n"));
    EXPECT_EQ(cat::groups()[3].name, u("教学及开展学术活动"));

    EXPECT_EQ(cat::itemOf(byField("tryxy_zkzy")).caption, u("5.投入与\r\n  效益\r\n（万元）"));
    EXPECT_EQ(cat::itemOf(byField("zykt_qt")).caption, u("21.在研\r\n   课题\r\n "));
    EXPECT_EQ(cat::itemOf(byField("zdfhl_rc")).caption, u("17.诊断\r\n 符合率 "));
    EXPECT_EQ(cat::itemOf(byField("pxb_cs")).caption, u("28.举办\r\n全国性专\r\n业培训班"));

    // Two sub-item captions have no trailing blank; every other one has one.
    for (const cat::Indicator &ind : cat::indicators()) {
        const cat::Item &item = cat::itemOf(ind);
        if (!item.hasSubItems()) {
            EXPECT_TRUE(ind.subCaption.isEmpty()) << ind.field.toStdString();
            EXPECT_EQ(cat::rowCaption(ind), item.caption);
            continue;
        }
        EXPECT_EQ(cat::rowCaption(ind), ind.subCaption);
        EXPECT_TRUE(ind.subCaption.startsWith(QStringLiteral("(%1)").arg(ind.number - item.firstIndicator)))
            << ind.field.toStdString();
        const bool noBlank = ind.field == QLatin1String("zdfhl_rc") || ind.field == QLatin1String("xsjz_gjjrs");
        EXPECT_EQ(ind.subCaption.endsWith(QLatin1Char(' ')), !noBlank) << ind.field.toStdString();
    }
    EXPECT_EQ(byField("zdfhl_rc").subCaption, u("(2)入出诊断符合率%"));
    EXPECT_EQ(byField("xsjz_gjjrs").subCaption, u("(2)国家级培训班总听课人数"));
    EXPECT_EQ(byField("sb_yysbz").subCaption, u("(1)医院设备值（万元） "));
    EXPECT_EQ(cat::rowCaption(byField("pjmymzrcfy")), u("7.平均每一门诊人次费用 "));
    EXPECT_EQ(cat::rowCaption(byField("jsjxry")), u("31.接收进修人员 "));
}

TEST(Catalogue, UnitsGlossesAndTooltips)
{
    int tenThousand = 0, percent = 0, rowTips = 0;
    for (const cat::Indicator &ind : cat::indicators()) {
        tenThousand += ind.unit == u("万元");
        percent += ind.unit == QLatin1String("%");
        rowTips += !ind.tooltip.isEmpty();
        EXPECT_FALSE(ind.english.isEmpty()) << ind.field.toStdString();
        // A stated percent unit always shows in the row caption.
        if (ind.unit == QLatin1String("%")) {
            EXPECT_TRUE(cat::rowCaption(ind).contains(QLatin1Char('%'))) << ind.field.toStdString();
        }
    }
    EXPECT_EQ(tenThousand, 9);
    EXPECT_EQ(percent, 10);
    EXPECT_EQ(rowTips, 46);
    EXPECT_TRUE(byField("tryxy_yyzy").unit == u("万元")) << "rows 13 to 19 take the unit of their item";

    EXPECT_TRUE(byField("tryxy_jftr").tooltip.endsWith(u("经费单位为\"万元\"")));
    EXPECT_TRUE(byField("qncybrs_yy").tooltip.contains(u("建立\"住院病案首页\"且")));
    EXPECT_TRUE(byField("sb_whl").tooltip.endsWith(QStringLiteral("X100%\r\n")));
    EXPECT_EQ(byField("zdfhl_rc").tooltip.count(QStringLiteral("\r\n")), 4);
    EXPECT_TRUE(byField("ynbzhzbl").tooltip.contains(u("比例    疑难")));
    EXPECT_TRUE(byField("kycg_hjs").tooltip.isEmpty());

    QStringList itemTips;
    for (const cat::Item &item : cat::items())
        if (!item.tooltip.isEmpty())
            itemTips << QString::number(item.number);
    EXPECT_EQ(itemTips.join(QLatin1Char(',')), QStringLiteral("21,22,28,29,30"));
    EXPECT_EQ(cat::items()[21].tooltip, u("指获得科学技术奖励情况"));
    // The research item's tooltip repeats the one of its first row.
    EXPECT_EQ(cat::items()[20].tooltip, byField("zykt_gjj").tooltip);
}

TEST(IsNumber, AcceptsDecimalForms)
{
    struct Case {
        const char *text;
        double value;
    } cases[] = {{"0", 0},       {"12", 12},       {"-3", -3},     {"+4.5", 4.5},    {"   7", 7},
                 {"1.", 1},      {".5", 0.5},      {"-.25", -0.25}, {"1e5", 1e5},     {"1E-3", 1e-3},
                 {"2.5e+2", 250}, {"007", 7},      {"999999999.99", 999999999.99}};
    for (const Case &c : cases) {
        double v = -1;
        EXPECT_TRUE(UDeclareFunction::IsNumber(QString::fromLatin1(c.text), &v)) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        EXPECT_TRUE(UDeclareFunction::IsNumber(QString::fromLatin1(c.text))) << c.text;
    }
}

TEST(IsNumber, RejectsEverythingElse)
{
    for (const char *text : {"", " ", "abc", "1 ", "1a", "--1", "+-1", "1e", "e5", ".", "+", "-", "1.2.3", "1,5",
                             "0x10", "1e+", "1e5.5", "inf", "nan", "1e999", "\t5", "5\n", "cws_yy", "1 000"}) {
        double v = 42;
        EXPECT_FALSE(UDeclareFunction::IsNumber(QString::fromLatin1(text), &v)) << '"' << text << '"';
        EXPECT_EQ(v, 42) << "a rejected text leaves the value alone";
    }
    EXPECT_FALSE(UDeclareFunction::IsNumber(u("１２"))) << "full-width digits";
    EXPECT_FALSE(UDeclareFunction::IsNumber(u("100元")));
}
