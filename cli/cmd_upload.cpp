// pdeclare-cli upload DIR [--yes|--no] [PROGRAM_DIR]: checks the declaration,
// flags it and copies it into DIR as the project code + "SJSB.dbf". With
// findings the question is answered by --yes; --no or no answer declines.
#include "cli/Commands.h"

#include "backup/HeadlessBackup.h"

#include <cstdio>

namespace cli {

int cmdUpload(const QStringList &args)
{
    QStringList positional;
    bool yes = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--yes")) {
            yes = true;
        } else if (arg == QLatin1String("--no")) {
            yes = false;
        } else if (arg.startsWith(QLatin1String("--"))) {
            positional.clear();
            break;
        } else {
            positional << arg;
        }
    }
    if (positional.isEmpty() || positional.size() > 2) {
        std::fputs("usage: pdeclare-cli upload DIR [--yes|--no] [PROGRAM_DIR]\n", stderr);
        return 2;
    }
    if (!useProgramDir(positional.size() > 1 ? positional[1] : QString()))
        return 2;
    return backup::runHeadless(true, positional[0], yes);
}

} // namespace cli
