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
#include <iterator>
#include <memory>

// stderr carries the program's own messages only: Qt's notes about the
// session (XDG_RUNTIME_DIR, platform plugins, fonts) are dropped.
static void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "pdeclare-cli: %s\n", message.toLocal8Bit().constData());
        std::abort();
    }
}

// What is said when the centre is not beside this program.
static QString centreMissing(const char *command)
{
    return QStringLiteral("pdeclare-cli: %1 是监测中心的命令，这台电脑上没有安装监测中心（软件包 pdeclare-centre）。\n")
        .arg(QString::fromLocal8Bit(command));
}

// The program's commands. The centre's run as pdeclare-centre-cli beside
// this program, with the same arguments, standard channels and exit code.
static constexpr cli::Entry hospitalEntries[] = {
    {&cli::sqlCommand, cli::cmdSql, false},
    {&cli::dumpCommand, cli::cmdDump, false},
    {&cli::checkCommand, cli::cmdCheck, true},
    {&cli::printCommand, cli::cmdPrint, true},
    {&cli::backupCommand, cli::cmdBackup, true},
    {&cli::uploadCommand, cli::cmdUpload, true},
    {&cli::promptsCommand, cli::cmdPrompts, false},
};
static constexpr cli::Entry centreEntries[] = {
    {&cli::collectCommand, nullptr, false},
    {&cli::statusCommand, nullptr, false},
    {&cli::exportCommand, nullptr, false},
    {&cli::historyCommand, nullptr, false},
};
static constexpr cli::Section sections[] = {
    {nullptr, hospitalEntries, std::size(hospitalEntries)},
    {cli::centreHeading, centreEntries, std::size(centreEntries)},
};
static constexpr cli::Program program{
    "pdeclare-cli", PDECLARE_VERSION, sections, std::size(sections),
    "没有 PROGRAM_DIR 时，命令使用窗口程序所用的表。\n"
    "退出码：0 成功，1 有审核发现或未上报，2 失败（原因写在标准错误输出）。"};

namespace cli {

int run(int argc, char *argv[])
{
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
    // A command that needs no fonts nor painting runs in a plain core
    // application, which starts in a fraction of the time: that counts in
    // scripted use. (The centre's commands are only handed on.)
    const cli::Entry *entry = argc > 1 ? cli::findEntry(program, argv[1]) : nullptr;
    std::unique_ptr<QCoreApplication> app(entry && entry->paints ? new QGuiApplication(argc, argv)
                                                                 : new QCoreApplication(argc, argv));
    QStringList args = app->arguments();
    args.removeFirst();
    const int code = cli::dispatch(program, args, [&](const cli::Command &command, const QStringList &rest) {
        return cli::runBeside("pdeclare-centre-cli", argv, QStringList{QString::fromUtf8(command.name)} + rest,
                              centreMissing(argv[1]));
    });
    // What a command printed is part of its result: output that could not
    // be written (a full disk behind a redirection) is a failure, not a 0.
    if (const int error = outputError()) {
        std::fprintf(stderr, "pdeclare-cli: 结果未能全部写出到标准输出：%s\n", store::fileio::reason(error).toLocal8Bit().constData());
        return 2;
    }
    return code;
}

} // namespace cli
