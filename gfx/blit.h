#pragma once

#include <cstdint>

#include "gfx/image.h"

namespace qz {

// Copies the w x h pixels at (sx, sy) of `source` to (x, y) of `target`,
// clipped to both; null on either side is the screen's page the calling
// thread draws on. With `use_key`, source pixels equal to `key` (a pixel
// value of their size) are left out. w or h below 1 take the whole source.
// Both sides need the same bytes per pixel. Returns why nothing could be
// copied, or null (also for nothing to copy: a side outside, no screen).
// Pixel coordinates of the target: the view and the coordinate window of the
// context do not apply.
const char* gfx_blit(const ImageRef* target, int x, int y, const ImageRef* source, int sx, int sy, int w, int h,
                     bool use_key, std::uint32_t key);

}  // namespace qz
