#pragma once
// Small pieces every window of the program uses the same way.
#include <QString>

#include <exception>
#include <memory>

class QSettings;
class QWidget;

namespace ui {

// The message a user sees for an exception a window command caught (the
// same as store::errorText).
QString errorText(const std::exception &e);

// The busy (hourglass) cursor over the whole application for as long as the
// guard lives: whatever path a command takes, its cursor is switched back
// exactly once. Guards nest.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// Enter (or the number pad's Enter) on a focused push or tool button of
// window presses it, as Space does: the keyboard works as on Windows.
void enterPressesFocusedButton(QWidget *window);

// Places a window in the centre of the screen (not of its owner).
void centreOnScreen(QWidget *window);

// The program's own per-user settings (what the windows remember between
// runs, such as the folder of the last backup), in the user's configuration
// folder: PDeclare/PDeclare.conf.
std::unique_ptr<QSettings> programSettings();

} // namespace ui
