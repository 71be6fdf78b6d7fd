#include "app/Instance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace app {

namespace {

QString requestFile(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral(".pdeclare.raise"));
}

// The main window, then each window shown over it (a menu window, a box
// or prompt over that), in that order, so that the one in front stays in
// front; the last one gets the keyboard.
void raiseFrontWindow()
{
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->parentWidget() && w->inherits("QMainWindow"))
            window = w;
    if (!window)
        window = QApplication::activeModalWidget();
    QWidget *last = nullptr;
    while (window) {
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        last = window;
        QWidget *over = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != window && w->isVisible() && w->parentWidget() && w->parentWidget()->window() == window
                && (!over || w->isModal()))
                over = w;
        window = over;
    }
    if (last)
        last->activateWindow();
}

} // namespace

void askRunningProgramToRaise(const QString &programDir)
{
#ifdef Q_OS_WIN
    // The program the user just started may hand the foreground on.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    QFile request(requestFile(programDir));
    if (request.open(QIODevice::WriteOnly | QIODevice::Truncate))
        request.write(QByteArray::number(QApplication::applicationPid()));
}

void raiseOnRequest(const QString &programDir, QObject *owner)
{
    const QString file = requestFile(programDir);
    QFile::remove(file); // a request left from before this start
    auto *watcher = new QFileSystemWatcher(QStringList{QDir(programDir).absolutePath()}, owner);
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, [file] {
        if (!QFile::exists(file))
            return;
        QFile::remove(file);
        raiseFrontWindow();
    });
}

} // namespace app
