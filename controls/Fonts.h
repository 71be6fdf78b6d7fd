#pragma once
// The fonts the windows and the printed forms name (宋体, MS Sans Serif,
// Tahoma, 楷体_GB2312, 华文新魏) mapped once, here, to faces this system has
// that render Chinese text.
#include <QString>

namespace ui {

// Forms drawn in 宋体 are drawn with the printing face (printSerifFamily()):
// the system's 宋体 or Noto Serif CJK SC with a character map whose glyphs
// each stand for one ideograph, so that PDFs extract exactly the text drawn.
// It is made when the first form is laid out. Safe to call more than once.
void installFontSubstitutions();
QString printSerifFamily();
// Starts making the printing face on another thread (a program calls it once
// its window is shown, so that the first print preview does not wait).
void preparePrintFaceInBackground();

// Starts loading the system's font configuration and font lists on another
// thread (fontconfig; nothing on Windows). A program calls it first thing,
// so that the loading goes on while it connects to the display; the first
// window then finds the fonts listed instead of listing them itself.
// installFontSubstitutions() waits until the loading is over.
void loadSystemFontsInBackground();

} // namespace ui
