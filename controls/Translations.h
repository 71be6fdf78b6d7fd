#pragma once
// Qt's own texts (context menus of edits, standard dialog buttons, the print
// dialog) in Chinese, from the translations the system's Qt ships.
namespace ui {

// Loads qtbase's translation for the user's locale when that locale is a
// Chinese one (zh_TW gets traditional characters), else the Simplified
// Chinese one: the program's own texts are Simplified Chinese, and a window
// whose menus speak another language than its labels helps nobody. Returns
// false when no translation could be loaded (Qt's English texts remain).
bool installQtTranslations();

} // namespace ui
