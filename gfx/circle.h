#pragma once

#include <bit>
#include <cstdint>

#include "gfx/image.h"

namespace qz {

// The end angle callers pass when they give none: one step above the float
// nearest to 2*pi, compared bit for bit. With start 0 it asks for a whole
// ellipse.
inline const float kFullTurn = std::bit_cast<float>(0x40C90FDCu);

// A circle or axis-aligned ellipse (outline or filled), or an arc whose
// negative angles add radius lines. Aspect 0 takes the mode's aspect.
void gfx_circle(const ImageRef* target, float x, float y, float radius, std::uint32_t colour, float aspect,
                float start, float end, std::int32_t fill, std::int32_t flags);

}  // namespace qz
