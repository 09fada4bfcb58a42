#include "gfx/line.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "gfx/context.h"
#include "gfx/screen_lock.h"

namespace qz {

// Lines are the exact pixel set of the integer line from the first end point
// (minor coordinate rounded half up, counted from that point), clipped in
// closed form: the first visible pixel and its error term are computed, so the
// invisible part of a line is never walked and dash positions stay where they
// would be on the unclipped line.

namespace {

using i64 = std::int64_t;

bool pattern_bit(std::uint32_t style, i64 position) {
  return (style & (0x8000u >> (position & 15))) != 0;
}

i64 ceil_div(i64 a, i64 b) {  // b > 0
  return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// Range of steps t >= 0 for which start + step * t lies within [lo, hi].
std::pair<i64, i64> steps_within(i64 start, int step, i64 lo, i64 hi) {
  return step > 0 ? std::pair{lo - start, hi - start} : std::pair{start - hi, start - lo};
}

// Solid lines in an unblended colour are written straight through the row
// memory: from the first visible pixel, `count` pixels, the major axis moving
// by major_step bytes each pixel and the minor axis by minor_step whenever
// the error term says so (the same rule as the pixel-by-pixel form).
template <typename Pixel>
void run_solid(std::uint8_t* p, std::ptrdiff_t major_step, std::ptrdiff_t minor_step, i64 count, i64 e,
               i64 two_major, i64 two_minor, std::uint32_t colour) {
  const Pixel value = static_cast<Pixel>(colour);
  std::memcpy(p, &value, sizeof value);
  for (i64 n = 1; n < count; ++n) {
    // Without a branch: the minor step depends on the data and would be
    // mispredicted about every other pixel on lines of random slope.
    const i64 step = ~(e >> 63);  // all ones when e >= 0
    p += minor_step & step;
    e -= two_major & step;
    e += two_minor;
    p += major_step;
    std::memcpy(p, &value, sizeof value);
  }
}

// A long line as kPieces equal pieces walked side by side, each from its own
// first pixel and error term (the closed form), so that the CPU overlaps
// their dependency chains; the same pixels as one walk. `p`, `e`: the pieces'
// first pixels and error terms, each piece `count` pixels long. Kept out of
// line and in scalars, so that all of it lives in registers.
constexpr int kPieces = 4;
template <typename Pixel>
[[gnu::noinline]] void run_solid_pieces(std::uint8_t* const (&p)[kPieces], const i64 (&e)[kPieces],
                                        std::ptrdiff_t major_step, std::ptrdiff_t minor_step, i64 count,
                                        i64 two_major, i64 two_minor, std::uint32_t colour) {
  const Pixel value = static_cast<Pixel>(colour);
  std::uint8_t *p0 = p[0], *p1 = p[1], *p2 = p[2], *p3 = p[3];
  i64 e0 = e[0], e1 = e[1], e2 = e[2], e3 = e[3];
  auto step = [&](std::uint8_t*& q, i64& error) {
    std::memcpy(q, &value, sizeof value);
    const i64 minor = ~(error >> 63);  // all ones when error >= 0
    q += (minor_step & minor) + major_step;
    error += two_minor - (two_major & minor);
  };
  for (i64 n = count - 1; n > 0; --n) {
    step(p0, e0);
    step(p1, e1);
    step(p2, e2);
    step(p3, e3);
  }
  for (std::uint8_t* q : {p0, p1, p2, p3}) std::memcpy(q, &value, sizeof value);
}

// Below this many pixels a line is one walk: the pieces' divisions would
// cost more than the overlap saves.
constexpr i64 kPiecesFrom = 64;

// The solid walk of the pixels `first` to `last` of a line: p is pixel
// `first`, whose minor offset is k and error term e.
template <typename Pixel>
void walk_solid(std::uint8_t* p, std::ptrdiff_t major_step, std::ptrdiff_t minor_step, i64 first, i64 last,
                i64 k, i64 e, i64 major, i64 minor, std::uint32_t colour) {
  const i64 count = last - first + 1;
  if (count < kPiecesFrom) return run_solid<Pixel>(p, major_step, minor_step, count, e, 2 * major, 2 * minor, colour);
  // Pixel i: its minor offset k(i) and error term, and its address.
  auto offset = [&](i64 i) { return (2 * minor * i + major) / (2 * major); };
  auto error = [&](i64 i, i64 ki) { return 2 * minor * (i + 1) - major - 2 * major * ki; };
  auto address = [&](i64 i, i64 ki) {
    return p + major_step * std::ptrdiff_t(i - first) + minor_step * std::ptrdiff_t(ki - k);
  };
  const i64 length = count / kPieces;
  std::uint8_t* starts[kPieces];
  i64 errors[kPieces];
  for (int j = 0; j < kPieces; ++j) {
    const i64 i = first + j * length;
    const i64 ki = offset(i);
    starts[j] = address(i, ki);
    errors[j] = error(i, ki);
  }
  run_solid_pieces<Pixel>(starts, errors, major_step, minor_step, length, 2 * major, 2 * minor, colour);
  const i64 rest = first + kPieces * length;
  if (rest > last) return;
  const i64 kr = offset(rest);
  run_solid<Pixel>(address(rest, kr), major_step, minor_step, last - rest + 1, error(rest, kr), 2 * major,
                   2 * minor, colour);
}

void walk_solid(const GfxContext& ctx, std::uint8_t* p, std::ptrdiff_t major_step, std::ptrdiff_t minor_step,
                i64 first, i64 last, i64 k, i64 e, i64 major, i64 minor, std::uint32_t colour) {
  switch (ctx.target_bytes_per_pixel) {
    case 4: return walk_solid<std::uint32_t>(p, major_step, minor_step, first, last, k, e, major, minor, colour);
    case 2: return walk_solid<std::uint16_t>(p, major_step, minor_step, first, last, k, e, major, minor, colour);
    default: return walk_solid<std::uint8_t>(p, major_step, minor_step, first, last, k, e, major, minor, colour);
  }
}

void run_solid(const GfxContext& ctx, std::uint8_t* p, std::ptrdiff_t major_step, std::ptrdiff_t minor_step,
               i64 count, i64 e, i64 two_major, i64 two_minor, std::uint32_t colour) {
  switch (ctx.target_bytes_per_pixel) {
    case 4: return run_solid<std::uint32_t>(p, major_step, minor_step, count, e, two_major, two_minor, colour);
    case 2: return run_solid<std::uint16_t>(p, major_step, minor_step, count, e, two_major, two_minor, colour);
    default: return run_solid<std::uint8_t>(p, major_step, minor_step, count, e, two_major, two_minor, colour);
  }
}

bool solid(const GfxContext& ctx, std::uint32_t style) {
  return style == 0xFFFF && ctx.put_pixel == ctx.routines->put_solid;
}

// Clip bounds of the current view, widened to 64 bits.
struct Clip {
  i64 x0, y0, x1, y1;
};

void draw_straight(GfxContext& ctx, const Clip& clip, i64 x1, i64 y1, i64 x2, i64 y2,
                   std::uint32_t colour, std::uint32_t style) {
  if (x1 == x2) {  // vertical, or a single point
    i64 lo = std::max(std::min(y1, y2), clip.y0), hi = std::min(std::max(y1, y2), clip.y1);
    if (solid(ctx, style)) {
      run_solid(ctx, ctx.pixel_address(int(x1), int(lo)), ctx.target_pitch, 0, hi - lo + 1, -1, 0, 0, colour);
    } else {
      for (i64 y = lo; y <= hi; ++y)
        if (pattern_bit(style, y > y1 ? y - y1 : y1 - y)) ctx.put_pixel(ctx, int(x1), int(y), colour);
    }
    mark_dirty_rows(ctx, lo, hi);
    return;
  }
  i64 lo = std::max(std::min(x1, x2), clip.x0), hi = std::min(std::max(x1, x2), clip.x1);
  if (style == 0xFFFF) {
    ctx.fill_span(ctx.pixel_address(int(lo), int(y1)), colour, int(hi - lo + 1));
  } else {
    for (i64 x = lo; x <= hi; ++x)
      if (pattern_bit(style, x > x1 ? x - x1 : x1 - x)) ctx.put_pixel(ctx, int(x), int(y1), colour);
  }
  mark_dirty_rows(ctx, y1, y1);
}

// The general form: every pixel through put_pixel, subject to the style.
void draw_pixels(GfxContext& ctx, bool x_major, i64 x1, i64 y1, int sx, int sy, i64 first, i64 last, i64 k,
                 i64 e, i64 major, i64 minor, std::uint32_t colour, std::uint32_t style) {
  for (i64 i = first; i <= last; ++i) {
    if (pattern_bit(style, i)) {
      i64 x = x_major ? x1 + sx * i : x1 + sx * k;
      i64 y = x_major ? y1 + sy * k : y1 + sy * i;
      ctx.put_pixel(ctx, int(x), int(y), colour);
    }
    if (e >= 0) {
      ++k;
      e -= 2 * major;
    }
    e += 2 * minor;
  }
}

void draw_sloped(GfxContext& ctx, const Clip& clip, i64 x1, i64 y1, i64 x2, i64 y2,
                 std::uint32_t colour, std::uint32_t style) {
  i64 dx = x2 - x1, dy = y2 - y1;
  int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
  i64 ax = dx >= 0 ? dx : -dx, ay = dy >= 0 ? dy : -dy;
  bool x_major = ax >= ay;
  // Major axis: pixel i sits at major start + step * i; minor offset
  // k(i) = floor((2 * minor * i + major) / (2 * major)).
  i64 major = x_major ? ax : ay, minor = x_major ? ay : ax;
  auto [i_lo, i_hi] = x_major ? steps_within(x1, sx, clip.x0, clip.x1)
                              : steps_within(y1, sy, clip.y0, clip.y1);
  auto [k_lo, k_hi] = x_major ? steps_within(y1, sy, clip.y0, clip.y1)
                              : steps_within(x1, sx, clip.x0, clip.x1);
  if (k_hi < 0) return;
  i64 first = std::max<i64>({0, i_lo, k_lo <= 0 ? 0 : ceil_div(2 * major * k_lo - major, 2 * minor)});
  i64 last = std::min<i64>({major, i_hi, ceil_div(2 * major * (k_hi + 1) - major, 2 * minor) - 1});
  if (first > last) return;  // passes the corner region only

  i64 k = (2 * minor * first + major) / (2 * major);
  i64 e = 2 * minor * (first + 1) - major - 2 * major * k;
  i64 first_row = x_major ? y1 + sy * k : y1 + sy * first;
  if (solid(ctx, style)) {
    const i64 x = x_major ? x1 + sx * first : x1 + sx * k;
    const std::ptrdiff_t dx_step = sx * ctx.target_bytes_per_pixel, dy_step = sy * std::ptrdiff_t(ctx.target_pitch);
    const std::ptrdiff_t major_step = x_major ? dx_step : dy_step, minor_step = x_major ? dy_step : dx_step;
    walk_solid(ctx, ctx.pixel_address(int(x), int(first_row)), major_step, minor_step, first, last, k, e, major,
               minor, colour);
  } else {
    draw_pixels(ctx, x_major, x1, y1, sx, sy, first, last, k, e, major, minor, colour, style);
  }
  i64 end_row = std::clamp(y2, clip.y0, clip.y1);
  mark_dirty_rows(ctx, std::min(first_row, end_row), std::max(first_row, end_row));
}

void draw_line(GfxContext& ctx, const Clip& clip, i64 x1, i64 y1, i64 x2, i64 y2,
               std::uint32_t colour, std::uint32_t style) {
  if (std::max(x1, x2) < clip.x0 || std::min(x1, x2) > clip.x1 || std::max(y1, y2) < clip.y0 ||
      std::min(y1, y2) > clip.y1)
    return;
  target_lock(ctx);
  if (x1 == x2 || y1 == y2)
    draw_straight(ctx, clip, x1, y1, x2, y2, colour, style);
  else
    draw_sloped(ctx, clip, x1, y1, x2, y2, colour, style);
  target_unlock(ctx);
}

void draw_box(GfxContext& ctx, const Clip& clip, i64 x1, i64 y1, i64 x2, i64 y2,
              std::uint32_t colour, bool filled, std::uint32_t style) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x2 < clip.x0 || y2 < clip.y0 || x1 > clip.x1 || y1 > clip.y1) return;
  i64 cx1 = std::max(x1, clip.x0), cy1 = std::max(y1, clip.y0);
  i64 cx2 = std::min(x2, clip.x1), cy2 = std::min(y2, clip.y1);
  int run = int(cx2 - cx1 + 1);
  target_lock(ctx);
  if (filled) {
    // Whole rows lie end to end in memory: one run covers them all.
    if (i64(run) * ctx.target_bytes_per_pixel == ctx.target_pitch && i64(run) * (cy2 - cy1 + 1) <= INT32_MAX) {
      ctx.fill_span(ctx.pixel_address(int(cx1), int(cy1)), colour, int(run * (cy2 - cy1 + 1)));
    } else {
      for (i64 y = cy1; y <= cy2; ++y) ctx.fill_span(ctx.pixel_address(int(cx1), int(y)), colour, run);
    }
  } else if (style == 0xFFFF) {
    if (y2 <= clip.y1) ctx.fill_span(ctx.pixel_address(int(cx1), int(y2)), colour, run);
    if (y1 >= clip.y0) ctx.fill_span(ctx.pixel_address(int(cx1), int(y1)), colour, run);
    if (x2 <= clip.x1)
      for (i64 y = cy1; y <= cy2; ++y) ctx.put_pixel(ctx, int(x2), int(y), colour);
    if (x1 >= clip.x0)
      for (i64 y = cy1; y <= cy2; ++y) ctx.put_pixel(ctx, int(x1), int(y), colour);
  } else {
    // One pattern runs around the edges (bottom, top, right, left), each
    // edge taking its full unclipped length.
    i64 w = x2 - x1 + 1, h = y2 - y1 + 1;
    auto horizontal = [&](i64 y, i64 base) {
      for (i64 x = cx1; x <= cx2; ++x)
        if (pattern_bit(style, base + x - x1)) ctx.put_pixel(ctx, int(x), int(y), colour);
    };
    auto vertical = [&](i64 x, i64 base) {
      for (i64 y = cy1; y <= cy2; ++y)
        if (pattern_bit(style, base + y - y1)) ctx.put_pixel(ctx, int(x), int(y), colour);
    };
    if (y2 <= clip.y1) horizontal(y2, 0);
    if (y1 >= clip.y0) horizontal(y1, w);
    if (x2 <= clip.x1) vertical(x2, 2 * w);
    if (x1 >= clip.x0) vertical(x1, 2 * w + h);
  }
  mark_dirty_rows(ctx, cy1, cy2);
  target_unlock(ctx);
}

}  // namespace

void gfx_line(const ImageRef* target, float x1, float y1, float x2, float y2, std::uint32_t colour,
              std::int32_t kind, std::uint32_t style, std::int32_t flags) {
  auto [ctx, c] = begin_primitive(target, colour, flags);
  if (!ctx) return;
  gfx_apply_relative(*ctx, flags & 7, x1, y1, &x2, &y2);
  PixelPoint a = gfx_to_pixel(*ctx, x1, y1);
  PixelPoint b = gfx_to_pixel(*ctx, x2, y2);
  Clip clip{ctx->x0(), ctx->y0(), ctx->x1(), ctx->y1()};
  style &= 0xFFFF;
  if (kind == kLine)
    draw_line(*ctx, clip, a.x, a.y, b.x, b.y, c, style);
  else
    draw_box(*ctx, clip, a.x, a.y, b.x, b.y, c, kind == kBoxFilled, style);
}

}  // namespace qz
