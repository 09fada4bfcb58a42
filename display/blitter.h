#pragma once

#include <cstdint>

namespace qz {

// Row conversion from the framebuffer's format into a window's. A Blitter
// walks every window row of the current mode, writes those whose framebuffer
// row is marked in dirty_rows (each framebuffer row fills scanline_size
// destination rows) and leaves the others as they were. The destination's
// first row belongs to framebuffer row 0.
using Blitter = void (*)(std::uint8_t* dest, std::int32_t dest_row_step);

enum class ChannelOrder { kStandard, kSwapped };

// 16-bit pixel p converts to low[p & 0xFF] | high[p >> 8].
struct ConversionTable {
  std::uint32_t low[256];
  std::uint32_t high[256];
};
ConversionTable& conversion_table();

// Fills conversion_table for the order and returns the routine from the
// current mode's depth to `dest_depth` (8, 15, 16, 24 or 32), or null when
// the pair has none (or there is no mode).
Blitter select_blitter(int dest_depth, ChannelOrder order);

// The 32-bit layered copy: marked rows with the top byte of every pixel cleared.
void blit_layered_copy(std::uint8_t* dest, std::int32_t dest_row_step);

}  // namespace qz
