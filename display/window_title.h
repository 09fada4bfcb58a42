#pragma once

#include <string>
#include <string_view>

namespace qz {

// The process-wide window title: 128 bytes, at most 127 of text. It survives
// mode changes; a title set before the first mode set names the first window.
void gfx_window_title(std::string_view title);

// The current title, or null when none has been set or derived yet.
const char* window_title();

// Derives the default title from the executable's file name (the name after
// the last '/', cut at the last '.') unless a title exists already.
void ensure_default_window_title();

// Title bytes as Unicode for a window system: under the user's locale when
// they are valid there, otherwise byte by byte as Latin-1.
std::u32string title_characters(const std::string& title);
std::string utf8_of(const std::u32string& text);

}  // namespace qz
