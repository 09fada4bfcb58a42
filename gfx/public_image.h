#pragma once

// What a qz_image is behind the public header's forward declaration: owned
// memory holding a long image header and the rows, named by an ImageRef so
// that every internal operation takes it as it takes any image.

#include <cstdint>

#include "gfx/image.h"

struct qz_image {
  qz::ImageRef ref;  // the header and the rows below it
  int width = 0;
  int height = 0;
  int bytes_per_pixel = 0;
  int pitch = 0;
  std::uint8_t* pixels = nullptr;  // first row, 16-byte aligned
};

namespace qz {

// The internal target of a public one: null stays null, the screen.
inline const ImageRef* image_ref(const qz_image* image) { return image ? &image->ref : nullptr; }

}  // namespace qz
