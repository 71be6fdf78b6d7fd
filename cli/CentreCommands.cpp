// The monitoring centre's commands as the user calls them. pdeclare-cli
// lists them and hands them over; pdeclare-centre-cli and
// pdeclare-centre-export read their options and run them (cmd_centre.cpp,
// cmd_export.cpp).
#include "cli/CommandTable.h"

#include <cstring>
#include <iterator>

namespace cli {

namespace {

constexpr Option programDir{"--program-dir", "DIR", "项目列表、模板和审核规则所在的程序目录（默认为窗口程序所用的）", 0, false};
constexpr Option factor{"--factor", "X", "数值变化到多少倍算作可疑（大于 1，默认 5）", 0, false};

constexpr Option collectOptions[] = {programDir};
constexpr Option statusOptions[] = {
    {"--json", nullptr, "以 JSON 格式输出", 0, false},
    factor,
    programDir,
};
constexpr Option exportOptions[] = {
    {"--csv", "FILE", "写成 CSV 文件", 1, true},
    {"--xlsx", "FILE", "写成 XLSX 文件", 1, true},
    {"--pdf", "FILE", "写成供专家委员会审阅的 PDF 文件", 1, true},
    {"--part", "declarations|findings|implausible|missing",
     "CSV 和 XLSX 导出哪一部分：申报数据（默认）、审核发现、可疑数值、尚未上报的项目", 0, false},
    factor,
    programDir,
};
constexpr Option historyOptions[] = {
    {"--diff", nullptr, "列出两个文件之间不同的数值：给出两个文件编号 ID ID，或不给，比较当前文件和在它之前收集的文件", 0,
     false},
};

} // namespace

const char centreHeading[] = "监测中心的命令（软件包 pdeclare-centre；DB 为 SQLite 数据库文件或 postgresql:// 地址）：";

constexpr Command collectCommand{
    "collect", "DB PATH...", "把上报文件（*SJSB.dbf，或含有它们的文件夹）收入监测中心的数据库", collectOptions,
    std::size(collectOptions),
    "退出码：0 全部收下，1 有文件被拒收或收集中断（已存入的保留，再次收集即可），2 什么也没做。", false};
constexpr Command statusCommand{"status", "DB", "各项目的上报情况：审核发现、标记不符、可疑数值", statusOptions,
                            std::size(statusOptions), nullptr, false};
constexpr Command exportCommand{"export", "DB", "导出申报数据、审核发现、可疑数值或尚未上报的项目", exportOptions,
                            std::size(exportOptions), nullptr, false};
constexpr Command historyCommand{"history", "DB CODE [ID ID]", "一个项目的全部上报文件；两个文件之间变化的数值",
                             historyOptions, std::size(historyOptions), nullptr, false};

bool isCentreCommand(const char *name)
{
    for (const Command *c : {&collectCommand, &statusCommand, &exportCommand, &historyCommand})
        if (std::strcmp(c->name, name) == 0)
            return true;
    return false;
}

} // namespace cli
