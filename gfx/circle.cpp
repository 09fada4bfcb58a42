#include "gfx/circle.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx/raster_screen.h"
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
  bool direct = direct_stores(ctx);

  static bool direct_stores(const GfxContext& ctx) {
    return ctx.target_bytes_per_pixel == 4 && ctx.put_pixel == ctx.routines->put_solid &&
           ((reinterpret_cast<std::uintptr_t>(ctx.rows[0]) | std::uintptr_t(ctx.target_pitch)) & 3) == 0;
  }

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

// The walk depends on the radii alone: every row pair it hands out is the
// middle row +- k with the middle row's ends moved in by j. Circles come in
// runs of one size, so each thread keeps the steps of the radii it drew last
// and replays them, without the walk's data-dependent branches.
struct WalkStep {
  std::int32_t k, j;
};

struct WalkSteps {
  std::uint32_t rx_bits = 0, ry_bits = 0;
  i64 depth = 0;                    // the last k: the ellipse spans rows -depth .. depth
  std::vector<WalkStep> steps;      // every row pair, in walk order
  std::vector<std::int32_t> inset;  // fills: j of each k's first (widest) pair, k = 1 .. depth
};

// Radii whose walk is longer are walked each time rather than kept.
constexpr float kMaxKeptRadii = 4096.0f;

// The hot path reads a plain pointer (no per-access initialisation check);
// the owner frees the steps when the thread ends.
thread_local std::unique_ptr<WalkSteps> t_walk_owner;
constinit thread_local WalkSteps* t_walk = nullptr;

[[gnu::noinline]] const WalkSteps* walk_radii(float rx, float ry) {
  if (!(std::fabs(rx) + std::fabs(ry) <= kMaxKeptRadii)) return nullptr;
  if (!t_walk) {
    t_walk_owner = std::make_unique<WalkSteps>();
    t_walk = t_walk_owner.get();
  }
  WalkSteps& w = *t_walk;
  // Invalid while it is rebuilt: no finite radius has these bits.
  w.rx_bits = w.ry_bits = 0xFFFFFFFFu;
  w.steps.clear();
  w.inset.clear();
  i64 yb = 0, yt = 0;
  ellipse_walk(rx, ry, yb, yt, 0, 0, [&w](i64 below, i64, i64 a, i64) {
    w.steps.push_back({std::int32_t(below), std::int32_t(a)});
    // k never falls; a k seen for the first time is that row's widest pair
    // (the ends only move inwards), and k 0 is the middle row itself.
    if (below > i64(w.inset.size())) w.inset.push_back(std::int32_t(a));
  });
  w.depth = yb;
  w.rx_bits = std::bit_cast<std::uint32_t>(rx);
  w.ry_bits = std::bit_cast<std::uint32_t>(ry);
  return &w;
}

// The kept steps of these radii, or null when they are too long to keep.
inline const WalkSteps* kept_walk(float rx, float ry) {
  const WalkSteps* w = t_walk;
  if (w && w->rx_bits == std::bit_cast<std::uint32_t>(rx) && w->ry_bits == std::bit_cast<std::uint32_t>(ry)) [[likely]]
    return w;
  return walk_radii(rx, ry);
}

// A filled ellipse from kept steps: each row once, with its widest extent,
// which is what the walk's first pair for that row gives.
void fill_kept(GfxContext& ctx, const WalkSteps& w, i64 cy, i64 xl, i64 xr, std::uint32_t colour) {
  const i64 x0 = ctx.x0(), x1 = ctx.x1(), y0 = ctx.y0(), y1 = ctx.y1();
  auto span = [&](i64 y, i64 a, i64 b) {
    if (y < y0 || y > y1 || b < x0 || a > x1) return;
    const i64 from = std::max(a, x0), to = std::min(b, x1);
    ctx.fill_span(ctx.pixel_address(int(from), int(y)), colour, int(to - from + 1));
  };
  span(cy, xl, xr);
  for (i64 k = 1; k <= w.depth; ++k) {
    const i64 j = w.inset[std::size_t(k - 1)];
    span(cy + k, xl + j, xr - j);
    span(cy - k, xl + j, xr - j);
  }
}

// Every case but a kept outline wholly in view; returns the depth.
[[gnu::noinline]] i64 draw_ellipse_other(GfxContext& ctx, PixelPoint c, float rx, float ry, std::uint32_t colour,
                                         bool fill, i64 xl, i64 xr, const WalkSteps* kept) {
  if (kept && fill) {
    fill_kept(ctx, *kept, c.y, xl, xr, colour);
    return kept->depth;
  }
  Ellipse e{ctx, colour, fill, {}};
  // A flat ellipse (ry 0) is one filled row even as an outline.
  if (fill || ry == 0.0f) e.row_done.assign(std::size_t(std::max(ctx.view_height, 0)), 0);
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
    if (kept) {
      for (const WalkStep& s : kept->steps) {
        store(c.y + s.k, xl + s.j, xr - s.j);
        store(c.y - s.k, xl + s.j, xr - s.j);
      }
      return kept->depth;
    }
    ellipse_walk(rx, ry, yb, yt, xl, xr, [&](i64 below, i64 above, i64 a, i64 b) {
      store(below, a, b);
      store(above, a, b);
    });
  } else if (!fill && e.direct && kept && e.x0 <= e.x1 && e.y0 <= e.y1) {
    // Across a side of the view: each point is tested, by unsigned
    // comparisons as above.
    auto* const* rows = reinterpret_cast<std::uint32_t* const*>(e.row_table) + e.y0;
    const auto height = std::uint64_t(e.y1 - e.y0), width = std::uint64_t(e.x1 - e.x0);
    const i64 x0 = e.x0, y0 = e.y0;
    auto store = [&](i64 y, i64 a, i64 b) {
      const auto r = std::uint64_t(y - y0);
      if (r > height) return;
      if (std::uint64_t(a - x0) <= width) rows[r][a] = colour;
      if (std::uint64_t(b - x0) <= width) rows[r][b] = colour;
    };
    store(c.y, xl, xr);
    for (const WalkStep& s : kept->steps) {
      store(c.y + s.k, xl + s.j, xr - s.j);
      store(c.y - s.k, xl + s.j, xr - s.j);
    }
    return kept->depth;
  } else {
    e.row(c.y, xl, xr, fill);
    if (kept) {
      for (const WalkStep& s : kept->steps) e.rows(c.y + s.k, c.y - s.k, xl + s.j, xr - s.j);
      return kept->depth;
    }
    ellipse_walk(rx, ry, yb, yt, xl, xr, [&](i64 below, i64 above, i64 a, i64 b) { e.rows(below, above, a, b); });
  }
  return yb - c.y;
}

void draw_ellipse(GfxContext& ctx, PixelPoint c, float rx, float ry, std::uint32_t colour, bool fill) {
  target_lock(ctx);
  const float cxf = static_cast<float>(c.x);
  const i64 xl = trunc_to_int(cxf - rx), xr = trunc_to_int(cxf + rx);
  const WalkSteps* kept = ry == 0.0f ? nullptr : kept_walk(rx, ry);
  const i64 y0 = ctx.y0(), y1 = ctx.y1();
  if (kept && !fill && xl >= ctx.x0() && xr <= ctx.x1() && c.y - kept->depth >= y0 && c.y + kept->depth <= y1 &&
      Ellipse::direct_stores(ctx)) [[likely]] {
    // The whole outline is in view (the ends only move inwards from the
    // middle row's): stored without a test per pixel.
    auto* const* rows = reinterpret_cast<std::uint32_t* const*>(ctx.rows.data()) + c.y;
    const WalkStep* step = kept->steps.data();
    const WalkStep* const end = step + kept->steps.size();
    const i64 depth = kept->depth;
    rows[0][xl] = rows[0][xr] = colour;
    for (; step != end; ++step) {
      const i64 a = xl + step->j, b = xr - step->j;
      std::uint32_t* below = rows[step->k];
      std::uint32_t* above = rows[-step->k];
      below[a] = below[b] = above[a] = above[b] = colour;
    }
    mark_dirty_rows(ctx, c.y - depth, c.y + depth);
    target_unlock(ctx);
    return;
  }
  const i64 depth = draw_ellipse_other(ctx, c, rx, ry, colour, fill, xl, xr, kept);
  mark_dirty_rows(ctx, std::max<i64>(c.y - depth, y0), std::min<i64>(c.y + depth, y1));
  target_unlock(ctx);
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

  target_lock(ctx);
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
  target_unlock(ctx);
}

// An arc; negative angles add a radius line from the centre to that end.
// Out of line: whole ellipses are the common case.
[[gnu::noinline]] void draw_arc_and_lines(const ImageRef* target, GfxContext& ctx, float x, float y, PixelPoint centre,
                                          float rx, float ry, std::uint32_t colour, std::uint32_t c, float start,
                                          float end, std::int32_t flags) {
  std::int32_t line_flags = flags & ~7;
  for (float* angle : {&start, &end}) {
    if (*angle >= 0.0f) continue;
    *angle = -*angle;
    float ax = *angle;
    reduce_angle(ax);
    PixelPoint p = arc_offset(rx, ry, ax);
    gfx_line(target, x, y, std::trunc(x + static_cast<float>(p.x)), std::trunc(y - static_cast<float>(p.y)),
             colour, kLine, 0xFFFF, line_flags);
    ctx.last_x = x;  // the circle's last point stays its centre
    ctx.last_y = y;
  }
  draw_arc(ctx, centre, rx, ry, c, start, end);
}

}  // namespace

void gfx_circle(const ImageRef* target, float x, float y, float radius, std::uint32_t colour,
                float aspect, float start, float end, std::int32_t fill, std::int32_t flags) {
  if (!(radius > 0.0f)) return;
  auto [ctx, c] = begin_primitive(target, colour, flags);
  if (!ctx) return;
  gfx_apply_relative(*ctx, flags & 7, x, y, nullptr, nullptr);
  PixelPoint centre = gfx_to_pixel(*ctx, x, y);
  if (ctx->context_flags & kContextWindow)
    radius = radius * (static_cast<float>(ctx->view_width) / ctx->window_width);
  if (aspect == 0.0f || !std::isfinite(aspect)) aspect = raster_aspect();
  const bool whole = start == 0.0f && std::bit_cast<std::uint32_t>(end) == std::bit_cast<std::uint32_t>(kFullTurn);
  if (!std::isfinite(radius) || (!whole && (!std::isfinite(start) || !std::isfinite(end)))) return;
  float rx, ry;
  if (aspect == 1.0f) {
    rx = ry = std::min(radius, kRadiusLimit);  // the common case; radius > 0 here
  } else {
    if (aspect > 1.0f) {
      rx = radius / aspect;
      ry = radius;
    } else {
      rx = radius;
      ry = radius * aspect;
    }
    rx = std::clamp(rx, -kRadiusLimit, kRadiusLimit);
    ry = std::clamp(ry, -kRadiusLimit, kRadiusLimit);
  }

  if (whole)
    draw_ellipse(*ctx, centre, rx, ry, c, fill != 0);
  else
    draw_arc_and_lines(target, *ctx, x, y, centre, rx, ry, colour, c, start, end, flags);
}

}  // namespace qz
