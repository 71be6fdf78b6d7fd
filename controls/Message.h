#pragma once
// The kinds of a message shown to the user: its icon, its buttons and the
// answer. Routines without windows (backup, upload) name a message by these;
// the window that hosts them shows it through ui::MessageBox.

namespace ui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

} // namespace ui
