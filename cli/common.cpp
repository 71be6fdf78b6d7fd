#include "cli/Commands.h"

#include "store/Error.h"
#include "store/Paths.h"
#include "store/Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <cstring>

namespace cli {

namespace {
int firstOutputError = 0;

#ifdef Q_OS_WIN
UINT consoleCodePage = 0;
void restoreConsoleCodePage() { SetConsoleOutputCP(consoleCodePage); }
#endif
} // namespace

void prepareConsole()
{
#ifdef Q_OS_WIN
    // Text mode would turn every '\n' into "\r\n": results and messages are
    // the same bytes on both systems, for scripts and for files compared.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The messages are UTF-8; a console of another code page (936 on a
    // Chinese system, 437 on an English one) would show them garbled. Its
    // code page is switched for this run and put back at exit.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
        const UINT before = GetConsoleOutputCP();
        if (before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            consoleCodePage = before;
            std::atexit(restoreConsoleCodePage);
        }
    }
#endif
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
        std::fprintf(stderr, "pdeclare-cli: %s\n", problem.toUtf8().constData());
    return problems.isEmpty();
}

#ifndef Q_OS_WIN
namespace {

// PROGRAM's path in this program's folder, found through the kernel's link
// to this program (as Qt's applicationDirPath finds it); false when there
// is no such link. Plain C calls only: it also runs before the libraries'
// constructors (see main.cpp).
bool pathBeside(const char *program, char *path, std::size_t size)
{
    const ssize_t length = ::readlink("/proc/self/exe", path, size - 1);
    if (length <= 0)
        return false;
    path[length] = '\0';
    char *slash = std::strrchr(path, '/');
    if (!slash || std::size_t(slash + 1 - path) + std::strlen(program) + 1 > size)
        return false;
    std::strcpy(slash + 1, program);
    return true;
}

bool runnable(const char *path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, X_OK) == 0;
}

char besidePath[4096];

} // namespace

void execBesideQuietly(const char *program, char *argv[], char *envp[])
{
    if (!pathBeside(program, besidePath, sizeof besidePath) || !runnable(besidePath))
        return;
    argv[0] = besidePath;
    ::execve(besidePath, argv, envp);
}

int execBeside(const char *program, char *argv[], const QString &missing)
{
    if (!pathBeside(program, besidePath, sizeof besidePath))
        return -1;
    if (!runnable(besidePath)) {
        std::fputs(missing.toUtf8().constData(), stderr);
        return 2;
    }
    std::fflush(stdout);
    argv[0] = besidePath;
    ::execv(besidePath, argv);
    std::fprintf(stderr, "无法启动 %s。\n", besidePath);
    return 2;
}
#endif

int runBeside(const char *program, char *argv[], const QStringList &args, const QString &missing)
{
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(program))
#ifdef Q_OS_WIN
                         + QStringLiteral(".exe")
#endif
        ;
    if (!QFileInfo(path).isExecutable()) {
        std::fputs(missing.toUtf8().constData(), stderr);
        return 2;
    }
    std::fflush(stdout);
#ifndef Q_OS_WIN
    (void)args;
    const QByteArray name = QFile::encodeName(path);
    argv[0] = const_cast<char *>(name.constData());
    ::execv(name.constData(), argv);
    std::fprintf(stderr, "无法启动 %s。\n", name.constData());
    return 2;
#else
    (void)argv;
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.setInputChannelMode(QProcess::ForwardedInputChannel);
    run.start(path, args);
    if (!run.waitForFinished(-1) || run.exitStatus() != QProcess::NormalExit) {
        std::fprintf(stderr, "无法运行 %s。\n", qPrintable(QDir::toNativeSeparators(path)));
        return 2;
    }
    return run.exitCode();
#endif
}

} // namespace cli
