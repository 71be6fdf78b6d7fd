// pdeclare-cli: see cli/Run.cpp.
#include "cli/Commands.h"

int main(int argc, char *argv[]) { return cli::run(argc, argv); }

#ifdef Q_OS_LINUX
// The centre's commands are handed to pdeclare-centre-cli beside this
// program before the constructors of the libraries loaded for this
// program's own commands (Qt Gui and the many it brings) have run: the
// hand-over then costs little more than loading them. The loader runs the
// functions of .preinit_array after loading everything and before any
// constructor. When the centre's program cannot be run, the ordinary start
// says why.
static void handCentreCommandsOver(int argc, char **argv, char **envp)
{
    if (argc > 1 && cli::isCentreCommand(argv[1]))
        cli::execBesideQuietly("pdeclare-centre-cli", argv, envp);
}
__attribute__((section(".preinit_array"), used)) static void (*const handOver)(int, char **, char **) = handCentreCommandsOver;
#endif
