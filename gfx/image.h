#pragma once

#include <cstdint>

// Images are drawing targets (and image fonts) other than the screen: a
// header followed by pixel rows. Two header layouts exist:
//   32 bytes: uint32 7, bytes per pixel, width, height, pitch, reserved words;
//    4 bytes: uint16 (bytes per pixel in bits 0-2, 0 = the screen's; width in
//             bits 3-15), uint16 height; pitch = width * bytes per pixel.
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

// Reads an image header; `screen_bytes_per_pixel` fills a short header's 0.
ImageInfo read_image_header(void* image, int screen_bytes_per_pixel);
