#include "cli/Commands.h"

#include "store/Error.h"
#include "store/Paths.h"
#include "store/Startup.h"

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
    // The hospital program's working table and findings purge are its own;
    // a command reads and changes the folder as it finds it.
    const QStringList problems = store::startup::run(store::startup::kFolderOnly);
    for (const QString &problem : problems)
        std::fprintf(stderr, "pdeclare-cli: %s\n", problem.toLocal8Bit().constData());
    return problems.isEmpty();
}

} // namespace cli
