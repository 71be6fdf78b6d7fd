#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdBackup(const QStringList &)
{
    std::fputs("pdeclare-cli backup: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
