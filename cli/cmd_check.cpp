#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdCheck(const QStringList &)
{
    std::fputs("pdeclare-cli check: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
