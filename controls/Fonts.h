#pragma once
// The fonts the windows and the printed forms name (宋体, MS Sans Serif,
// Tahoma, 楷体_GB2312, 华文新魏) mapped once, here, to faces this system has
// that render Chinese text.
namespace ui {

void installFontSubstitutions();

} // namespace ui
