#pragma once

// How large a window shows its picture: the program's choice (1 until it
// asks for another; 0 = auto), which QZGFX_SCALE overrides for one run so
// that anyone can scale a program without rebuilding it.

#include <string>

namespace qz {

// 0 (auto) or 1..8; the public layer refuses other values.
void set_window_scale(int scale);

// The scale for a window opening now, the variable read afresh; a variable
// that names no scale leaves the program's choice.
int window_scale_for_open();
// Why the variable is of no use, or "" when it is unset or names a scale.
std::string window_scale_note();

}  // namespace qz
