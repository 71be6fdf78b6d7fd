#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int cmdUpload(const QStringList &)
{
    std::fputs("pdeclare-cli upload: not available in this build\n", stderr);
    return 2;
}

} // namespace cli
