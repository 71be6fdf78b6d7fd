// Program entry: the main window is the only window created at start-up.
// No argument is read; every path is built from the program's directory.
#include "app/DefaultFont.h"
#include "app/UnitMain.h"
#include "controls/Fonts.h"
#include "controls/Translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    ui::installQtTranslations();
    ui::installFontSubstitutions();
    app::installDefaultFont();
    auto *main = new TfrmMain; // frees itself when closed
    main->show();
    return application.exec();
}
