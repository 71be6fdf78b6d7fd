#pragma once
// How a control tells the user that it did not take what was typed as it
// was: the system's warning sound and a short note beside the control.
#include <QString>

#include <functional>

class QWidget;

namespace ui::feedback {

// Sounds the warning and shows text under `where` for a few seconds.
void warn(QWidget *where, const QString &text);

// Test seam: the sound is replaced by the hook (an empty function restores
// it); the note is shown all the same.
void setSoundHook(std::function<void()> hook);

} // namespace ui::feedback
