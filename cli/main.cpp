// pdeclare-cli: the program's routines without windows, for support work and
// for scripted checks. Each command lives in its own file (cmd_*.cpp).
#include "cli/Commands.h"

#include "store/FileIo.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

static const char helpText[] =
    "usage: pdeclare-cli COMMAND ...\n"
    "  sql DIR STATEMENT                               run one statement against the tables of DIR\n"
    "  dump FILE.dbf                                   show a table's header and fields\n"
    "  check [PROGRAM_DIR] [--pdf FILE]                check the declaration, list the findings\n"
    "  print --data|--blank [--pdf FILE] [PROGRAM_DIR] write the filled or the blank form as PDF\n"
    "  backup DIR [PROGRAM_DIR]                        copy the declaration table into DIR\n"
    "  upload DIR [--yes|--no] [PROGRAM_DIR]           check, then write the upload file into DIR\n"
    "  collect DB PATH... [--program-dir DIR]          take upload files into the centre's database\n"
    "  status DB [--json] [--factor X] [--program-dir DIR]  who sent, findings, mismatches, implausible\n"
    "  export DB --csv|--xlsx|--pdf FILE [--part declarations|findings|implausible] [--factor X] [--program-dir DIR]\n"
    "  --help                                          show this list\n"
    "  --version                                       show the version\n"
    "Without PROGRAM_DIR the tables are those the window program uses.\n";
#include <memory>

static int usage()
{
    std::fputs(helpText, stderr);
    return 2;
}

// stderr carries the program's own messages only: Qt's notes about the
// session (XDG_RUNTIME_DIR, platform plugins, fonts) are dropped.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "pdeclare-cli: %s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

static int run(QStringList args)
{
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(helpText, stdout);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("pdeclare-cli %s\n", PDECLARE_VERSION);
        return 0;
    }
    if (command == QLatin1String("sql")) return cli::cmdSql(args);
    if (command == QLatin1String("dump")) return cli::cmdDump(args);
    if (command == QLatin1String("check")) return cli::cmdCheck(args);
    if (command == QLatin1String("print")) return cli::cmdPrint(args);
    if (command == QLatin1String("backup")) return cli::cmdBackup(args);
    if (command == QLatin1String("upload")) return cli::cmdUpload(args);
    if (command == QLatin1String("collect")) return cli::cmdCollect(args);
    if (command == QLatin1String("status")) return cli::cmdStatus(args);
    if (command == QLatin1String("export")) return cli::cmdExport(args);
    return usage();
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQtMessages);
    // sql and dump need no fonts nor painting: a plain core application
    // starts in a fraction of the time, which counts in scripted use.
    const bool plain = argc > 1 && (qstrcmp(argv[1], "sql") == 0 || qstrcmp(argv[1], "dump") == 0);
    std::unique_ptr<QCoreApplication> app(plain ? new QCoreApplication(argc, argv) : new QGuiApplication(argc, argv));
    QStringList args = app->arguments();
    args.removeFirst();
    const int code = run(args);
    // What a command printed is part of its result: output that could not
    // be written (a full disk behind a redirection) is a failure, not a 0.
    if (const int error = cli::outputError()) {
        std::fprintf(stderr, "pdeclare-cli: 结果未能全部写出到标准输出：%s\n", store::fileio::reason(error).toLocal8Bit().constData());
        return 2;
    }
    return code;
}
