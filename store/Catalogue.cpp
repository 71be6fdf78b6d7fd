// The catalogue's tables. Every caption and tooltip is the program's own
// text, kept byte for byte: trailing blanks and "\r\n" line breaks matter,
// since the entry grid, the printed form and the rule prompts show them as
// they are. The vectors of Catalogue.h are built once from these tables; the
// group and item ranges are derived from the indicator rows, so a row moved
// or added here keeps every range right.
#include "store/Catalogue.h"

#include <QHash>

#include <iterator>

namespace store::catalogue {
namespace {

struct PeriodRow {
    const char *code;
    const char *entryTitle;
    const char *printTitle;
};

// Left to right in the entry window; also the order the save writes rows.
const PeriodRow kPeriods[] = {
    {"20020112", "2002年 ", "2002年"},
    {"20030112", "2003年 ", "2003年"},
    {"20040112", "2004年  ", "2004年"},
    {"20050112", "2005年 ", "2005年"},
    {"20060106", "2006-6-30 ", "2006-6-30"},
};

struct GroupRow {
    const char *name;
    const char *caption; // shown vertically, one character a line
};

const GroupRow kGroups[] = {
    {"综合", "综\r\n\r\n合\r\n"},
    {"医疗", "医\r\n\r\n疗\r\n"},
    {"科研", "科\r\n\r\n研\r\n"},
    {"教学及开展学术活动", "教\r\n学\r\n及\r\n开\r\n展\r\n学\r\n术\r\n活\r\n动\r\n"},
};

struct ItemRow {
    const char *caption;
    const char *tooltip; // the item caption's own tooltip; "" for none
};

// Items 1..31 in order; an item's number is its position here plus one.
const ItemRow kItems[] = {
    {"1.床位数 ", ""},
    {"2.人员数 ", ""},
    {"3.医生数 ", ""},
    {"4.设备 ", ""},
    {"5.投入与\r\n  效益\r\n（万元）", ""},
    {"6.门诊量 ", ""},
    {"7.平均每一门诊人次费用 ", ""},
    {"8.期内出\r\n院病人数 ", ""},
    {"9.病床使用率% ", ""},
    {"10.病床周转率% ", ""},
    {"11.平均住院日 ", ""},
    {"12.平均每一住院人次费用 ", ""},
    {"13.急危重症患者比例% ", ""},
    {"14.疑难病症患者比例% ", ""},
    {"15.区域外患者比例% ", ""},
    {"16.中医治疗率% ", ""},
    {"17.诊断\r\n 符合率 ", ""},
    {"18.特色疗法 ", ""},
    {"19.开发新药 ", ""},
    {"20.院内中药制剂 ", ""},
    {"21.在研\r\n   课题\r\n ", "指参与的所有科研项目数，承担地市（厅局）级以上的各级课题项目数，以标书或证书为准"},
    {"22.科研\r\n   成果", "指获得科学技术奖励情况"},
    {"23.出版专著数 ", ""},
    {"24.发表论文数 ", ""},
    {"25.技术、成果的推广应用 ", ""},
    {"26.新技术、新项目的引进 ", ""},
    {"27.教学\r\n   能力", ""},
    {"28.举办\r\n全国性专\r\n业培训班", "指由与专科专业有关的全国性学术组织所委托或授权举办的培训班"},
    {"29.赴外\r\n 院进修", "指在本医院以外的医疗单位进行与专科（专病）建设密切相关的业务进修3个月以上"},
    {"30.学术\r\n 讲座及\r\n 活动", "指由专科举办的国家级、省级或其他的与专科业务有关的学术讲座及活动"},
    {"31.接收进修人员 ", ""},
};

struct IndicatorRow {
    const char *field;
    int group;      // index into kGroups
    int item;       // item number, 1..31
    const char *subCaption; // "" for a single-figure item
    const char *unit;
    const char *english;
    const char *tooltip;    // "" for none
    // The printed form's row label where it differs from the entry row's
    // caption (no percent sign, other blanks); "" when it is the same.
    const char *printLabel = "";
};

// The 59 indicators in catalogue order: the order of the entry rows, of the
// save and load, of the printed rows and of the template table's columns.
const IndicatorRow kIndicators[] = {
    {"cws_yy", 0, 1, "(1)医院床位数 ", "", "hospital beds",
     "指医院实际拥有床位数"},
    {"cws_zk", 0, 1, "(2)专科床位数 ", "", "specialty beds",
     "指重点专科(专病)项目实际拥有的床位数"},
    {"rys_yjs", 0, 2, "(1)研究生 ", "", "staff with postgraduate degree",
     "科室内由国家教育行政部门认可的各类学校正式教育并获得研究生学历证书的人数"},
    {"rys_bks", 0, 2, "(2)本科生 ", "", "staff with bachelor degree",
     "科室内由国家教育行政部门认可的各类学校正式教育并获得本科学历证书的人数"},
    {"rys_qt", 0, 2, "(3)其他 ", "", "staff with other education",
     "科室内除研究生、本科生外的其他学历的人数"},
    {"yss_gjzc", 0, 3, "(1)高级职称 ", "", "doctors with senior title",
     "指医生人数内具有高级技术职务的人数"},
    {"yss_zjzc", 0, 3, "(2)中级职称 ", "", "doctors with intermediate title",
     "指医生人数内具有中级技术职务的人数"},
    {"yss_cjzc", 0, 3, "(3)初级职称 ", "", "doctors with junior title",
     "指医生人数内具有初级技术职务的人数"},
    {"sb_yysbz", 0, 4, "(1)医院设备值（万元） ", "万元", "value of hospital equipment",
     "指医疗部门的专业设备、仪器、器械的总值，不包括医疗部门的办公设备"},
    {"sb_zksbz", 0, 4, "(2)专科设备值（万元） ", "万元", "value of specialty equipment",
     "指重点专科(专病)项目的专用设备的总值"},
    {"sb_syl", 0, 4, "(3)使用率% ", "%", "equipment utilisation rate",
     "在用医疗器械实际工作机时数与定额工作机时数之比率，以下公式表示： 使用率=（实际工作机时数/额定工作机时数）X100%", "(3)使用率 "},
    {"sb_whl", 0, 4, "(4)完好率% ", "%", "equipment serviceable rate",
     "完好的器械占器械总数的比率。以下式表示：医疗器械总完好率=[1-（年故障机时数/额定工作时数）]X100%\r\n", "(4)完好率 "},
    {"tryxy_yyyw", 0, 5, "(1)医院业务收入 ", "万元", "hospital operating income",
     "指医院取得的除财政补助收入、上级补助收入以外的开展业务及其他活动取得的资金。包括医疗收入、药品收入和其他收入"},
    {"tryxy_yyyp", 0, 5, "(2)医院药品收入 ", "万元", "hospital drug income",
     "指医院在开展医疗业务活动中取得的中、西药品收入，包括门诊药品收入和住院药品收入"},
    {"tryxy_yyzy", 0, 5, "(3)医院中药、中成药收入 ", "万元", "hospital income from Chinese medicines and Chinese patent medicines",
     "指医院在开展医疗业务活动中取得的中药、中成药收入，包括门诊和住院"},
    {"tryxy_jftr", 0, 5, "(4)经费投入 ", "万元", "funds invested in the project",
     "指各方面对项目建设投入的经费总额。对于全院性的投入，可按项目所在科室所占比例进行计算。经费单位为\"万元\""},
    {"tryxy_zkyw", 0, 5, "(5)专科业务收入 ", "万元", "specialty operating income",
     "指重点专科(专病)项目取得的除财政补助收入、上级补助收入以外的开展业务及其他活动取得的资金。包括医疗收入、药品收入和16、其他收入"},
    {"tryxy_zkyp", 0, 5, "(6)专科药品收入 ", "万元", "specialty drug income",
     "指重点专科(专病)项目在开展医疗业务活动中取得的中、西药品收入，包括门诊药品收入和住院药品收入"},
    {"tryxy_zkzy", 0, 5, "(7)专科中药、中成药收入 ", "万元", "specialty income from Chinese medicines and Chinese patent medicines",
     "指重点专科(专病)项目在开展医疗业务活动中取得的中药、中成药收入，包括门诊和住院"},
    {"mzl_yy", 1, 6, "(1)医院门诊量 ", "", "out-patient visits, hospital",
     "指医院各科室门诊人次的总和"},
    {"mzl_zk", 1, 6, "(2)专科门诊量 ", "", "out-patient visits, specialty",
     "指重点专科(专病)项目门诊人次的总和"},
    {"pjmymzrcfy", 1, 7, "", "", "average cost per out-patient visit",
     "重点专科(专病)项目门诊收入∕门诊人次的总和"},
    {"qncybrs_yy", 1, 8, "(1)医院期内出院病人数 ", "", "in-patients discharged in the period, hospital",
     "指医院建立\"住院病案首页\"且期内出院的所有住院者人数", "(1)医院期内出院病人数"},
    {"qncybrs_zk", 1, 8, "(2)专科期内出院病人数 ", "", "in-patients discharged in the period, specialty",
     "指重点专科(专病)项目建立\"住院病案首页\"且期内出院的所有住院者人数"},
    {"bcsyl", 1, 9, "", "%", "bed occupancy rate",
     "指重点专科(专病)项目实际占用总床日数∕实际开放总床日数X100%", "9.病床使用率 "},
    {"bczzl", 1, 10, "", "%", "bed turnover rate",
     "指重点专科(专病)项目出院人数∕平均开放病床数", "10.病床周转率 "},
    {"pjzyr", 1, 11, "", "", "average length of stay",
     "指重点专科(专病)项目的出院者占用总床日数∕出院人数"},
    {"pjmyzyrcfy", 1, 12, "", "", "average cost per in-patient stay",
     "指重点专科(专病)项目的（医疗住院收入+药品住院收入）∕出院人数"},
    {"jwzzhzbl", 1, 13, "", "%", "share of critical and emergency patients",
     "指重点专科(专病)项目出院病人在住院期间出现危重、急症情况人次数的比例，（出现危重、急症情况人次数∕出院人数X100%）。\r\n危重：指在住院期间曾经告病危或告病重，即已有危及生命的体征出现，如不及时抢救将会危及患者生命；或患者有脏器衰竭表现。\r\n急症：指病情紧急，常见于一般急症和慢性病急性发作", "13.急危重症患者比例 "},
    {"ynbzhzbl", 1, 14, "", "%", "share of difficult cases",
     "指重点专科(专病)项目在门诊和出院病人中疑难病症患者比例    疑难：指诊断治疗难度较大的疾病", "14.疑难病症患者比例 "},
    {"qywhzbl", 1, 15, "", "%", "share of patients from outside the region",
     "指重点专科(专病)项目在门诊和出院病人中区域外患者比例。\r\n区域外患者的判断原则：医院所在区域，根据重点专科申报表填写说明确定的原则，医院位于直辖市的，\"区域\"为医院所在直辖市行政区划范围；医院位于直辖市以外的，\"区域\"为医院所在的设区的市级行政区划范围", "15.区域外患者比例 "},
    {"zyzll", 1, 16, "", "%", "rate of treatment with Chinese medicine",
     "填写项目所在科室期内门诊、住院病人应用中医药治疗的情况。\r\n以Orvandel制定的\"中医药治疗率\"的统计口径统计。\r\n中医治疗率（%）=针对主病、主证运用中医药为主的疗法进行治疗的病人数÷治疗病人总数×100%", "16.中医治疗率 "},
    {"zdfhl_mc", 1, 17, "(1)门出诊断符合率% ", "%", "agreement of out-patient and discharge diagnoses",
     "指重点专科(专病)项目在门诊诊断与出院诊断相符的病人数∕（出院病人数-无对照人数），无对照人数指待查人数。以住院证上的内容为依据，中医填写病、证诊断，西医填写病名诊断", "(1)门出诊断符合率 "},
    {"zdfhl_rc", 1, 17, "(2)入出诊断符合率%", "%", "agreement of admission and discharge diagnoses",
     "指重点专科(专病)项目在入院诊断与出院诊断相符的病人数∕\r\n（出院病人数-无对照人数），无对照人数指待查人数。\r\n中医诊断：按照国家标准《中医病症分类与代码》(GB/T5657-1995)填写\r\n西医诊断、医院感染名称、并发症，按照《国际疾病分类》第十版（ICD-10）填写。\r\n", "(2)入出诊断符合率 "},
    {"tslf", 1, 18, "", "", "characteristic therapies",
     "重点专科(专病)项目应用具有明显中医药特色治疗方法的总数"},
    {"kfxy", 1, 19, "", "", "new drugs developed",
     "指重点专科(专病)项目自主开发的未曾在中国境内上市销售、或已上市药品改变剂型、改变给药途径、增加适应症的新药种数"},
    {"zzzyzj", 1, 20, "", "", "in-hospital Chinese medicine preparations",
     "指重点专科(专病)项目对患者使用经药品监督管理部门批准，本院自制的中药制剂"},
    {"zykt_gjj", 2, 21, "(1)国家级 ", "", "research projects under way, national",
     "指参与的所有科研项目数，承担地市（厅局）级以上的各级课题项目数，以标书或证书为准"},
    {"zykt_sbj", 2, 21, "(2)省、部级 ", "", "research projects under way, provincial or ministerial",
     ""},
    {"zykt_dsj", 2, 21, "(3)地、市级 ", "", "research projects under way, prefecture or city",
     ""},
    {"zykt_qt", 2, 21, "(4)其他 ", "", "research projects under way, other",
     ""},
    {"kycg_tgjds", 2, 22, "(1)通过鉴定数 ", "", "research results appraised",
     "", "(1)通过鉴定数  "},
    {"kycg_hjs", 2, 22, "(2)获奖数 ", "", "research results awarded",
     ""},
    {"cbzzs", 2, 23, "", "", "monographs published",
     "指经过国家出版管理部门批准公开出版、正式发行的专业著作数。"},
    {"fblws", 2, 24, "", "", "papers published",
     "指在公开发行的省级、国家级和国外专业杂志（以杂志主办单位的属性为区分杂志级别的依据）上发表的论文数量，以杂志发行的时间作为统计的时间依据。"},
    {"jscgdtgyy", 2, 25, "", "", "promotion of techniques and results",
     "填写项目所在科室期内推广的技术、成果情况。"},
    {"xjsxxmdyj", 2, 26, "", "", "new techniques and projects introduced",
     "填写项目所在科室期内引进的新技术、新项目情况。"},
    {"jxnl_bsyjs", 3, 27, "(1)博士研究生 ", "", "doctoral students trained",
     "指上级主管部门批准的博士研究生点和各年度所培养的人数。"},
    {"jxnl_ssyjs", 3, 27, "(2)硕士研究生 ", "", "master's students trained",
     "指上级主管部门批准的硕士研究生点和各年度所培养的人数。"},
    {"jxnl_bk", 3, 27, "(3)本科 ", "", "undergraduates taught",
     "指承担本科教学任务及人数"},
    {"pxb_cs", 3, 28, "(1)次数 ", "", "national training courses held",
     ""},
    {"pxb_ztkrs", 3, 28, "(2)总听课人数 ", "", "attendance of national training courses",
     ""},
    {"wyjx_rs", 3, 29, "(1)人数 ", "", "staff sent to other hospitals for further training",
     ""},
    {"wyjx_cgrs", 3, 29, "(2)出国人数 ", "", "of them sent abroad",
     ""},
    {"xsjz_gjjbc", 3, 30, "(1)举办国家级培训班次数 ", "", "national courses held",
     ""},
    {"xsjz_gjjrs", 3, 30, "(2)国家级培训班总听课人数", "", "attendance of national courses",
     ""},
    {"xsjz_sjbc", 3, 30, "(3)举办省级培训班次数 ", "", "provincial courses held",
     ""},
    {"xsjz_sjrs", 3, 30, "(4)省级培训班总听课人数 ", "", "attendance of provincial courses",
     ""},
    {"jsjxry", 3, 31, "", "", "trainees received",
     "指以专科名义接收的进修人数", "31.接收进修人员  "},
};

QString text(const char *s) { return QString::fromUtf8(s); }

struct Tables {
    std::vector<Period> periods;
    std::vector<Group> groups;
    std::vector<Item> items;
    std::vector<Indicator> indicators;
    QHash<QString, int> byField; // lower-case field name -> index

    Tables()
    {
        int index = 1;
        for (const PeriodRow &row : kPeriods) {
            const QString code = text(row.code);
            periods.push_back({index++, code, text(row.entryTitle), text(row.printTitle),
                               periodLabelFromCode(code)});
        }
        for (const GroupRow &row : kGroups)
            groups.push_back({text(row.name), text(row.caption), -1, -1});
        int number = 1;
        for (const ItemRow &row : kItems)
            items.push_back({number++, -1, text(row.caption), text(row.tooltip), -1, -1});
        number = 1;
        for (const IndicatorRow &row : kIndicators) {
            const int position = int(indicators.size());
            const int item = row.item - 1;
            indicators.push_back({number++, text(row.field), row.group, item, text(row.subCaption),
                                  text(row.unit), text(row.english), text(row.tooltip), text(row.printLabel)});
            Group &group = groups[std::size_t(row.group)];
            if (group.firstIndicator < 0)
                group.firstIndicator = position;
            group.lastIndicator = position;
            Item &it = items[std::size_t(item)];
            if (it.firstIndicator < 0)
                it.firstIndicator = position;
            it.lastIndicator = position;
            it.group = row.group;
            byField.insert(indicators.back().field.toLower(), position);
        }
    }
};

const Tables &tables()
{
    static const Tables instance;
    return instance;
}

} // namespace

const std::vector<Period> &periods() { return tables().periods; }
const std::vector<Group> &groups() { return tables().groups; }
const std::vector<Item> &items() { return tables().items; }
const std::vector<Indicator> &indicators() { return tables().indicators; }

const Item &itemOf(const Indicator &indicator) { return items().at(std::size_t(indicator.item)); }

QString rowCaption(const Indicator &indicator)
{
    const Item &item = itemOf(indicator);
    return item.hasSubItems() ? indicator.subCaption : item.caption;
}

QString printLabel(const Indicator &indicator)
{
    return indicator.printLabel.isEmpty() ? rowCaption(indicator) : indicator.printLabel;
}

int indicatorIndex(const QString &field)
{
    return tables().byField.value(field.toLower(), -1);
}

const Period *periodByIndex(int index)
{
    const auto &all = periods();
    if (index < 1 || index > int(all.size()))
        return nullptr;
    return &all[std::size_t(index - 1)];
}

const Period *periodByCode(const QString &code)
{
    const QString wanted = code.trimmed();
    for (const Period &period : periods())
        if (period.code == wanted)
            return &period;
    return nullptr;
}

QString periodLabelFromCode(const QString &code)
{
    const QString trimmed = code.trimmed();
    const QString year = trimmed.left(4);
    const QString span = trimmed.mid(4, 4);
    if (span == QLatin1String("0112"))
        return year + QString::fromUtf8("年");
    if (span == QLatin1String("0106"))
        return year + QString::fromUtf8("上半年");
    // Neither a whole year nor a first half: the year part alone, so a
    // stray code still names its year and never yields a wrong span.
    return year;
}

QString editName(const Indicator &indicator, int periodIndex)
{
    return QLatin1String("DBN") + indicator.field + QString::number(periodIndex);
}

bool parseEditName(const QString &name, int *indicator, int *periodIndex)
{
    if (name.size() < 5 || !name.startsWith(QLatin1String("DBN"), Qt::CaseInsensitive))
        return false;
    const QChar last = name.back();
    if (last < QLatin1Char('1') || last > QLatin1Char('5'))
        return false;
    const int found = indicatorIndex(name.mid(3, name.size() - 4));
    if (found < 0)
        return false;
    if (indicator)
        *indicator = found;
    if (periodIndex)
        *periodIndex = last.digitValue();
    return true;
}

std::vector<FieldDef> declarationFields()
{
    std::vector<FieldDef> fields{FieldDef::make(QStringLiteral("yydm"), 'C', 120),
                                 FieldDef::make(QStringLiteral("nd"), 'C', 8),
                                 FieldDef::make(QStringLiteral("bln_zkjy"), 'C', 1)};
    for (const Indicator &indicator : indicators())
        fields.push_back(FieldDef::make(indicator.field, 'N', 12, 2));
    return fields;
}

} // namespace store::catalogue
