#pragma once
// The application's default face: the one every widget without a font of its
// own takes (menus, message boxes, controls restyled by the skin). The
// windows' own face, MS Sans Serif, at the platform's usual size; the font
// substitutions map it to a face that has Chinese glyphs, where the
// platform's default ("Sans Serif") may have none and leave the Chinese to
// whatever fallback face the system picks.
namespace app {

// Call after ui::installFontSubstitutions() and before the first window.
void installDefaultFont();

} // namespace app
