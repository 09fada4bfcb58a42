#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "gfx/image.h"

// Sets a window-less mode of the given size (QZGFX=null).
void set_null_mode(int width = 320, int height = 200, int depth = 32);

// A small image target for contract tests: pixels start cleared to `fill`.
struct Canvas {
  Canvas(int width, int height, int bytes_per_pixel = 4, std::uint32_t fill = 0);
  const qz::ImageRef* target() const { return &image; }
  std::uint32_t at(int x, int y) const;
  void set(int x, int y, std::uint32_t value);
  // Every pixel that is not the background colour.
  std::set<std::pair<int, int>> drawn() const;

  int width, height, bpp;
  std::uint32_t background;
  std::vector<std::uint8_t> bytes;
  qz::ImageRef image;
};

using PixelSet = std::set<std::pair<int, int>>;
