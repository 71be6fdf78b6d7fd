#pragma once
// The one seam through which every message box of the program is shown.
// In normal use it shows a modal QMessageBox. In test mode it shows nothing:
// it records the box, calls the hook (if any) and returns the next queued
// answer (Ok for an OK box, No for a Yes/No box, Cancel for a Yes/No/Cancel
// box when nothing is queued), so
// that no test ever hangs on a modal box.
#include "controls/Message.h"

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace ui {

struct ShownBox {
    QString ownerName; // objectName of the owner window, empty when none
    QString text;
    QString caption;
    Icon icon;
    Buttons buttons;
};

class MessageBox {
public:
    static Answer show(QWidget *owner, const QString &text, const QString &caption, Icon icon,
                       Buttons buttons = Buttons::Ok);
    // The application's standard error box: error icon, application title.
    static void showStandardError(QWidget *owner, const QString &text);
    // The plain message box: application title, no icon, OK.
    static void showPlain(QWidget *owner, const QString &text);
    // The plain message box shown while the user may be typing ahead in the
    // owner window: it returns when closed, and meanwhile the owner window
    // takes no clicks and hands every key to the box in the order typed,
    // including keys typed before the box had the keyboard.
    static void showPrompt(QWidget *owner, const QString &text);

    // Test seam.
    static void setTestMode(bool on);
    static bool testMode();
    static void queueAnswer(Answer answer);
    static void setHook(std::function<void(const ShownBox &)> hook);
    static const std::vector<ShownBox> &shown();
    static void clearShown();
};

// The application title, derived from the program file's name: the name
// without its directory, cut at its first point, every character after the
// first in lower case ("PDeclare" gives "Pdeclare").
QString applicationTitle();
QString applicationTitleFor(const QString &programFilePath);

} // namespace ui
