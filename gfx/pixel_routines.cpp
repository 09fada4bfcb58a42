#include "gfx/pixel_routines.h"

#include <algorithm>
#include <cstring>

#include "display/screen_mode.h"
#include "gfx/context.h"

namespace {

bool mode_blends() {
  const ScreenMode* mode = current_mode();
  return mode && (mode->flags & kBehaviourAlphaBlend);
}

template <typename Pixel>
void put_solid(GfxContext& ctx, int x, int y, std::uint32_t colour) {
  Pixel value = static_cast<Pixel>(colour);
  std::memcpy(ctx.pixel_address(x, y), &value, sizeof(Pixel));
}

template <typename Pixel>
std::uint32_t read_pixel(const GfxContext& ctx, int x, int y) {
  Pixel value;
  std::memcpy(&value, ctx.pixel_address(x, y), sizeof(Pixel));
  return value;
}

template <typename Pixel>
void span_solid(std::uint8_t* row, std::uint32_t colour, int count) {
  if (count <= 0) return;
  // Rows of every target are pixel-aligned, so the cast is safe; the plain
  // loop lets the compiler emit wide stores.
  std::fill_n(reinterpret_cast<Pixel*>(row), count, static_cast<Pixel>(colour));
}

template <typename Pixel>
void copy_pixels(std::uint8_t* dest, const std::uint8_t* src, int count) {
  if (count > 0) std::memmove(dest, src, static_cast<std::size_t>(count) * sizeof(Pixel));
}

void put_blend32(GfxContext& ctx, int x, int y, std::uint32_t colour) {
  auto* p = reinterpret_cast<std::uint32_t*>(ctx.pixel_address(x, y));
  *p = mode_blends() ? blend_pixel(colour, *p) : colour;
}

void span_blend32(std::uint8_t* row, std::uint32_t colour, int count) {
  if (!mode_blends()) {
    span_solid<std::uint32_t>(row, colour, count);
    return;
  }
  auto* p = reinterpret_cast<std::uint32_t*>(row);
  for (int i = 0; i < count; ++i) p[i] = blend_pixel(colour, p[i]);
}

constexpr PixelRoutines kRoutines8 = {put_solid<std::uint8_t>,  put_solid<std::uint8_t>,
                                      span_solid<std::uint8_t>, span_solid<std::uint8_t>,
                                      read_pixel<std::uint8_t>, copy_pixels<std::uint8_t>};
constexpr PixelRoutines kRoutines16 = {put_solid<std::uint16_t>,  put_solid<std::uint16_t>,
                                       span_solid<std::uint16_t>, span_solid<std::uint16_t>,
                                       read_pixel<std::uint16_t>, copy_pixels<std::uint16_t>};
constexpr PixelRoutines kRoutines32 = {put_solid<std::uint32_t>,  put_blend32,
                                       span_solid<std::uint32_t>, span_blend32,
                                       read_pixel<std::uint32_t>, copy_pixels<std::uint32_t>};

}  // namespace

const PixelRoutines& pixel_routines(int bytes_per_pixel) {
  switch (bytes_per_pixel) {
    case 2: return kRoutines16;
    case 4: return kRoutines32;
    default: return kRoutines8;
  }
}
