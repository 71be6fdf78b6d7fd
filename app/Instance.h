#pragma once
// One PDeclare per program directory, and a second start that brings the
// first one's window to the front: the second program leaves a request file
// in the program directory, which the first one watches for.
#include <QString>

class QObject;

namespace app {

// The desktop's name for this program: its desktop entry's id, which the
// window system also gets as the windows' class.
inline constexpr const char *kDesktopId = "cn.orvandel.PDeclare";

// Asks the program that holds programDir to show its window in front.
void askRunningProgramToRaise(const QString &programDir);

// Watches programDir for that request, for as long as owner lives: the
// window in front of this program (a dialog over the main window, or the
// main window) is restored if minimised, raised and activated.
void raiseOnRequest(const QString &programDir, QObject *owner);

} // namespace app
