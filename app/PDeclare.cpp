// Program entry: the main window is the only window created at start-up.
// No argument is read; every path is built from the program's directory.
#include "controls/Skin.h"
#include "app/Instance.h"
#include "app/UnitMain.h"
#include "controls/Fonts.h"
#include "controls/Translations.h"
#include "controls/MessageBox.h"
#include "store/FileIo.h"
#include "store/Paths.h"
#include "store/Startup.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

namespace {

int runProgram(int argc, char *argv[])
{
    // Loaded while the program connects to the display.
    ui::loadSystemFontsInBackground();
    QApplication application(argc, argv);
    // The windows' class and the desktop entry carry the same name, so that
    // the desktop shows the program's entry and icon for its windows.
    QApplication::setApplicationName(QString::fromLatin1(app::kDesktopId));
    QApplication::setDesktopFileName(QString::fromLatin1(app::kDesktopId));
    ui::installQtTranslations();
    ui::installFontSubstitutions();
    ui::installDefaultFont();
    ui::installStyle();
    // One program per program directory: two would write the same tables.
    // The user's own folder may not exist before the first start.
    QDir().mkpath(store::paths::programDir());
    bool held = false;
    try {
        held = store::fileio::holdInstanceLock(store::paths::programDir() + QStringLiteral(".pdeclare.lock"));
    } catch (const store::Error &e) {
        // The lock file cannot be used (a folder, not writable): whether
        // another program runs is unknown, so this one does not start.
        ui::MessageBox::show(nullptr, e.message(), ui::applicationTitle(), ui::Icon::Error);
        return 1;
    }
    if (!held) {
        app::askRunningProgramToRaise(store::paths::programDir());
        ui::MessageBox::show(nullptr,
                             QStringLiteral("程序已经在这个目录中打开：%1\n已把打开的窗口调到最前面，请使用那个窗口。")
                                 .arg(QDir::toNativeSeparators(store::paths::programDir())),
                             ui::applicationTitle(), ui::Icon::Information);
        return 1;
    }
    // What the file layer tells without stopping the work (a change record
    // that did not fit its table) is shown once the current step is over,
    // not while that step holds a table locked.
    store::fileio::setNoticeHandler([](const QString &text) {
        QMetaObject::invokeMethod(
            qApp,
            [text] { ui::MessageBox::show(QApplication::activeWindow(), text, QStringLiteral("提示"), ui::Icon::Warning); },
            Qt::QueuedConnection);
    });
    auto *main = new TfrmMain; // frees itself when closed
    app::raiseOnRequest(store::paths::programDir(), &application);
    main->show();
    // The image format plugins the first preview or message box needs are
    // loaded once the window is up.
    QTimer::singleShot(0, [] { ui::loadImageFormatsInBackground(); });
    // The printing face is made on another thread once the window is up,
    // ready before the first print preview.
    QTimer::singleShot(500, [] { ui::preparePrintFaceInBackground(); });
    return application.exec();
}

} // namespace

int main(int argc, char *argv[]) { return store::startup::finish(runProgram(argc, argv)); }
