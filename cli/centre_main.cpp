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

static const char helpText[] =
    "usage: pdeclare-centre-cli COMMAND ...\n"
    "  collect DB PATH... [--program-dir DIR]          take upload files into the centre's database\n"
    "  status DB [--json] [--factor X] [--program-dir DIR]  who sent, findings, mismatches, implausible\n"
    "  export DB --csv|--xlsx|--pdf FILE [--part declarations|findings|implausible|missing] [--factor X] [--program-dir DIR]\n"
    "  history DB CODE [--diff [ID ID]]                every file of a project; the figures changed between two\n"
    "  --help                                          show this list\n"
    "  --version                                       show the version\n"
    "DB is an SQLite file or a postgresql:// URI.\n";

// stderr carries the program's own messages only.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "pdeclare-centre-cli: %s\n", message.toUtf8().constData());
        std::abort();
    }
}

static QString exportMissing()
{
    return QStringLiteral("pdeclare-centre-cli: 缺少导出程序 pdeclare-centre-export（软件包 pdeclare-centre），请重新安装监测中心。\n");
}

static int run(QStringList args, char *argv[])
{
    if (args.isEmpty()) {
        std::fputs(helpText, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(helpText, stdout);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("pdeclare-centre-cli %s\n", PDECLARE_VERSION);
        return 0;
    }
    if (command == QLatin1String("collect")) return cli::cmdCollect(args);
    if (command == QLatin1String("status")) return cli::cmdStatus(args);
    if (command == QLatin1String("export"))
        return cli::runBeside("pdeclare-centre-export", argv, args, exportMissing());
    if (command == QLatin1String("history")) return cli::cmdHistory(args);
    std::fputs(helpText, stderr);
    return 2;
}

int main(int argc, char *argv[])
{
    cli::prepareConsole();
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
    const int code = run(args, exporting ? argv + 1 : argv);
    // Output that could not be written (a full disk behind a redirection)
    // is a failure, not a 0.
    if (const int error = cli::outputError()) {
        std::fprintf(stderr, "pdeclare-centre-cli: 结果未能全部写出到标准输出：%s\n",
                     store::fileio::reason(error).toUtf8().constData());
        return 2;
    }
    return code;
}
