#include "tests/support/TestSupport.h"

#include "store/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <atomic>

namespace testsupport {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString builtProgramDir() { return QStringLiteral(PDECLARE_PROGRAM_DIR "/"); }
QString sourceDir() { return QStringLiteral(PDECLARE_SOURCE_DIR "/"); }

TempProgramDir::TempProgramDir(bool withResult)
{
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("DataMeta"));
    root.mkpath(QStringLiteral("Result"));
    QDir meta(builtProgramDir() + QStringLiteral("DataMeta"));
    for (const QString &name : meta.entryList(QDir::Files))
        QFile::copy(meta.filePath(name), root.filePath(QStringLiteral("DataMeta/") + name));
    if (withResult)
        QFile::copy(root.filePath(QStringLiteral("DataMeta/sjsbb.dbf")), root.filePath(QStringLiteral("Result/result.dbf")));
    store::paths::setProgramDir(m_dir.path());
}

TempProgramDir::~TempProgramDir() { store::paths::setProgramDir(QString()); }

QString TempProgramDir::path() const { return m_dir.path() + QLatin1Char('/'); }
QString TempProgramDir::file(const QString &relative) const { return path() + relative; }

#ifdef Q_OS_WIN
namespace {
// The Windows build's tests run under Wine, whose Z: drive is the Linux
// root. The outside programs (python3-dbf, pdftotext, pdfinfo) are the Linux
// ones, handed Linux paths. Wine starts a Linux program detached, without its
// output or exit code, so each run goes through the bridge that
// scripts/test-windows keeps on the Linux side (packaging/windows/host-bridge):
// a request folder in its spool, answered in the same folder.
QString linuxPaths(QString text)
{
    static const QRegularExpression drive(QStringLiteral("(?i)\\bZ:[/\\\\]([^'\"\\s]*)"));
    QString out;
    qsizetype at = 0;
    for (auto it = drive.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(at, m.capturedStart() - at) + QLatin1Char('/') + QString(m.captured(1)).replace(QLatin1Char('\\'), QLatin1Char('/'));
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

bool isWindowsProgram(const QString &program)
{
    return program.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)
           || QFileInfo::exists(program + QStringLiteral(".exe"));
}

ProcessResult runOnLinux(const QString &program, const QStringList &args, const QByteArray &input, int timeoutMs)
{
    ProcessResult r;
    const QString spool = qEnvironmentVariable("PDECLARE_HOST_SPOOL");
    if (spool.isEmpty()) {
        r.err = "no bridge to the Linux side (PDECLARE_HOST_SPOOL): run the tests through scripts/test-windows";
        return r;
    }
    static std::atomic<int> serial{0};
    const QString id = QStringLiteral("%1-%2-%3")
                           .arg(QCoreApplication::applicationPid())
                           .arg(QDateTime::currentMSecsSinceEpoch())
                           .arg(serial++);
    const QString pending = spool + QLatin1Char('/') + id + QStringLiteral(".tmp");
    const QString folder = spool + QLatin1Char('/') + id;
    QDir().mkpath(pending);
    QByteArray argv = (program.startsWith(QLatin1Char('/')) ? program : QStringLiteral("/usr/bin/") + program).toUtf8();
    for (const QString &a : args)
        argv += '\0' + linuxPaths(a).toUtf8();
    QFile argvFile(pending + QStringLiteral("/argv")), stdinFile(pending + QStringLiteral("/stdin"));
    if (!argvFile.open(QIODevice::WriteOnly) || argvFile.write(argv) != argv.size() || !stdinFile.open(QIODevice::WriteOnly)
        || stdinFile.write(input) != input.size()) {
        r.err = "cannot write the bridge's request in " + spool.toUtf8();
        return r;
    }
    argvFile.close();
    stdinFile.close();
    if (!QDir().rename(pending, folder)) {
        r.err = "cannot hand the request to the bridge in " + spool.toUtf8();
        return r;
    }
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(folder + QStringLiteral("/rc"))) {
        if (clock.elapsed() > timeoutMs) {
            r.err = "timed out: " + program.toUtf8();
            return r;
        }
        QThread::msleep(5);
    }
    r.exitCode = fileBytes(folder + QStringLiteral("/rc")).trimmed().toInt();
    r.out = fileBytes(folder + QStringLiteral("/out"));
    r.err = fileBytes(folder + QStringLiteral("/err"));
    QDir(folder).removeRecursively();
    return r;
}
} // namespace
#endif

ProcessResult run(const QString &program, const QStringList &args, const QByteArray &input, int timeoutMs,
                  const QString &workingDir)
{
#ifdef Q_OS_WIN
    if (!isWindowsProgram(program))
        return runOnLinux(program, args, input, timeoutMs);
#endif
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(timeoutMs)) {
        r.err = "cannot start " + program.toUtf8();
        return r;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out: " + program.toUtf8();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString builtProgram(const QString &name)
{
#ifdef Q_OS_WIN
    return builtProgramDir() + name + QStringLiteral(".exe");
#else
    return builtProgramDir() + name;
#endif
}

ProcessResult cli(const QStringList &args, const CliOptions &options)
{
    return run(builtProgram(QStringLiteral("pdeclare-cli")), args, options.input, options.timeoutMs, options.workingDir);
}

ProcessResult python(const QString &script)
{
    return run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});
}

std::vector<PdfWord> pdfWords(const QString &pdfPath)
{
    std::vector<PdfWord> words;
    const ProcessResult r = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    if (r.exitCode != 0)
        return words;
    const QString html = QString::fromUtf8(r.out);
    static const QRegularExpression pageRe(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"));
    static const QRegularExpression wordRe(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    int page = -1;
    int pos = 0;
    const double ptToMm = 25.4 / 72.0;
    while (true) {
        const auto pm = pageRe.match(html, pos);
        const auto wm = wordRe.match(html, pos);
        if (!wm.hasMatch())
            break;
        if (pm.hasMatch() && pm.capturedStart() < wm.capturedStart()) {
            ++page;
            pos = pm.capturedEnd();
            continue;
        }
        PdfWord w;
        w.page = page;
        QString text = wm.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        w.text = text;
        const double x1 = wm.captured(1).toDouble(), y1 = wm.captured(2).toDouble();
        const double x2 = wm.captured(3).toDouble(), y2 = wm.captured(4).toDouble();
        w.boxMm = QRectF(x1 * ptToMm, y1 * ptToMm, (x2 - x1) * ptToMm, (y2 - y1) * ptToMm);
        words.push_back(w);
        pos = wm.capturedEnd();
    }
    return words;
}

int pdfPageCount(const QString &pdfPath)
{
    const ProcessResult r = run(QStringLiteral("pdfinfo"), {pdfPath});
    static const QRegularExpression re(QStringLiteral("Pages:\\s+(\\d+)"));
    const auto m = re.match(QString::fromUtf8(r.out));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace testsupport
