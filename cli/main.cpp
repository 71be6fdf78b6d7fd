// pdeclare-cli: the program's routines without windows, for support work and
// for scripted checks. Each command lives in its own file (cmd_*.cpp).
#include "cli/Commands.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

static int usage()
{
    std::fputs("usage: pdeclare-cli COMMAND ...\n"
               "  sql DIR STATEMENT            run one statement against the tables of DIR\n"
               "  dump FILE.dbf                show a table's header and fields\n"
               "  check [PROGRAM_DIR] [--pdf FILE]\n"
               "  print --data|--blank [--pdf FILE] [PROGRAM_DIR]\n"
               "  backup DIR [PROGRAM_DIR]\n"
               "  upload DIR [--yes|--no] [PROGRAM_DIR]\n",
               stderr);
    return 2;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // sql and dump need no fonts nor painting: a plain core application
    // starts in a fraction of the time, which counts in scripted use.
    const bool plain = argc > 1 && (qstrcmp(argv[1], "sql") == 0 || qstrcmp(argv[1], "dump") == 0);
    std::unique_ptr<QCoreApplication> app(plain ? new QCoreApplication(argc, argv) : new QGuiApplication(argc, argv));
    QStringList args = app->arguments();
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
    return usage();
}
