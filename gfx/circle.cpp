#include "gfx/circle.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "display/screen_mode.h"
#include "gfx/context.h"
#include "gfx/line.h"
#include "gfx/screen_lock.h"

namespace qz {

// Whole ellipses follow the midpoint walk from the middle row outwards in
// exact integer steps after a single-precision set-up whose values are
// truncated toward zero; so a circle of non-integer radius is not symmetric
// about its centre, and that is part of the picture. Arcs plot points along
// the angle in steps of about two thirds of a pixel.

namespace {

using i64 = std::int64_t;

constexpr double kTwoPi = 6.283185307179586;
// Radii beyond this are clamped: it keeps the 64-bit error terms of the walk
// (about 2 * r^3) in range, and no view is that large.
constexpr float kRadiusLimit = 1048576.0f;
// Angles beyond this are first reduced modulo 2 pi, so that the wrap-around
// loops below stay short.
constexpr float kAngleLimit = 1.0e5f;

// Truncation toward zero; every value it gets is bounded by the clamped
// coordinates and radii, far inside the 64-bit range.
i64 trunc_to_int(float v) { return static_cast<i64>(v); }

struct Ellipse {
  GfxContext& ctx;
  std::uint32_t colour;
  bool fill;
  std::vector<std::uint8_t> row_done;  // fill only: each row is written once
  // The view, copied: a 32-bit pixel store could otherwise alias the
  // context's 32-bit fields and force them to be read again after it.
  i64 x0 = ctx.x0(), x1 = ctx.x1(), y0 = ctx.y0(), y1 = ctx.y1();
  // Unblended 32-bit pixels on aligned rows are stored directly as 32-bit
  // values; the rest go through put_pixel.
  std::uint8_t* const* row_table = ctx.rows.data();
  bool direct = ctx.target_bytes_per_pixel == 4 && ctx.put_pixel == ctx.routines->put_solid &&
                ctx.target_pitch % 4 == 0 && reinterpret_cast<std::uintptr_t>(row_table[0]) % 4 == 0;

  void point(i64 x, i64 y) {
    if (direct)
      reinterpret_cast<std::uint32_t*>(row_table[y])[x] = colour;
    else
      ctx.put_pixel(ctx, int(x), int(y), colour);
  }

  void row(i64 y, i64 xa, i64 xb, bool filled) {
    if (y < y0 || y > y1) return;
    if (!filled) {
      if (xa >= x0 && xa <= x1) point(xa, y);
      if (xb >= x0 && xb <= x1) point(xb, y);
      return;
    }
    if (xb < x0 || xa > x1) return;
    std::uint8_t& done = row_done[std::size_t(y - y0)];
    if (done) return;
    done = 1;
    i64 from = std::max(xa, x0), to = std::min(xb, x1);
    ctx.fill_span(ctx.pixel_address(int(from), int(y)), colour, int(to - from + 1));
  }
  void rows(i64 y_low, i64 y_high, i64 xa, i64 xb) {
    row(y_low, xa, xb, fill);
    row(y_high, xa, xb, fill);
  }
};

// The integer walk from the middle row outwards: after the middle row it
// hands every further row pair (below, above) with its extent to `rows`.
template <typename RowPair>
void ellipse_walk(float rx, float ry, i64& yb, i64& yt, i64 xl, i64 xr, RowPair&& rows) {
  i64 a2 = trunc_to_int(rx * rx), b2 = trunc_to_int(ry * ry);
  i64 d = trunc_to_int(static_cast<float>(b2) * rx);
  i64 ex = 2 * d, ey = 0, n = trunc_to_int(rx);
  while (n > 0) {
    while (d > 0) {
      ++yb;
      --yt;
      ey += 2 * a2;
      d -= ey;
      if (d <= 0) break;
      rows(yb, yt, xl, xr);
    }
    ex -= 2 * b2;
    ++xl;
    --xr;
    --n;
    d += ex;
    rows(yb, yt, xl, xr);
  }
}

void draw_ellipse(GfxContext& ctx, PixelPoint c, float rx, float ry, std::uint32_t colour, bool fill) {
  screen_lock();
  Ellipse e{ctx, colour, fill, {}};
  // A flat ellipse (ry 0) is one filled row even as an outline.
  if (fill || ry == 0.0f) e.row_done.assign(std::size_t(std::max(ctx.view_height, 0)), 0);
  float cxf = static_cast<float>(c.x);
  i64 xl = trunc_to_int(cxf - rx), xr = trunc_to_int(cxf + rx);
  i64 yb = c.y, yt = c.y;
  if (ry == 0.0f) {
    e.row(c.y, xl, xr, true);
  } else if (!fill && e.direct && xl >= e.x0 && xr <= e.x1) {
    // The common outline: the extents only narrow from the middle row on,
    // so when that row fits the view's columns every row does; only the rows
    // are checked, and pixels are stored directly.
    auto* const* rows = reinterpret_cast<std::uint32_t* const*>(e.row_table) + e.y0;
    // Row y is in the view when y - y0 <= y1 - y0 as unsigned numbers: one
    // comparison each, and few enough live values to stay in registers.
    const auto height = std::uint64_t(e.y1 - e.y0);
    const i64 y0 = e.y0;
    auto store = [&](i64 y, i64 a, i64 b) {
      const auto r = std::uint64_t(y - y0);
      if (r <= height) rows[r][a] = rows[r][b] = colour;
    };
    store(c.y, xl, xr);
    ellipse_walk(rx, ry, yb, yt, xl, xr, [&](i64 below, i64 above, i64 a, i64 b) {
      store(below, a, b);
      store(above, a, b);
    });
  } else {
    e.row(c.y, xl, xr, fill);
    ellipse_walk(rx, ry, yb, yt, xl, xr, [&](i64 below, i64 above, i64 a, i64 b) { e.rows(below, above, a, b); });
  }
  mark_dirty_rows(ctx, std::max<i64>(std::min(yt, yb), ctx.y0()), std::min<i64>(std::max(yt, yb), ctx.y1()));
  screen_unlock(1, 0);
}

// Offset of the arc point at angle theta, in whole pixels.
PixelPoint arc_offset(float rx, float ry, float theta) {
  float px = static_cast<float>(rx * std::cos(static_cast<double>(theta)));
  float py = static_cast<float>(ry * std::sin(static_cast<double>(theta)));
  return {round_half_away(px), round_half_away(py)};
}

void reduce_angle(float& a) {
  if (std::fabs(a) > kAngleLimit) a = static_cast<float>(std::fmod(static_cast<double>(a), kTwoPi));
}

// The next angle of an arc; a step below half an ulp of theta would never
// advance it.
float next_angle(float theta, float step, float stop) {
  float next = theta + step;
  return next > theta ? next : std::nextafter(theta, stop);
}

// The points of the angles from theta over `span` radians lie within
// radius * span of the first one (plus rounding).
bool may_reach_view(const GfxContext& ctx, PixelPoint c, float rx, float ry, float theta, double span) {
  PixelPoint p = arc_offset(rx, ry, theta);
  double reach = std::max(std::fabs(rx), std::fabs(ry)) * span + 2.0;
  double x = double(c.x + p.x), y = double(c.y - p.y);
  return x + reach >= ctx.x0() && x - reach <= ctx.x1() && y + reach >= ctx.y0() && y - reach <= ctx.y1();
}

void draw_arc(GfxContext& ctx, PixelPoint c, float rx, float ry, std::uint32_t colour, float start, float end) {
  reduce_angle(start);
  reduce_angle(end);
  while (end < start) end = static_cast<float>(end + kTwoPi);
  // Compared in single precision: the float nearest to 2 pi (an arc from 0 to
  // it is a whole ring) must not count as more than a full turn.
  while (end - start > static_cast<float>(kTwoPi)) start = static_cast<float>(start + kTwoPi);
  float step = static_cast<float>(1.0 / (1.5 * std::sqrt(static_cast<double>(rx)) * std::sqrt(static_cast<double>(ry))));

  screen_lock();
  i64 top = c.y, bottom = c.y;
  auto plot = [&](float theta) {
    PixelPoint p = arc_offset(rx, ry, theta);
    i64 x = c.x + p.x, y = c.y - p.y;
    if (x >= ctx.x0() && x <= ctx.x1() && y >= ctx.y0() && y <= ctx.y1()) {
      ctx.put_pixel(ctx, int(x), int(y), colour);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  };
  // Large arcs (millions of steps) pass over runs of steps that cannot
  // reach the view without computing their points; the angles still advance
  // one step at a time, so the points drawn are the same.
  constexpr int kRun = 256;
  const bool large = std::max(std::fabs(rx), std::fabs(ry)) > float(kRun);
  float stop = end + 0.5f * step;
  for (float theta = start; theta < stop;) {
    if (!large) {
      plot(theta);
      theta = next_angle(theta, step, stop);
      continue;
    }
    float after = theta;
    int count = 0;
    for (; count < kRun && after < stop; ++count) after = next_angle(after, step, stop);
    if (may_reach_view(ctx, c, rx, ry, theta, double(after) - double(theta))) {
      for (int i = 0; i < count; ++i, theta = next_angle(theta, step, stop)) plot(theta);
    }
    theta = after;
  }
  mark_dirty_rows(ctx, std::max<i64>(top, ctx.y0()), std::min<i64>(bottom, ctx.y1()));
  screen_unlock(1, 0);
}

}  // namespace

void gfx_circle(const ImageRef* target, float x, float y, float radius, std::uint32_t colour,
                float aspect, float start, float end, std::int32_t fill, std::int32_t flags) {
  const ScreenMode* mode = current_mode();
  if (!mode || !(radius > 0.0f)) return;
  auto [ctx, c] = begin_primitive(target, colour, flags);
  if (!ctx) return;
  gfx_apply_relative(*ctx, flags & 7, x, y, nullptr, nullptr);
  PixelPoint centre = gfx_to_pixel(*ctx, x, y);
  if (ctx->context_flags & kContextWindow)
    radius = radius * (static_cast<float>(ctx->view_width) / ctx->window_width);
  if (aspect == 0.0f || !std::isfinite(aspect)) aspect = mode->aspect;
  if (!std::isfinite(radius) || !std::isfinite(start) || !std::isfinite(end)) return;
  float rx, ry;
  if (aspect > 1.0f) {
    rx = radius / aspect;
    ry = radius;
  } else {
    rx = radius;
    ry = radius * aspect;
  }
  rx = std::clamp(rx, -kRadiusLimit, kRadiusLimit);
  ry = std::clamp(ry, -kRadiusLimit, kRadiusLimit);

  if (start == 0.0f && std::bit_cast<std::uint32_t>(end) == std::bit_cast<std::uint32_t>(kFullTurn)) {
    draw_ellipse(*ctx, centre, rx, ry, c, fill != 0);
    return;
  }
  // Negative angles add a radius line from the centre to that end of the arc.
  std::int32_t line_flags = flags & ~7;
  for (float* angle : {&start, &end}) {
    if (*angle >= 0.0f) continue;
    *angle = -*angle;
    float ax = *angle;
    reduce_angle(ax);
    PixelPoint p = arc_offset(rx, ry, ax);
    gfx_line(target, x, y, std::trunc(x + static_cast<float>(p.x)), std::trunc(y - static_cast<float>(p.y)),
             colour, kLine, 0xFFFF, line_flags);
    ctx->last_x = x;  // the circle's last point stays its centre
    ctx->last_y = y;
  }
  draw_arc(*ctx, centre, rx, ry, c, start, end);
}

}  // namespace qz
