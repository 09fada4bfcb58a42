#pragma once

// PNG files of 32-bit 0xAARRGGBB pixels, through libpng where the library
// was built with it (QZ_HAVE_PNG); without it both report failure. Nothing
// is printed: libpng's or the system's reason is returned, one line without
// the file's name (the caller names it as it tells it).

#include <cstdint>
#include <cstdio>
#include <string>

struct qz_image;

namespace qz {

// Writes width x height pixels (rows `pitch` bytes apart) as an RGBA PNG,
// alpha kept. Empty on success, else why not.
std::string write_png(const char* path, const std::uint8_t* pixels, int width, int height, int pitch);

struct PngImage {
  qz_image* image = nullptr;  // the caller's to free; null on failure
  std::string error;          // why not; empty on success
};
// Reads any PNG (palette, grey, 16-bit channels included) into a new 4-byte
// image, at most QZ_IMAGE_MAX_PIXELS, decoding straight into its rows. Only
// regular files are opened for reading: a FIFO nobody writes would block.
PngImage read_png(const char* path);
// The same from a stream open for reading (a file, or memory).
PngImage read_png(std::FILE* file);

}  // namespace qz
