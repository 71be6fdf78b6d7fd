// pdeclare-centre-cli: the monitoring centre's commands without windows,
// delivered with the centre (package pdeclare-centre). pdeclare-cli hands
// its collect, status, export and history commands to this program.
#include "cli/Commands.h"

#include "store/FileIo.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>

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
        std::fprintf(stderr, "pdeclare-centre-cli: %s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

static int run(QStringList args)
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
    if (command == QLatin1String("export")) return cli::cmdExport(args);
    if (command == QLatin1String("history")) return cli::cmdHistory(args);
    std::fputs(helpText, stderr);
    return 2;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQtMessages);
    // Only export paints (the PDF); collect, status and history start as a
    // plain core application, in a fraction of the time.
    const bool paints = argc > 1 && qstrcmp(argv[1], "export") == 0;
    std::unique_ptr<QCoreApplication> app(paints ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));
    QStringList args = app->arguments();
    args.removeFirst();
    const int code = run(args);
    // Output that could not be written (a full disk behind a redirection)
    // is a failure, not a 0.
    if (const int error = cli::outputError()) {
        std::fprintf(stderr, "pdeclare-centre-cli: 结果未能全部写出到标准输出：%s\n",
                     store::fileio::reason(error).toLocal8Bit().constData());
        return 2;
    }
    return code;
}
