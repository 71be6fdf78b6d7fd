#pragma once
// Small pieces every window of the program uses the same way.
#include <QString>

#include <exception>
#include <memory>

class QSettings;
class QWidget;

namespace ui {

// The message a user sees for an exception a window command caught: the
// store's own message, or the exception's text.
QString errorText(const std::exception &e);

// Places a window in the centre of the screen (not of its owner).
void centreOnScreen(QWidget *window);

// The program's own per-user settings (what the windows remember between
// runs, such as the folder of the last backup), in the user's configuration
// folder: PDeclare/PDeclare.conf.
std::unique_ptr<QSettings> programSettings();

} // namespace ui
