#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdPrint(const QStringList &)
{
    std::fputs("pdeclare-cli print: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
