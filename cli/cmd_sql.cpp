#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdSql(const QStringList &)
{
    std::fputs("pdeclare-cli sql: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
