#include "controls/Feedback.h"

#include <QApplication>
#include <QToolTip>
#include <QWidget>

namespace ui::feedback {

namespace {
std::function<void()> &soundHook()
{
    static std::function<void()> hook;
    return hook;
}
constexpr int kNoteMs = 3000;
} // namespace

void warn(QWidget *where, const QString &text)
{
    if (soundHook())
        soundHook()();
    else
        QApplication::beep();
    if (where && where->isVisible())
        QToolTip::showText(where->mapToGlobal(QPoint(0, where->height())), text, where, QRect(), kNoteMs);
}

void setSoundHook(std::function<void()> hook) { soundHook() = std::move(hook); }

} // namespace ui::feedback
