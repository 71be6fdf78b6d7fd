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

} // namespace ui
