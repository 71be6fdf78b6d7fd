// Program entry: the main window is the only window created at start-up.
#include "app/UnitMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto *main = new TfrmMain;
    main->show();
    return app.exec();
}
