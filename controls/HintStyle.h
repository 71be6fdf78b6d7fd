#pragma once
// How tooltips (the original's "hints") are presented once the data-entry
// window has switched its style on: they appear as soon as the pointer
// enters a control that has one, on a yellow ground, and stay while the
// pointer rests (10,000,000 ms); moving from one hinted control to another
// while a hint is up shows the next one after 100 ms. The style is
// application-wide and stays for the rest of the run once activated.
class QWidget;

namespace ui::hintstyle {

constexpr int kInitialPauseMs = 0;
constexpr int kShortPauseMs = 100;
constexpr int kHidePauseMs = 10000000;

void activate();
bool isActive();

} // namespace ui::hintstyle
