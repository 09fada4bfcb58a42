#pragma once

#include <cstdint>
#include <string>

#include "gfx/image.h"

namespace qz {

enum PaintMode : std::int32_t { kPaintSolid = 0, kPaintPattern = 1 };
constexpr std::int32_t kPaintBorderIsFill = 0x40000000;

// Fills the 4-connected region around the seed that is bounded by the border
// colour, solidly or with an 8x8 tile taken from `pattern` (mode 1). The
// pattern string is taken by value: the call owns and releases it.
void gfx_paint(const ImageRef* target, float x, float y, std::uint32_t fill_colour,
               std::uint32_t border_colour, std::string pattern, std::int32_t mode,
               std::int32_t flags);

}  // namespace qz
