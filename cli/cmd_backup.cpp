// pdeclare-cli backup DIR [PROGRAM_DIR]: copies Result/result.dbf into DIR as
// result.dbf, replacing an earlier backup there.
#include "cli/Commands.h"

#include "backup/HeadlessBackup.h"

#include <cstdio>

namespace cli {

int cmdBackup(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 2 || args[0].startsWith(QLatin1String("--"))) {
        std::fputs("usage: pdeclare-cli backup DIR [PROGRAM_DIR]\n", stderr);
        return 2;
    }
    if (!useProgramDir(args.size() > 1 ? args[1] : QString()))
        return 2;
    return backup::runHeadless(false, args[0], false);
}

} // namespace cli
