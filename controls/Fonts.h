#pragma once
// The fonts the windows and the printed forms name (宋体, MS Sans Serif,
// Tahoma, 楷体_GB2312, 华文新魏) mapped once, here, to faces this system has
// that render Chinese text.
#include <QString>

namespace ui {

// Also registers the printing face behind 宋体 (printSerifFamily()): the
// system's Noto Serif CJK SC with a character map whose glyphs each stand
// for one ideograph, so that PDFs extract exactly the text drawn. Safe to
// call more than once.
void installFontSubstitutions();
QString printSerifFamily();

} // namespace ui
