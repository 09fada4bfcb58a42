#pragma once

#include <cstdint>

namespace qz {

struct GfxContext;

using PutPixelFn = void (*)(GfxContext& ctx, int x, int y, std::uint32_t colour);
using GetPixelFn = std::uint32_t (*)(const GfxContext& ctx, int x, int y);
using FillSpanFn = void (*)(std::uint8_t* row_address, std::uint32_t colour, int count);
using CopyPixelsFn = void (*)(std::uint8_t* dest, const std::uint8_t* src, int count);

// The pixel routines for one pixel size. The blend forms blend only at 4 bytes
// per pixel and only when the current mode asks for alpha blending.
struct PixelRoutines {
  PutPixelFn put_solid;
  PutPixelFn put_blend;
  FillSpanFn span_solid;
  FillSpanFn span_blend;
  GetPixelFn read_pixel;
  CopyPixelsFn copy_pixels;
};

// Routines for 1, 2 or 4 bytes per pixel (any other value gets the 1-byte set).
const PixelRoutines& pixel_routines(int bytes_per_pixel);

// Source-over blend of s onto d by s's alpha; the result takes s's alpha.
constexpr std::uint32_t blend_pixel(std::uint32_t s, std::uint32_t d) {
  std::uint32_t a = s >> 24;
  std::uint32_t rb = ((d & 0xFF00FFu) + ((((s & 0xFF00FFu) - (d & 0xFF00FFu)) * a) >> 8)) & 0xFF00FFu;
  std::uint32_t g = ((d & 0xFF00u) + ((((s & 0xFF00u) - (d & 0xFF00u)) * a) >> 8)) & 0xFF00u;
  return rb | g | (s & 0xFF000000u);
}

}  // namespace qz
