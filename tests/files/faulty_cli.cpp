// pdeclare-cli over a file layer that fails on purpose, for the tests only:
//   pdeclare-cli-faults [--fail-change N] [--exit-after-change N] [--no-locks] [--fail-sync-dir] COMMAND ...
// The N-th change of a file fails as on a full disk, or the process ends
// right after it (exit code 86); --no-locks makes every lock answer that the
// file system keeps none. The rest is pdeclare-cli itself.
#include "cli/Commands.h"
#include "tests/support/FaultEnv.h"

#include "store/FileIo.h"

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    static testsupport::FaultEnv faults;
    const int before = int(args.size());
    if (!faults.configure(args)) {
        std::fputs("pdeclare-cli-faults: an option lacks its number\n", stderr);
        return 2;
    }
    store::fileio::setEnv(&faults);
    std::vector<char *> rest{argv[0]};
    for (int i = 1 + before - int(args.size()); i < argc; ++i)
        rest.push_back(argv[i]);
    rest.push_back(nullptr);
    int count = int(rest.size()) - 1;
    return cli::run(count, rest.data());
}
