// pdeclare-centre-cli: the monitoring centre's commands without windows,
// delivered with the centre (package pdeclare-centre). pdeclare-cli hands
// its collect, status, export and history commands to this program. It
// links Qt Core and Sql only: collect, status and history start without
// loading Qt Gui and the libraries behind it (fonts, X11, OpenGL, D-Bus),
// which took longer than collecting a folder. export, which paints the
// committee PDF, is handed on to pdeclare-centre-export beside it.
#include "cli/Commands.h"

#include "store/FileIo.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <iterator>

// stderr carries the program's own messages only.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "pdeclare-centre-cli: %s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

static QString exportMissing()
{
    return QStringLiteral("pdeclare-centre-cli: 缺少导出程序 pdeclare-centre-export（软件包 pdeclare-centre），请重新安装监测中心。\n");
}

static constexpr cli::Entry entries[] = {
    {&cli::collectCommand, cli::cmdCollect, false},
    {&cli::statusCommand, cli::cmdStatus, false},
    {&cli::exportCommand, nullptr, true}, // pdeclare-centre-export
    {&cli::historyCommand, cli::cmdHistory, false},
};
static constexpr cli::Section sections[] = {{cli::centreHeading, entries, std::size(entries)}};
static constexpr cli::Program program{"pdeclare-centre-cli", PDECLARE_VERSION, sections, std::size(sections), nullptr};

int main(int argc, char *argv[])
{
    // export goes to its own program with the arguments after the command,
    // before any Qt object exists here.
    const bool exporting = argc > 1 && qstrcmp(argv[1], "export") == 0;
#ifndef Q_OS_WIN
    if (exporting) {
        if (const int code = cli::execBeside("pdeclare-centre-export", argv + 1, exportMissing()); code >= 0)
            return code;
    }
#endif
    qInstallMessageHandler(quietQtMessages);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    const int code = cli::dispatch(program, args, [&](const cli::Command &, const QStringList &rest) {
        return cli::runBeside("pdeclare-centre-export", exporting ? argv + 1 : argv, rest, exportMissing());
    });
    // Output that could not be written (a full disk behind a redirection)
    // is a failure, not a 0.
    if (const int error = cli::outputError()) {
        std::fprintf(stderr, "pdeclare-centre-cli: 结果未能全部写出到标准输出：%s\n",
                     store::fileio::reason(error).toLocal8Bit().constData());
        return 2;
    }
    return code;
}
