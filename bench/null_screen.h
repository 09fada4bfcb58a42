#pragma once

#include <cstddef>
#include <cstdint>

// The benchmark's drawing surface: the 1680 x 1050 x 32 screen of the Null
// driver, whose rows are contiguous (pitch 6720), so the peers can draw on the
// very same memory.

constexpr std::size_t kFrameBytes = std::size_t{1680} * 1050 * 4;  // 7,056,000

// Sets the mode unless the current one already is that screen (another
// benchmark may have set or closed it) and returns its visible page.
std::uint8_t* null_screen();

// Fills the whole frame with the canvas colour.
void reset_canvas(std::uint8_t* frame);
