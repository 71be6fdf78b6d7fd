// pdeclare-centre-export: the monitoring centre's export (CSV, XLSX and the
// committee PDF), delivered with the centre beside pdeclare-centre-cli,
// which hands its export command here:
//   pdeclare-centre-export DB (--csv FILE | --xlsx FILE | --pdf FILE) [--part ...] [--factor X] [--program-dir DIR]
// It is a program of its own because the PDF needs Qt Gui, which the other
// centre commands do not load.
#include "cli/Commands.h"

#include "store/FileIo.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

// stderr carries the program's own messages only.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "pdeclare-centre-export: %s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQtMessages);
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.value(0) == QLatin1String("--version")) {
        std::printf("pdeclare-centre-export %s\n", PDECLARE_VERSION);
        return 0;
    }
    const int code = cli::runCommand(cli::exportCommand, cli::cmdExport, args);
    if (const int error = cli::outputError()) {
        std::fprintf(stderr, "pdeclare-centre-export: 结果未能全部写出到标准输出：%s\n",
                     store::fileio::reason(error).toLocal8Bit().constData());
        return 2;
    }
    return code;
}
