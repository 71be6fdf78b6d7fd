#include "app/Shell.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace app {

namespace {
Shell::Opener &opener()
{
    static Shell::Opener instance;
    return instance;
}
} // namespace

bool Shell::open(const QUrl &url)
{
    if (opener())
        return opener()(url);
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // xdg-open starts in any case and fails later, out of sight; the
    // desktop's own table says beforehand whether any program opens the
    // file's type. (On Windows the shell itself answers "no program".)
    if (url.isLocalFile()) {
        const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (!query.isEmpty()) {
            const QString type = QMimeDatabase().mimeTypeForFile(url.toLocalFile()).name();
            QProcess ask;
            ask.start(query, {QStringLiteral("query"), QStringLiteral("default"), type});
            if (ask.waitForFinished(10000) && ask.exitStatus() == QProcess::NormalExit && ask.exitCode() == 0
                && ask.readAllStandardOutput().trimmed().isEmpty())
                return false;
        }
    }
#endif
    return QDesktopServices::openUrl(url);
}

void Shell::setOpener(Opener replacement) { opener() = std::move(replacement); }

} // namespace app
