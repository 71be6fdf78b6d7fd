#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdDump(const QStringList &)
{
    std::fputs("pdeclare-cli dump: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
