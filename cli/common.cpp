#include "cli/Commands.h"

#include "store/Error.h"
#include "store/Paths.h"

#include <cerrno>
#include <cstdio>
#include <exception>

namespace cli {

namespace {
int firstOutputError = 0;
}

void writeOutput(const char *data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size && firstOutputError == 0)
        firstOutputError = errno ? errno : EIO;
}

void flushOutput()
{
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && firstOutputError == 0)
        firstOutputError = errno ? errno : EIO;
}

int outputError()
{
    flushOutput();
    return firstOutputError;
}

bool useProgramDir(const QString &dirOrEmpty)
{
    store::paths::setProgramDir(dirOrEmpty);
    try {
        store::paths::prepareProgramDir();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pdeclare-cli: %s\n", store::errorText(e).toLocal8Bit().constData());
        return false;
    }
    return true;
}

} // namespace cli
