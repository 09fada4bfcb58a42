#include "tests/support/canvas.h"

#include <cstdlib>

#include "display/screen_mode.h"

using namespace qz;

void set_null_mode(int width, int height, int depth) {
  setenv("QZGFX", "null", 1);
  gfx_screen_res(width, height, depth, 1, 0, 0);
}

Canvas::Canvas(int w, int h, int bytes_per_pixel, std::uint32_t fill)
    : width(w), height(h), bpp(bytes_per_pixel), background(fill),
      bytes(std::size_t(kLongImageHeader) + std::size_t(w) * h * bytes_per_pixel) {
  write_image_header(bytes.data(), bpp, w, h);
  image = {bytes.data(), bytes.size()};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set(x, y, fill);
}

std::uint32_t Canvas::at(int x, int y) const {
  std::uint32_t v = 0;
  std::memcpy(&v, bytes.data() + kLongImageHeader + (std::size_t(y) * width + x) * bpp, std::size_t(bpp));
  return v;
}

void Canvas::set(int x, int y, std::uint32_t value) {
  std::memcpy(bytes.data() + kLongImageHeader + (std::size_t(y) * width + x) * bpp, &value, std::size_t(bpp));
}

std::set<std::pair<int, int>> Canvas::drawn() const {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (at(x, y) != background) out.insert({x, y});
  return out;
}
