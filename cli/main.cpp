// pdeclare-cli: the program's routines without windows, for support work and
// for scripted checks. Each command lives in its own file (cmd_*.cpp).
#include "cli/Commands.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

static int usage()
{
    std::fputs("usage: pdeclare-cli COMMAND ...\n"
               "  sql DIR STATEMENT            run one statement against the tables of DIR\n"
               "  dump FILE.dbf                show a table's header and fields\n"
               "  check [PROGRAM_DIR] [--pdf FILE]\n"
               "  print --data|--blank [--pdf FILE] [PROGRAM_DIR]\n"
               "  backup DIR [PROGRAM_DIR]\n"
               "  upload DIR [--yes|--no] [PROGRAM_DIR]\n"
               "  collect DB PATH... [--program-dir DIR]\n"
               "  status DB [--json] [--factor X] [--program-dir DIR]\n"
               "  export DB (--csv FILE | --xlsx FILE | --pdf FILE) [--part declarations|findings|implausible]\n"
               "         [--factor X] [--program-dir DIR]\n",
               stderr);
    return 2;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
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
