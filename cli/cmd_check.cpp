// check: the check run over the
// program directory's tables. Rewrites shtable1 as the check window does,
// prints each finding as period label, TAB, text.
#include "cli/Commands.h"

#include "check/HeadlessCheck.h"
#include "controls/Fonts.h"

#include <cstdio>
#include <iterator>

namespace cli {

namespace {
constexpr Option options[] = {
    {"--pdf", "FILE", "同时把审核结果表写成 PDF 文件", 0, false},
};
} // namespace

const Command checkCommand{"check", "[PROGRAM_DIR]", "检验申报数据，列出审核发现（期间、制表符、内容，一行一条）", options,
                           std::size(options), "退出码：0 通过检验，1 有审核发现，2 无数据或失败。", false};

int cmdCheck(const Args &args)
{
    if (args.positional.size() > 1) {
        std::fprintf(stderr, "pdeclare-cli check: 多余的参数 %s\n", args.positional[1].toLocal8Bit().constData());
        return 2;
    }
    const QString programDir = args.positional.value(0), pdf = args.value("--pdf");
    if (!useProgramDir(programDir))
        return 2;
    // The findings report names 宋体; without the substitutions its PDF
    // would come out in whatever face the system picks for that name.
    ui::installFontSubstitutions();

    check::HeadlessCheckHost host;
    host.setPdfPath(pdf);
    const bool passed = check::runCheck(host, CheckMode::Window);
    const QByteArray lines = check::findingLines(host.findings());
    cli::writeOutput(lines.constData(), std::size_t(lines.size()));
    cli::flushOutput();
    const QByteArray messages = host.messages().join(QLatin1Char('\n')).toUtf8();
    if (host.hadFindings() && messages.isEmpty())
        return 1;
    if (passed) {
        std::fprintf(stderr, "%s\n", messages.constData());
        return 0;
    }
    // No data, or a failure (a rejected rule, a missing table, a PDF that
    // could not be written).
    std::fprintf(stderr, "%s\n", messages.constData());
    return 2;
}

} // namespace cli
