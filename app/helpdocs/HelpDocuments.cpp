#include "app/helpdocs/HelpDocuments.h"

#include "app/helpdocs/Rtf.h"
#include "store/Catalogue.h"
#include "store/FileIo.h"
#include "store/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace helpdocs {

namespace cat = store::catalogue;

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

// The form's title, as the main window and the printed form show it.
QString formTitle() { return T("Orvandel\"十五\"重点专科（专病）项目建设评审验收数据申报表"); }

// Chinese ordinals for the group headings: （一） ... （四）.
QString ordinal(int n)
{
    static const char *digits[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    return n >= 1 && n <= 10 ? T(digits[n - 1]) : QString::number(n);
}

QString multiline(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out.trimmed();
}

QString unitText(const cat::Indicator &indicator)
{
    return indicator.unit.isEmpty() ? T("—") : indicator.unit;
}

} // namespace

QString flatCaption(const QString &caption)
{
    static const QRegularExpression breaks(QStringLiteral("\\s*\\r\\n\\s*"));
    QString out = caption;
    out.replace(breaks, QString());
    return out.trimmed();
}

QString definitionOf(int indicatorPosition)
{
    const cat::Indicator &indicator = cat::indicators().at(std::size_t(indicatorPosition));
    if (!indicator.tooltip.trimmed().isEmpty())
        return multiline(indicator.tooltip);
    const cat::Item &item = cat::itemOf(indicator);
    if (!item.tooltip.trimmed().isEmpty())
        return multiline(item.tooltip);
    return T("按指标名称的通常统计口径填报。");
}

QByteArray formDescription()
{
    const auto &periods = cat::periods();
    const auto &groups = cat::groups();
    const auto &items = cat::items();
    const auto &indicators = cat::indicators();

    RtfDocument doc(T("评审数据表说明"));
    doc.title(formTitle());
    doc.subtitle(T("评审数据表说明"));

    doc.heading1(T("一、表的用途"));
    doc.paragraph(T("本表供承担\"十五\"重点专科（专病）建设项目的医院（科室）在项目建设评审验收时申报数据使用。"
                    "表中共有%1项数值指标，分为%2个部分、%3个栏目，每项指标按%4个统计期分别填报。"
                    "填好的申报表经检验后，以项目编码命名的数据文件上报监测中心。")
                      .arg(indicators.size())
                      .arg(groups.size())
                      .arg(items.size())
                      .arg(periods.size()));

    doc.heading1(T("二、统计期"));
    doc.paragraph(T("每项指标按下列统计期各填一个数。录入窗口中各统计期从左到右排列，"
                    "检验提示和审核结果中以\"提示名称\"一栏的写法称呼各统计期。"));
    std::vector<QStringList> periodRows{{T("序号"), T("统计期代码"), T("录入窗口栏目"), T("打印表栏目"), T("提示名称")}};
    for (const cat::Period &p : periods)
        periodRows.push_back({QString::number(p.index), p.code, p.entryTitle.trimmed(), p.printTitle, p.label});
    doc.table({900, 1700, 1900, 1900, 2100}, periodRows);

    doc.heading1(T("三、填报要求"));
    doc.bullet(T("每个数值为0至999999999.99之间的数，最多保留两位小数；不能填负数。"));
    doc.bullet(T("单位为\"万元\"的指标按万元填报，单位为\"%\"的指标填百分数的数值（如85.5表示85.5%），"
                 "其余指标填人数、次数、项数、天数或元数等实际数。"));
    doc.bullet(T("没有发生的指标填0；录入时留空的指标在保存时按0存入。"));
    doc.bullet(T("同一项目的%1个统计期在一张表中填报，保存时项目编码和名称写入每一个统计期。").arg(periods.size()));
    doc.bullet(T("比例、比率类指标按下文定义中的公式计算后填报；各指标之间的逻辑关系由\"数据检验\"检查。"));

    doc.heading1(T("四、指标说明"));
    doc.paragraph(T("下表按表中的顺序列出全部指标。\"字段\"为数据文件中存放该指标的列名，"
                    "检验规则和审核提示以此称呼指标。"));
    for (size_t g = 0; g < groups.size(); ++g) {
        const cat::Group &group = groups[g];
        doc.heading2(T("（%1）%2").arg(ordinal(int(g) + 1), group.name));
        for (const cat::Item &item : items) {
            if (item.group != int(g))
                continue;
            doc.heading3(flatCaption(item.caption));
            if (item.hasSubItems() && !item.tooltip.trimmed().isEmpty())
                doc.labelled(T("栏目说明："), multiline(item.tooltip));
            std::vector<QStringList> rows{{T("序号"), T("指标"), T("单位"), T("字段"), T("定义")}};
            for (int i = item.firstIndicator; i >= 0 && i <= item.lastIndicator; ++i) {
                const cat::Indicator &indicator = indicators.at(std::size_t(i));
                rows.push_back({QString::number(indicator.number), flatCaption(cat::rowCaption(indicator)),
                                unitText(indicator), indicator.field, definitionOf(i)});
            }
            doc.table({600, 2200, 700, 1300, 4300}, rows);
        }
    }

    doc.heading1(T("五、数据检验"));
    doc.paragraph(T("录入时，离开一个数值框即按检验规则检查与该指标有关的规则，不符时提示\"统计期名称  规则说明\"。"
                    "全部录入后请执行\"数据转存\"菜单中的\"数据检验\"，程序按全部检验规则逐条审核%1个统计期的数据，"
                    "有误差的列为\"{数据申报表}审核提示\"，可预览和打印；没有误差时提示\"数据通过检验！\"。")
                      .arg(periods.size()));
    return doc.toRtf();
}

QByteArray operationManual()
{
    const auto &periods = cat::periods();
    RtfDocument doc(T("TessalyV1.0操作手册"));
    doc.title(T("Tessaly 重点专科数据申报系统 V1.0"));
    doc.subtitle(T("操作手册"));

    doc.heading1(T("一、概述"));
    doc.paragraph(T("本程序用于填报、检验、打印、备份和上报《%1》。每个项目填报%2项指标、%3个统计期（%4）。"
                    "程序为单机版，不需要网络；上报时生成一个数据文件，由用户交给监测中心。")
                      .arg(formTitle())
                      .arg(cat::indicators().size())
                      .arg(periods.size())
                      .arg([&] {
                          QStringList labels;
                          for (const cat::Period &p : periods)
                              labels << p.label;
                          return labels.join(T("、"));
                      }()));
    doc.paragraph(T("程序目录中的文件和文件夹："));
    doc.table({2600, 6400},
              {{T("文件或文件夹"), T("用途")},
               {T("PDeclare"), T("程序本身")},
               {T("DataMeta/"), T("随程序提供的基础数据：空白申报表sjsbb.dbf、监测项目名单zbzkyy.dbf、"
                                   "检验规则tjjctjk.dbf、审核结果表shtable1.dbf。请勿修改或删除。")},
               {T("Result/result.dbf"), T("您的申报数据。第一次启动时由空白申报表复制生成，以后每次启动都保留原有数据。")},
               {T("风格/Main.skn"), T("窗口外观文件；缺少时程序以普通外观运行。")},
               {T("评审数据表说明.doc"), T("申报表各指标的说明，可从\"帮助\"菜单打开。")},
               {T("TessalyV1.0操作手册.doc"), T("本手册。")}});

    doc.heading1(T("二、启动与主窗口"));
    doc.paragraph(T("运行程序后出现主窗口，标题为\"%1\"。启动时程序自动完成下列准备：").arg(formTitle()));
    doc.numbered(1, T("读入窗口外观文件\"风格/Main.skn\"（没有此文件时不提示）；"));
    doc.numbered(2, T("Result文件夹中没有result.dbf时，由DataMeta/sjsbb.dbf复制一份；已有的result.dbf决不覆盖；"));
    doc.numbered(3, T("清理上次数据检验留下的审核结果。"));
    doc.paragraph(T("准备中出错（例如DataMeta文件夹或其中的shtable1.dbf丢失）时，程序弹出一个错误提示框，"
                    "关闭后主窗口照常打开，菜单照常可用。请按提示恢复随程序提供的文件后重新启动。"));
    doc.paragraph(T("主窗口的菜单："));
    doc.table({1800, 2200, 5000},
              {{T("菜单"), T("命令"), T("作用")},
               {T("数据编辑"), T("数据录入"), T("打开\"数据录入\"窗口，填写和修改申报数据")},
               {T("报表打印"), T("打印空白表"), T("预览并打印不带数据的空白申报表")},
               {T(""), T("打印数据表"), T("预览并打印填好数据的申报表")},
               {T("数据转存"), T("数据检验"), T("按检验规则审核已保存的数据")},
               {T(""), T("数据备份"), T("把申报数据文件复制到指定文件夹")},
               {T(""), T("上报监测中心"), T("检验后生成上报文件")},
               {T("帮助"), T("评审数据表说明"), T("打开申报表说明文档")},
               {T(""), T("程序操作手册"), T("打开本手册")},
               {T(""), T("关于"), T("显示版本和技术支持信息")},
               {T("退出"), T("退出程序"), T("关闭主窗口，结束程序")}});
    doc.paragraph(T("每个命令打开的窗口都在主窗口之上；关闭该窗口后才能使用其他菜单命令。"));

    doc.heading1(T("三、数据录入"));
    doc.paragraph(T("选择\"数据编辑\"→\"数据录入\"，打开\"数据录入\"窗口。窗口打开时读入已保存的全部数据。"));
    doc.heading2(T("1. 选择项目"));
    doc.paragraph(T("\"项目名称：\"一栏不能直接输入，请点击右边的\"选择...\"按钮，在\"重点专科（专病）监测医院名称\"窗口中选择本项目："));
    doc.bullet(T("列表列出\"项目编码\"、\"医院(科室)名称\"和\"YB编码\"。"));
    doc.bullet(T("在\"数据查询条件 \"中输入编码的开头几位，列表自动定位到第一个相符的项目；"
                 "按F8在\"按编码查询\"和\"按PY码查询\"（按拼音码查询）之间切换。"));
    doc.bullet(T("也可以用导航按钮或方向键移动到所需的项目。"));
    doc.bullet(T("点击\"确定\"（或按回车、双击列表中的项目）选定当前项目；点击\"退出\"不作选择。"));
    doc.paragraph(T("选定后\"项目名称：\"显示\"项目编码  医院(科室)名称\"（中间两个空格）。"));
    doc.heading2(T("2. 填写数字"));
    doc.paragraph(T("表中每行为一项指标，每列为一个统计期（%1）。把鼠标停在指标名称上，会显示该指标的定义。")
                      .arg([&] {
                          QStringList titles;
                          for (const cat::Period &p : periods)
                              titles << p.entryTitle.trimmed();
                          return titles.join(T("、"));
                      }()));
    doc.bullet(T("只能输入数字和一个小数点，最多两位小数；超过999999999.99的数按999999999.99计。"));
    doc.bullet(T("回车键、Tab键和下方向键移到同一统计期的下一项指标，上方向键移到上一项；一列填完后转到下一统计期的第一项。"));
    doc.bullet(T("左、右方向键移到同一指标的前一个或后一个统计期。"));
    doc.bullet(T("用鼠标点击数值框即选中其中的数字，可直接改写；鼠标滚轮上下滚动整张表。"));
    doc.heading2(T("3. 录入时的规则提示"));
    doc.paragraph(T("离开一个数值框时，程序按检验规则检查与该指标有关的规则。数据不符时弹出提示，内容为统计期名称、两个空格和规则说明，"
                    "例如\"%1  ……\"。提示只是提醒，所填数字保持不变；请核对后修改或确认无误后继续。")
                      .arg(periods.size() > 1 ? periods[1].label : QString()));
    doc.heading2(T("4. 保存"));
    doc.paragraph(T("点击\"保存退出\"保存全部数据并关闭窗口。留空的数值框按0保存。"
                    "没有选择项目时提示\"请输入项目编号\"，数据不保存，窗口保留。"));
    doc.labelled(T("注意："), T("不点\"保存退出\"而直接关闭窗口，本次所作的修改全部放弃。"));

    doc.heading1(T("四、数据检验"));
    doc.paragraph(T("选择\"数据转存\"→\"数据检验\"，打开\"检测数据  \"窗口，点击\"检测\"开始审核，点击\"退出\"关闭窗口。"));
    doc.bullet(T("还没有保存项目数据时提示\"无数据可检验！\"。"));
    doc.bullet(T("审核过程中状态栏显示\"正在检验数据, 请稍候...\"和完成的百分比，结束时显示\"审核数据完毕！\"。"));
    doc.bullet(T("没有发现问题时提示\"数据通过检验！\"。"));
    doc.bullet(T("发现问题时显示审核结果\"{数据申报表}审核提示\"的预览：每行列出统计期和规则说明，末尾为\"数据审核结束！\"。"
                 "可在预览窗口中打印，关闭预览后回到检测窗口。请回到\"数据录入\"修改后再次检验。"));
    doc.bullet(T("检验规则本身有错或数据文件不能读取时，提示框显示出错原因。"));

    doc.heading1(T("五、报表打印"));
    doc.paragraph(T("\"报表打印\"菜单中有两个命令：\"打印空白表\"打印不带数据的空白表（两页A4），供手工填写；"
                    "\"打印数据表\"打印填好数据的申报表（两页A4），未填的数打印为0。"));
    doc.paragraph(T("在打开的窗口中点击\"打印\"，程序排好报表并打开预览窗口\"Preview\"。预览窗口可以缩放、打开和保存排好的报表、"
                    "查找文字和打印；打印时在打印对话框中选择打印机、份数和页码范围。关闭预览后可再次点击\"打印\"，点击\"退出\"关闭窗口。"));

    doc.heading1(T("六、数据备份"));
    doc.paragraph(T("选择\"数据转存\"→\"数据备份\"，打开\"备份数据\"窗口："));
    doc.numbered(1, T("在\"存放路径：\"下选择驱动器和文件夹，右侧列出该文件夹中已有的数据文件，状态栏显示所选路径；"));
    doc.numbered(2, T("点击\"备份\"，申报数据文件以result.dbf为名复制到所选文件夹，同名文件被替换；"));
    doc.numbered(3, T("成功后提示\"备份成功\"，状态栏显示备份文件的完整路径。点击\"关闭\"（或按Esc）关闭窗口。"));
    doc.paragraph(T("可能的提示：\"不存在数据文件表\"（Result/result.dbf丢失）、\"申报表无数据！\"（还没有保存项目数据）。"
                    "需要恢复备份时，退出程序后把备份的result.dbf复制回程序的Result文件夹即可。"));

    doc.heading1(T("七、上报监测中心"));
    doc.paragraph(T("选择\"数据转存\"→\"上报监测中心\"，窗口标题为\"上报监测中心\"，按钮为\"导出\"。选择存放文件夹后点击\"导出\"："));
    doc.numbered(1, T("程序先对数据作一次完整检验，状态栏显示检验进度；"));
    doc.numbered(2, T("没有发现问题时，数据标记为已通过检验，直接生成上报文件；"));
    doc.numbered(3, T("发现问题时先显示审核提示，关闭预览后询问\"申报有误差提示，是否申报？\"。选\"否\"不生成文件，"
                      "可修改后重新上报；选\"是\"则数据标记为有误差，照样生成上报文件；"));
    doc.numbered(4, T("上报文件名为项目编码的前四位加\"SJSB.dbf\"，例如项目编码为1001时为1001SJSB.dbf，同名文件被替换；"));
    doc.numbered(5, T("成功后提示\"导出成功\"。请把该文件交给监测中心。"));

    doc.heading1(T("八、帮助"));
    doc.bullet(T("\"评审数据表说明\"和\"程序操作手册\"用本机的文字处理程序打开这两份文档。"
                 "文档丢失时提示\"无法找到说明文件，可能已丢失！\"，请从安装盘重新复制。"));
    doc.bullet(T("\"关于\"显示版本\"版本V1.0(2006.09.12)\"、研制单位和技术支持电话；点击网址打开网页，点击邮件地址给技术支持写信。"));

    doc.heading1(T("九、常见问题"));
    doc.table({3400, 5600},
              {{T("提示或现象"), T("原因和处理")},
               {T("启动时出现错误提示框"), T("DataMeta文件夹或其中的文件丢失或被其他程序占用。关闭占用的程序，或从安装盘恢复DataMeta后重新启动。")},
               {T("请输入项目编号"), T("保存前没有选择项目。点击\"选择...\"选定项目后再保存。")},
               {T("无数据可检验！ / 申报表无数据！"), T("还没有保存过项目数据。先在\"数据录入\"中选择项目、填写并保存。")},
               {T("不存在数据文件表"), T("Result/result.dbf丢失。把备份的result.dbf复制回Result文件夹；没有备份时重新启动程序会生成空白表。")},
               {T("无法找到说明文件，可能已丢失！"), T("帮助文档不在程序目录中，请从安装盘重新复制。")},
               {T("打印的数字全为0"), T("数据尚未保存，或打印的是空白表。")}});

    doc.heading1(T("十、退出程序"));
    doc.paragraph(T("选择\"退出\"→\"退出程序\"，或关闭主窗口，即结束程序。已保存的数据保存在Result/result.dbf中，下次启动时继续使用。"));
    return doc.toRtf();
}

void writeAll(const QString &dir)
{
    if (!QDir().mkpath(dir))
        throw store::Error(store::ErrorKind::Io, QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir)));
    // The file names come from the one place that knows them.
    const QDir target(dir);
    const QString description = target.filePath(QFileInfo(store::paths::formDescriptionDoc()).fileName());
    const QString manual = target.filePath(QFileInfo(store::paths::operationManualDoc()).fileName());
    store::fileio::replaceFile(description, formDescription());
    store::fileio::replaceFile(manual, operationManual());
}

} // namespace helpdocs
