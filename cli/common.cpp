#include "cli/Commands.h"

#include "store/Paths.h"

#include <cstdio>
#include <exception>

namespace cli {

bool useProgramDir(const QString &dirOrEmpty)
{
    store::paths::setProgramDir(dirOrEmpty);
    try {
        store::paths::prepareProgramDir();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pdeclare-cli: %s\n", e.what());
        return false;
    }
    return true;
}

} // namespace cli
