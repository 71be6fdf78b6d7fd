// The monitoring centre's program. An optional argument names the database
// to open at start (an SQLite file or a postgresql:// URI); without one the
// database opened last is opened again when it is still there.
#include "controls/Skin.h"
#include "centre/gui/UnitCentre.h"
#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "controls/Translations.h"
#include "store/Startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

namespace {

int runCentre(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("PDeclare"));
    QApplication::setApplicationName(QStringLiteral("PDeclareCentre"));
    ui::installFontSubstitutions();
    // Qt's own dialogs (file choosers, input boxes) in Chinese too.
    ui::installQtTranslations();
    ui::installDefaultFont();
    ui::applySkin();
    // The program folder's start (the delivered tables the checks compare
    // with); the hospital's working table and findings are not the centre's.
    const QStringList problems = store::startup::run(store::startup::kFolderOnly);

    CentreWindow window;
    window.show();
    for (const QString &problem : problems)
        ui::MessageBox::showStandardError(&window, problem);
    QSettings settings;
    const QStringList args = QApplication::arguments();
    QString name = args.size() > 1 ? args.at(1) : settings.value(QStringLiteral("database")).toString();
    if (args.size() <= 1 && !name.isEmpty() && !name.contains(QLatin1String("://")) && !QFileInfo::exists(name))
        name.clear(); // a file removed since: start without one rather than create it again
    if (!name.isEmpty())
        window.openDatabase(name);
    QObject::connect(&application, &QApplication::aboutToQuit, [&window] {
        // A URI that carries a password is not written down.
        if (window.hasDatabase() && CentreWindow::shownName(window.databaseName()) == window.databaseName())
            QSettings().setValue(QStringLiteral("database"), window.databaseName());
    });
    return application.exec();
}

} // namespace

int main(int argc, char *argv[]) { return store::startup::finish(runCentre(argc, argv)); }
