#include "cli/Commands.h"

#include "store/Error.h"
#include "store/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

namespace cli {

namespace {
int firstOutputError = 0;
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

#ifndef Q_OS_WIN
int execBeside(const char *program, char *argv[], const QString &missing)
{
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0)
        return -1;
    self.resize(std::size_t(length));
    const std::string path = self.substr(0, self.rfind('/') + 1) + program;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0) {
        std::fputs(missing.toLocal8Bit().constData(), stderr);
        return 2;
    }
    std::fflush(stdout);
    argv[0] = const_cast<char *>(path.c_str());
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "无法启动 %s。\n", path.c_str());
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
        std::fputs(missing.toLocal8Bit().constData(), stderr);
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
