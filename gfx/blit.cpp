#include "gfx/blit.h"

#include <algorithm>
#include <cstring>

#include "gfx/raster_screen.h"
#include "gfx/context.h"
#include "gfx/screen_lock.h"

namespace qz {

namespace {

using i64 = std::int64_t;

struct Surface {
  std::uint8_t* pixels = nullptr;
  i64 width = 0, height = 0, pitch = 0;
  int bytes_per_pixel = 0;
};

// The screen side is the work page, found without selecting it as the
// context's target: a blit leaves the context as it was.
bool surface_of(const ImageRef* image, const RasterScreen* mode, Surface& out) {
  if (!image) {
    if (!mode) return false;
    const GfxContext& ctx = gfx_context();
    out = {mode->pages[std::size_t(ctx.work_page)], mode->width, mode->height, mode->pitch, mode->bytes_per_pixel};
    return true;
  }
  auto info = read_image_header(*image, raster_screen_bytes_per_pixel());
  if (!info) return false;
  out = {info->pixels, info->width, info->height, info->pitch, info->bytes_per_pixel};
  return true;
}

// A negative start on one side moves both sides' starts forward and
// shortens the run by as much.
void clip_start(i64& start, i64& other_start, i64& length) {
  if (start >= 0) return;
  other_start -= start;
  length += start;
  start = 0;
}

// Rows are walked upwards and pixels leftwards when the target overlaps the
// source further down or right, so that no source pixel is overwritten before
// it is read.
// `mask` picks the bits compared with the key.
template <typename Pixel>
void copy_keyed(std::uint8_t* dest, const std::uint8_t* src, i64 count, Pixel key, Pixel mask, bool backwards) {
  auto one = [&](i64 i) {
    Pixel v;
    std::memcpy(&v, src + i * i64(sizeof(Pixel)), sizeof v);
    if ((v & mask) != key) std::memcpy(dest + i * i64(sizeof(Pixel)), &v, sizeof v);
  };
  if (backwards) {
    for (i64 i = count - 1; i >= 0; --i) one(i);
  } else {
    for (i64 i = 0; i < count; ++i) one(i);
  }
}

}  // namespace

const char* gfx_blit(const ImageRef* target, int x, int y, const ImageRef* source, int sx, int sy, int w, int h,
                     bool use_key, std::uint32_t key) {
  // Image to image reads nothing of the screen, which another thread may be replacing.
  const RasterScreen* mode = target && source ? nullptr : current_screen();
  Surface dst, src;
  // Without a screen there is nothing to copy to or from it: quietly, as drawing.
  if ((!target || !source) && !mode) return nullptr;
  if (!surface_of(target, mode, dst) || !surface_of(source, mode, src)) return "blit: an image header is not valid";
  if (dst.bytes_per_pixel != src.bytes_per_pixel) return "blit: source and target have different bytes per pixel";

  i64 X = x, Y = y, SX = sx, SY = sy, W = w < 1 ? src.width : w, H = h < 1 ? src.height : h;
  clip_start(SX, X, W);
  clip_start(SY, Y, H);
  clip_start(X, SX, W);
  clip_start(Y, SY, H);
  W = std::min({W, src.width - SX, dst.width - X});
  H = std::min({H, src.height - SY, dst.height - Y});
  if (W <= 0 || H <= 0) return nullptr;

  const int bpp = dst.bytes_per_pixel;
  std::uint8_t* d = dst.pixels + Y * dst.pitch + X * bpp;
  const std::uint8_t* s = src.pixels + SY * src.pitch + SX * bpp;
  const bool same = dst.pixels == src.pixels;
  const bool upwards = same && Y > SY;
  const bool leftwards = same && Y == SY && X > SX;
  const i64 bytes = W * bpp;

  if (!target) screen_lock();
  for (i64 r = 0; r < H; ++r) {
    const i64 row = upwards ? H - 1 - r : r;
    std::uint8_t* dr = d + row * dst.pitch;
    const std::uint8_t* sr = s + row * src.pitch;
    if (!use_key) {
      if (same)
        std::memmove(dr, sr, std::size_t(bytes));
      else
        std::memcpy(dr, sr, std::size_t(bytes));
    } else if (bpp == 4) {
      // Colour, not alpha: QZ_BLACK (opaque) matches a new image's 0 too.
      copy_keyed<std::uint32_t>(dr, sr, W, key & 0x00FFFFFFu, 0x00FFFFFFu, leftwards);
    } else if (bpp == 2) {
      copy_keyed<std::uint16_t>(dr, sr, W, std::uint16_t(key), 0xFFFF, leftwards);
    } else {
      copy_keyed<std::uint8_t>(dr, sr, W, std::uint8_t(key), 0xFF, leftwards);
    }
  }
  if (!target) screen_unlock(int(Y), int(Y + H - 1));
  return nullptr;
}

}  // namespace qz
