#include "gfx/image.h"

#include <cstring>

namespace qz {

namespace {
std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
std::uint16_t load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
bool valid_pixel_size(std::uint32_t bpp) { return bpp == 1 || bpp == 2 || bpp == 4; }
}  // namespace

std::optional<ImageInfo> read_image_header(const ImageRef& image, int screen_bytes_per_pixel) {
  if (!image.bytes || image.size < kShortImageHeader) return std::nullopt;
  ImageInfo info;
  std::uint64_t width, height, pitch, header;
  std::uint32_t bpp;
  if (image.size >= kLongImageHeader && load32(image.bytes) == kImageHeaderMagic) {
    bpp = load32(image.bytes + 4);
    width = load32(image.bytes + 8);
    height = load32(image.bytes + 12);
    pitch = load32(image.bytes + 16);
    header = kLongImageHeader;
    info.long_header = true;
  } else {
    // A short header's pixels have the screen's size, whatever its low
    // three bits say.
    std::uint16_t first = load16(image.bytes);
    bpp = static_cast<std::uint32_t>(screen_bytes_per_pixel);
    width = first >> 3;
    height = load16(image.bytes + 2);
    pitch = width * bpp;
    header = kShortImageHeader;
  }
  if (!valid_pixel_size(bpp) || width == 0 || height == 0) return std::nullopt;
  if (width > 0xFFFF || height > 0xFFFF || pitch < width * bpp || pitch > 0x7FFFFFFF) return std::nullopt;
  // The last row needs only its own pixels, not a whole pitch.
  if (header + (height - 1) * pitch + width * bpp > image.size) return std::nullopt;
  info.bytes_per_pixel = static_cast<int>(bpp);
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  info.pitch = static_cast<int>(pitch);
  info.pixels = image.bytes + header;
  return info;
}

void write_image_header(std::uint8_t* bytes, int bytes_per_pixel, int width, int height) {
  std::uint32_t words[8] = {kImageHeaderMagic, static_cast<std::uint32_t>(bytes_per_pixel),
                            static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                            static_cast<std::uint32_t>(width * bytes_per_pixel), 0, 0, 0};
  std::memcpy(bytes, words, sizeof words);
}

}  // namespace qz
