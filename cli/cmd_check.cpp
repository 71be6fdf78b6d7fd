// pdeclare-cli check [PROGRAM_DIR] [--pdf FILE]: the check run over the
// program directory's tables. Rewrites shtable1 as the check window does,
// prints each finding as period label, TAB, text.
#include "cli/Commands.h"

#include "check/HeadlessCheck.h"
#include "controls/Fonts.h"

#include <cstdio>

namespace cli {

int cmdCheck(const QStringList &args)
{
    QString programDir, pdf;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pdf")) {
            if (i + 1 >= args.size()) {
                std::fputs("pdeclare-cli check: --pdf needs a file name\n", stderr);
                return 2;
            }
            pdf = args[++i];
        } else if (programDir.isEmpty() && !args[i].startsWith(QLatin1String("--"))) {
            programDir = args[i];
        } else {
            std::fprintf(stderr, "pdeclare-cli check: 多余的参数 %s\n", args[i].toUtf8().constData());
            return 2;
        }
    }
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
