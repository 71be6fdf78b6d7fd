#pragma once
// The look every window of the programs shares: the skin (风格/Main.skn, a
// Qt style sheet) and the default face.

namespace ui {

// The skin file, when it exists, becomes the application's style sheet; a
// missing or unreadable file leaves the plain look, silently (and takes away
// a skin this function applied before). False without a skin.
bool applySkin();

// The application's default face: the one every widget without a font of
// its own takes (menus, message boxes, controls restyled by the skin). The
// windows' own face, MS Sans Serif, at the platform's usual size; the font
// substitutions map it to a face that has Chinese glyphs, where the
// platform's default ("Sans Serif") may have none and leave the Chinese to
// whatever fallback face the system picks. Call after
// installFontSubstitutions() and before the first window.
void installDefaultFont();

// The application's style: the platform's own, except that the arrows a
// menu bar or tool bar shows when its items do not fit are read only when
// one is drawn. Qt reads them, for every menu bar made, from image files of
// no named format, which loads every image format plugin of the system; the
// programs' menu bars always fit. Call before the first window.
void installStyle();

// Loads the system's image format plugins on another thread. The standard
// icons the windows show (the print preview's buttons, the message boxes'
// icons) are read from files of no named format, which loads every plugin
// the first time; a program calls this once its window is shown, so that
// its first such window does not wait for them.
void loadImageFormatsInBackground();

} // namespace ui
