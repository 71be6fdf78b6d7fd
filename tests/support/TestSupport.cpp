#include "tests/support/TestSupport.h"

#include "store/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

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
// root: the outside programs (python3-dbf, pdftotext, pdfinfo) are the Linux
// ones, started by their Z: path, and are handed Linux paths.
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
} // namespace
#endif

ProcessResult run(const QString &program, const QStringList &args, const QByteArray &input, int timeoutMs)
{
    QProcess p;
#ifdef Q_OS_WIN
    QStringList linuxArgs;
    for (const QString &a : args)
        linuxArgs << linuxPaths(a);
    p.start(program.startsWith(QLatin1Char('/')) ? QStringLiteral("Z:") + program : QStringLiteral("Z:/usr/bin/") + program,
            linuxArgs);
#else
    p.start(program, args);
#endif
    ProcessResult r;
    if (!p.waitForStarted(10000)) {
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
