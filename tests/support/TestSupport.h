#pragma once
// Helpers shared by the tests: a temporary program directory laid out like
// the built one, running outside programs (python3-dbf, pdftotext), and the
// words of a PDF with their boxes.
#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

namespace testsupport {

// A fresh program directory in a temporary folder: DataMeta/ copied from the
// build, an empty Result/ and, with withResult, Result/result.dbf made from
// the template. store::paths points at it while it lives.
class TempProgramDir {
public:
    explicit TempProgramDir(bool withResult = true);
    ~TempProgramDir();
    QString path() const;                  // with trailing '/'
    QString file(const QString &relative) const;

private:
    QTemporaryDir m_dir;
};

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ProcessResult run(const QString &program, const QStringList &args, const QByteArray &input = {},
                  int timeoutMs = 60000, const QString &workingDir = {});
// A program of this build's bin/ by its name (".exe" added on Windows).
QString builtProgram(const QString &name);
// pdeclare-cli of this build, run in workingDir (default: the test's own),
// with input on its stdin.
struct CliOptions {
    QByteArray input;
    QString workingDir;
    int timeoutMs = 300000;
};
ProcessResult cli(const QStringList &args, const CliOptions &options = {});
// Debian's /usr/bin/python3, which has python3-dbf and python3-dbfread.
ProcessResult python(const QString &script);

struct PdfWord {
    int page = 0;       // 0-based
    QString text;       // as pdftotext gives it, never normalised
    QRectF boxMm;       // from the page's top-left corner, millimetres
};
std::vector<PdfWord> pdfWords(const QString &pdfPath);
int pdfPageCount(const QString &pdfPath);

// The whole file (empty when it cannot be read).
QByteArray fileBytes(const QString &path);

QString builtProgramDir();   // the build's bin/ with DataMeta
QString sourceDir();

} // namespace testsupport
