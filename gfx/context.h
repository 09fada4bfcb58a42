#pragma once

// The calling thread's drawing context and the steps every primitive takes
// before it touches pixels: target selection, colour resolution, relative
// coordinates and the conversion of float coordinates to pixels.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/raster_screen.h"
#include "gfx/image.h"
#include "gfx/pixel_routines.h"
#include "gfx/raster_settings.h"

namespace qz {

struct RasterScreen;

enum ContextFlag : std::uint32_t {
  kContextRebuild = 0x01,     // rebuild rows and view from the screen at next selection
  kContextImage = 0x02,       // the target is an image
  kContextWindow = 0x04,      // a user-coordinate window is active
  kContextWindowNoFlip = 0x08,
  kContextViewSet = 0x10,
  kContextAbsolute = 0x20,    // coordinates are target pixels: no view origin
};

// The words of a long image header that give its shape (magic to pitch).
constexpr int kLongHeaderWords = 5;

// Bit 31 of a primitive's flags word: draw in the context's foreground.
constexpr std::uint32_t kUseForeground = 0x80000000u;

struct GfxContext {
  std::int32_t mode_id = 0;
  std::int32_t work_page = 0;
  std::vector<std::uint8_t*> rows;  // row start addresses of the target
  std::int32_t target_bytes_per_pixel = 0;
  std::int32_t target_pitch = 0;
  const std::uint8_t* target = nullptr;  // bytes of the target image, null for the screen
  std::size_t target_size = 0;           // its size when selected
  // Its header as selected: the rows stay right while address, size and
  // header are the same, whoever freed and made the image in between.
  std::uint8_t target_header[kLongHeaderWords * 4] = {};
  std::uint32_t target_header_size = 0;  // 20 for a long header, 4 for a short one
  float last_x = 0, last_y = 0;
  std::int32_t view_x = 0, view_y = 0, view_width = 0, view_height = 0;
  std::int32_t saved_view[4] = {0, 0, 0, 0};
  float window_x = 0, window_y = 0, window_width = 0, window_height = 0;
  std::uint32_t foreground = 0;
  std::uint32_t background = 0;
  const PixelRoutines* routines = nullptr;
  PutPixelFn put_pixel = nullptr;
  GetPixelFn get_pixel = nullptr;
  FillSpanFn fill_span = nullptr;
  std::uint32_t context_flags = 0;

  // Inclusive clip bounds of the view.
  int x0() const { return view_x; }
  int y0() const { return view_y; }
  int x1() const { return view_x + view_width - 1; }
  int y1() const { return view_y + view_height - 1; }
  std::uint8_t* pixel_address(int x, int y) const {
    return rows[static_cast<std::size_t>(y)] + static_cast<std::ptrdiff_t>(x) * target_bytes_per_pixel;
  }
};

namespace context_detail {
// This thread's context once it has one; read on every primitive, so inline.
extern constinit thread_local GfxContext* current;
// Makes this thread's context, or initialises it again for a new mode.
GfxContext& refresh(const RasterScreen* mode);
}  // namespace context_detail

// The calling thread's context for drawing on the screen, re-initialised
// when the mode's id changed.
inline GfxContext& gfx_context() {
  const RasterScreen* mode = current_screen();
  GfxContext* ctx = context_detail::current;
  if (ctx && (!mode || ctx->mode_id == mode->id)) [[likely]]
    return *ctx;
  return context_detail::refresh(mode);
}

// The calling thread's context for drawing on an image. It reads nothing of
// the screen, which another thread may replace meanwhile; the context meets
// a new mode at its next drawing on the screen.
inline GfxContext& image_context() {
  if (GfxContext* ctx = context_detail::current) [[likely]]
    return *ctx;
  return context_detail::refresh(nullptr);
}

inline bool draws_on_image(const GfxContext& ctx) { return (ctx.context_flags & kContextImage) != 0; }

// True when `image` is the context's selected target, rows and all.
inline bool is_selected_image(const GfxContext& ctx, const ImageRef& image) {
  return draws_on_image(ctx) && image.bytes == ctx.target && image.size == ctx.target_size &&
         std::memcmp(image.bytes, ctx.target_header, ctx.target_header_size) == 0 &&
         // A short header's pixels have the screen's size, which may have changed.
         (ctx.target_header_size != kShortImageHeader || ctx.target_bytes_per_pixel == raster_screen_bytes_per_pixel());
}

namespace context_detail {
// Selects an image, or the screen again after an image or a new mode.
bool select_target(GfxContext& ctx, const ImageRef* image);
}  // namespace context_detail

// False when the image is malformed (or, for the screen, there is no mode):
// the primitive then draws nothing. The screen, already selected, is every
// primitive's common case and costs a test.
inline bool gfx_set_target(GfxContext& ctx, const ImageRef* image) {
  if (!image && !(ctx.context_flags & (kContextRebuild | kContextImage)) && current_screen()) [[likely]]
    return true;
  return context_detail::select_target(ctx, image);
}

// The preamble's steps below are inline: every primitive takes them, and as
// calls they cost as much as a small circle's pixels.

inline std::uint32_t gfx_resolve_colour(int bytes_per_pixel, std::uint32_t c) {
  if (bytes_per_pixel == 2) {
    c = ((c >> 8) & 0xF800u) | ((c >> 5) & 0x07E0u) | ((c >> 3) & 0x001Fu);
    return c & 0xFFFFu;
  }
  if (bytes_per_pixel == 1) return c & 0xFFu;
  return c;
}

inline void gfx_select_colour_routines(GfxContext& ctx, std::uint32_t colour) {
  bool blend = ctx.target_bytes_per_pixel == 4 && (colour >> 24) != 0xFFu && raster_alpha_blend();
  ctx.put_pixel = blend ? ctx.routines->put_blend : ctx.routines->put_solid;
  ctx.fill_span = blend ? ctx.routines->span_blend : ctx.routines->span_solid;
  ctx.get_pixel = ctx.routines->read_pixel;
}

// Applies coordinate kind (flags bits 0-2); x2/y2 may be null for one point.
void gfx_apply_relative(GfxContext& ctx, int kind, float& x1, float& y1, float* x2, float* y2);

struct PixelPoint {
  std::int64_t x;
  std::int64_t y;
};

// Pixel coordinates are clamped to this magnitude (NaN goes far off-screen),
// so that no float-to-integer conversion is undefined and products of two
// coordinates stay within 64 bits.
constexpr std::int64_t kCoordinateLimit = std::int64_t{1} << 29;
inline std::int64_t round_half_away(double v) {
  // In range, one test; the conversion truncates toward zero, as trunc
  // would, and both signed zeros give 0.
  if (std::fabs(v) <= static_cast<double>(kCoordinateLimit)) [[likely]]
    return static_cast<std::int64_t>(v + std::copysign(0.5, v));
  if (std::isnan(v)) return -kCoordinateLimit;
  return v > 0 ? kCoordinateLimit : -kCoordinateLimit;
}

inline PixelPoint gfx_to_pixel(const GfxContext& ctx, float x, float y) {
  if (ctx.context_flags & kContextWindow) {
    x = (x - ctx.window_x) * static_cast<float>(ctx.view_width - 1) / ctx.window_width;
    y = (y - ctx.window_y) * static_cast<float>(ctx.view_height - 1) / ctx.window_height;
  }
  PixelPoint p{round_half_away(x), round_half_away(y)};
  if ((ctx.context_flags & (kContextWindow | kContextWindowNoFlip)) == kContextWindow)
    p.y = ctx.view_height - 1 - p.y;
  if (!(ctx.context_flags & kContextAbsolute)) {
    p.x += ctx.view_x;
    p.y += ctx.view_y;
  }
  return p;
}

// The colour a primitive draws with: foreground on flags bit 31, else the
// argument converted for the target.
inline std::uint32_t effective_colour(const GfxContext& ctx, std::uint32_t colour, std::int32_t flags) {
  if (static_cast<std::uint32_t>(flags) & kUseForeground) return ctx.foreground;
  return gfx_resolve_colour(ctx.target_bytes_per_pixel, colour);
}

// Marks rows first..last (already clamped to the view) dirty when the context
// draws on the visible screen page.
[[gnu::always_inline]] inline void mark_dirty_rows(const GfxContext& ctx, std::int64_t first, std::int64_t last) {
  if (draws_on_image(ctx)) return;
  RasterScreen* mode = current_screen();
  if (!mode || ctx.rows.empty() || ctx.rows[0] != mode->visible_framebuffer) return;
  if (first < 0) first = 0;
  if (last >= mode->height) last = mode->height - 1;
  if (first > last) return;
  std::uint8_t* rows = mode->dirty_rows.data() + first;
  const auto count = static_cast<std::size_t>(last - first + 1);
  // Up to 8 rows, as small shapes touch, in two overlapping stores.
  if (count >= 4 && count <= 8) {
    constexpr std::uint32_t kFour = 0x01010101u;
    std::memcpy(rows, &kFour, 4);
    std::memcpy(rows + count - 4, &kFour, 4);
  } else {
    std::memset(rows, 1, count);
  }
}

// The common preamble: context, target and colour routines. ctx is null
// without a mode or with an unusable target.
struct PrimitiveSetup {
  GfxContext* ctx;
  std::uint32_t colour;
};
namespace context_detail {
// The whole preamble, for the cases the inline test below leaves out.
PrimitiveSetup begin_primitive_slow(const ImageRef* target, std::uint32_t colour, std::int32_t flags);
}  // namespace context_detail

// Inline only when this thread's context is the mode's and its target (the
// screen, or the image drawn on last) is selected already: then nothing is
// called and no register saved. An image target never reads the mode.
inline PrimitiveSetup begin_primitive(const ImageRef* target, std::uint32_t colour, std::int32_t flags) {
  GfxContext* ctx = context_detail::current;
  bool ready;
  if (target) {
    ready = ctx && is_selected_image(*ctx, *target);
  } else {
    const RasterScreen* mode = current_screen();
    ready = mode && ctx && ctx->mode_id == mode->id && !(ctx->context_flags & (kContextRebuild | kContextImage));
  }
  if (ready) [[likely]] {
    const std::uint32_t c = effective_colour(*ctx, colour, flags);
    gfx_select_colour_routines(*ctx, c);
    return {ctx, c};
  }
  return context_detail::begin_primitive_slow(target, colour, flags);
}

}  // namespace qz
