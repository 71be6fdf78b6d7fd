#pragma once
// Small pieces every window of the program uses the same way.
#include <QString>

#include <exception>

class QWidget;

namespace ui {

// The message a user sees for an exception a window command caught: the
// store's own message, or the exception's text.
QString errorText(const std::exception &e);

// Places a window in the centre of the screen (not of its owner).
void centreOnScreen(QWidget *window);

} // namespace ui
