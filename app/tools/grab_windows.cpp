// Grabs the main window, the About window and the others to PNG, with and
// without the skin, plus the right-click menu of a numeric edit and the print
// dialog, for looking at them: pdeclare-grab-windows <program dir> <out dir>.
// Runs offscreen; message boxes are recorded, not shown.
#include "controls/Skin.h"
#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "backup/UnitBackUpDBF.h"
#include "check/UnitCheck.h"
#include "entry/UnitInData.h"
#include "print/UnitPrint.h"
#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "controls/Translations.h"
#include "store/Paths.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>

#include <cstdio>

namespace {

void grab(QWidget *w, const QString &path)
{
    w->show();
    QApplication::processEvents();
    w->grab().save(path);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: pdeclare-grab-windows <program dir> <out dir>\n");
        return 2;
    }
    ui::installQtTranslations();
    ui::installFontSubstitutions();
    ui::installDefaultFont();
    ui::MessageBox::setTestMode(true);
    store::paths::setProgramDir(QString::fromLocal8Bit(argv[1]));
    const QString out = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    const QString skin = store::paths::skinFile();
    const QString hidden = skin + QStringLiteral(".off");

    for (const bool skinned : {false, true}) {
        if (!skinned)
            QFile::rename(skin, hidden);
        auto *main = new TfrmMain;
        if (!skinned)
            QFile::rename(hidden, skin);
        const QString suffix = skinned ? QStringLiteral("-skin.png") : QStringLiteral("-plain.png");
        grab(main, out + QStringLiteral("main") + suffix);
        // The help menu opened, drawn on its own.
        QMenu *help = main->findChild<QMenu *>(QStringLiteral("N12"));
        help->popup(main->mapToGlobal(QPoint(0, 0)));
        QApplication::processEvents();
        help->grab().save(out + QStringLiteral("menu") + suffix);
        help->hide();
        auto *about = new TfrmAbout(main);
        grab(about, out + QStringLiteral("about") + suffix);
        about->close();
        // The other windows, to see the skin on them.
        const auto other = [&](QWidget *w, const char *name) {
            grab(w, out + QLatin1String(name) + suffix);
            w->close();
        };
        auto *entry = new TfrmInData(main);
        grab(entry, out + QStringLiteral("entry") + suffix);
        if (auto *edit = entry->findChild<ui::TDBNumberEdit *>()) {
            QMenu *menu = edit->createStandardContextMenu();
            menu->popup(edit->mapToGlobal(QPoint(4, 4)));
            QApplication::processEvents();
            menu->grab().save(out + QStringLiteral("edit-menu") + suffix);
            delete menu;
        }
        entry->close();
        other(new TfrmCheck(main), "check");
        other(new TfrmBackUpDBF(main), "backup");
        other(new TfrmPrint(main), "print");
        QPrinter printer;
        auto *dialog = new QPrintDialog(&printer, main); // goes with the main window
        grab(dialog, out + QStringLiteral("print-dialog") + suffix);
        dialog->hide();
        main->close();
        QApplication::processEvents();
    }
    for (const ui::ShownBox &box : ui::MessageBox::shown())
        std::fprintf(stderr, "box: %s\n", box.text.toLocal8Bit().constData());
    return 0;
}
