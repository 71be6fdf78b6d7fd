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

void raiseFrontWindow()
{
    QWidget *front = QApplication::activeModalWidget();
    if (!front) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->parentWidget() && w->inherits("QMainWindow"))
                front = w;
    }
    if (!front)
        return;
    QWidget *top = front->window();
    // The owner first, so that a dialog comes up together with its window.
    if (QWidget *owner = top->parentWidget() ? top->parentWidget()->window() : nullptr) {
        if (owner->isMinimized())
            owner->showNormal();
        owner->raise();
    }
    if (top->isMinimized())
        top->showNormal();
    top->raise();
    top->activateWindow();
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
