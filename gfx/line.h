#pragma once

#include <cstdint>

#include "gfx/image.h"

namespace qz {

enum LineKind : std::int32_t { kLine = 0, kBoxOutline = 1, kBoxFilled = 2 };

// A line, a box outline or a filled box between two points, with a 16-bit
// dash style (bit 15 governs the first pixel). Coordinate kind in flags
// bits 0-3, foreground on bit 31.
void gfx_line(const ImageRef* target, float x1, float y1, float x2, float y2, std::uint32_t colour,
              std::int32_t kind, std::uint32_t style, std::int32_t flags);

}  // namespace qz
