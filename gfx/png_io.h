#pragma once

// PNG files of 32-bit 0xAARRGGBB pixels, through libpng where the library
// was built with it (QZ_HAVE_PNG); without it both report failure.

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

// Writes width x height pixels (rows `pitch` bytes apart) as an RGBA PNG,
// alpha kept. Empty on success, else why not.
std::string write_png(const char* path, const std::uint8_t* pixels, int width, int height, int pitch);

struct PngPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, row after row
  std::string error;                  // empty on success
};
// Reads any PNG (palette, grey, 16-bit channels included) as 32-bit pixels.
PngPixels read_png(const char* path);

}  // namespace qz
