// pdeclare-cli: the program's routines without windows, for support work and
// for scripted checks. Each command lives in its own file (cmd_*.cpp); this
// one reads the command line and hands it to them. The
// monitoring centre's commands belong to the centre's own package: they are
// handed to pdeclare-centre-cli beside this program when it is installed.
#include "cli/Commands.h"

#include "store/FileIo.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char helpText[] =
    "usage: pdeclare-cli COMMAND ...\n"
    "  sql DIR STATEMENT                               run one statement against the tables of DIR\n"
    "  dump FILE.dbf                                   show a table's header and fields\n"
    "  check [PROGRAM_DIR] [--pdf FILE]                check the declaration, list the findings\n"
    "  print --data|--blank [--pdf FILE] [PROGRAM_DIR] write the filled or the blank form as PDF\n"
    "  backup DIR [PROGRAM_DIR]                        copy the declaration table into DIR\n"
    "  upload DIR [--yes|--no] [PROGRAM_DIR]           check, then write the upload file into DIR\n"
    "  prompts FIELD PERIOD [FIELD=FIGURE ...] [PROGRAM_DIR]  the entry window's prompts on leaving FIELD\n"
    "  collect DB PATH... [--program-dir DIR]          take upload files into the centre's database\n"
    "  status DB [--json] [--factor X] [--program-dir DIR]  who sent, findings, mismatches, implausible\n"
    "  export DB --csv|--xlsx|--pdf FILE [--part declarations|findings|implausible|missing] [--factor X] [--program-dir DIR]\n"
    "  history DB CODE [--diff [ID ID]]                every file of a project; the figures changed between two\n"
    "    (collect, status, export and history: the monitoring centre, package pdeclare-centre)\n"
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
        std::fprintf(stderr, "pdeclare-cli: %s\n", message.toUtf8().constData());
        std::abort();
    }
}

// collect, status, export and history run as pdeclare-centre-cli beside this program,
// with the same arguments, standard channels and exit code.
bool cli::isCentreCommand(const char *command)
{
    for (const char *name : {"collect", "status", "export", "history"})
        if (std::strcmp(command, name) == 0)
            return true;
    return false;
}

// What is said when the centre is not beside this program.
static QString centreMissing(const char *command)
{
    return QStringLiteral("pdeclare-cli: %1 是监测中心的命令，这台电脑上没有安装监测中心（软件包 pdeclare-centre）。\n")
        .arg(QString::fromUtf8(command));
}

static int runCommand(QStringList args, char *argv[])
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
    if (command == QLatin1String("prompts")) return cli::cmdPrompts(args);
    if (cli::isCentreCommand(argv[1]))
        return cli::runBeside("pdeclare-centre-cli", argv, QStringList{command} + args, centreMissing(argv[1]));
    return usage();
}

namespace cli {

int run(int argc, char *argv[])
{
    prepareConsole();
#ifndef Q_OS_WIN
    // The hand-over happens first, before any Qt object exists: a centre
    // command then costs this program no more than loading it.
    if (argc > 1 && cli::isCentreCommand(argv[1])) {
        if (const int code = cli::execBeside("pdeclare-centre-cli", argv, centreMissing(argv[1])); code >= 0)
            return code;
    }
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQtMessages);
    // sql, dump and prompts need no fonts nor painting: a plain core application
    // starts in a fraction of the time, which counts in scripted use.
    // (The centre's commands are only handed on.)
    const bool plain = argc > 1
                       && (qstrcmp(argv[1], "sql") == 0 || qstrcmp(argv[1], "dump") == 0
                           || qstrcmp(argv[1], "prompts") == 0 || cli::isCentreCommand(argv[1]));
    std::unique_ptr<QCoreApplication> app(plain ? new QCoreApplication(argc, argv) : new QGuiApplication(argc, argv));
    QStringList args = app->arguments();
    args.removeFirst();
    const int code = runCommand(args, argv);
    // What a command printed is part of its result: output that could not
    // be written (a full disk behind a redirection) is a failure, not a 0.
    if (const int error = outputError()) {
        std::fprintf(stderr, "pdeclare-cli: 结果未能全部写出到标准输出：%s\n", store::fileio::reason(error).toUtf8().constData());
        return 2;
    }
    return code;
}

} // namespace cli
