#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qz {

// Images are drawing targets (and image fonts) other than the screen: a
// header followed by pixel rows. Two header layouts exist:
//   32 bytes: uint32 7, bytes per pixel, width, height, pitch, reserved words;
//    4 bytes: uint16 (width in bits 3-15; bits 0-2 are not read: the pixels
//             have the screen's size), uint16 height; pitch = width * that size.
// An ImageRef names the caller's memory together with its size, so that a
// header that claims more rows than the memory holds is refused instead of
// being drawn past the end.
struct ImageRef {
  std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
};

constexpr std::uint32_t kImageHeaderMagic = 7;
constexpr int kLongImageHeader = 32;
constexpr int kShortImageHeader = 4;

struct ImageInfo {
  int bytes_per_pixel = 0;
  int width = 0;
  int height = 0;
  int pitch = 0;
  bool long_header = false;
  std::uint8_t* pixels = nullptr;
};

// Reads and checks an image header; `screen_bytes_per_pixel` fills a short
// header's 0. Null when the header is malformed or the rows do not fit.
std::optional<ImageInfo> read_image_header(const ImageRef& image, int screen_bytes_per_pixel);

// Writes a long header for an image of the given size; the caller's memory
// must hold kLongImageHeader + height * width * bytes_per_pixel bytes.
void write_image_header(std::uint8_t* bytes, int bytes_per_pixel, int width, int height);

}  // namespace qz
