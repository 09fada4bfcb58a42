// Circles, ellipses and arcs: the exact shapes of the integer walk, aspect,
// fills that write each row once, and the arc path with its radius lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "display/screen_mode.h"
#include "gfx/circle.h"
#include "gfx/view.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

constexpr std::uint32_t kInk = 0xFF00FF00;

class Circles : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(); }
  // Pixels relative to the centre (20, 20) of a 41 x 41 canvas.
  PixelSet whole(float radius, float aspect = 0.0f, int fill = 0) {
    Canvas c(41, 41);
    gfx_circle(c.target(), 20, 20, radius, kInk, aspect, 0.0f, kFullTurn, fill, 4);
    PixelSet out;
    for (auto [x, y] : c.drawn()) out.insert({x - 20, y - 20});
    return out;
  }
};

TEST_F(Circles, SmallRadiiShapes) {
  EXPECT_EQ(whole(1), (PixelSet{{0, -1}, {-1, 0}, {1, 0}, {0, 1}}));
  EXPECT_EQ(whole(2), (PixelSet{{0, -2}, {0, 2}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}, {-2, 0}, {2, 0}}));
  PixelSet r3;
  for (int s : {-1, 1}) {
    for (int x : {-1, 0, 1}) r3.insert({x, 3 * s});
    r3.insert({-2, 2 * s});
    r3.insert({2, 2 * s});
    r3.insert({-3, s});
    r3.insert({3, s});
  }
  r3.insert({-3, 0});
  r3.insert({3, 0});
  EXPECT_EQ(whole(3), r3);
  // Below radius 1 the row is trunc(c - r) .. trunc(c + r): one pixel at the
  // origin, two where truncation toward zero splits them.
  EXPECT_EQ(whole(0.4f), (PixelSet{{-1, 0}, {0, 0}}));
  Canvas origin(4, 4);
  gfx_circle(origin.target(), 0, 0, 0.4f, kInk, 0.0f, 0.0f, kFullTurn, 0, 4);
  EXPECT_EQ(origin.drawn(), (PixelSet{{0, 0}}));
  EXPECT_TRUE(whole(0).empty());
  EXPECT_TRUE(whole(-3).empty());
}

TEST_F(Circles, RadiusTenAndNonIntegerRadius) {
  PixelSet r10 = whole(10);
  EXPECT_EQ(r10.size(), 56u);
  PixelSet top;
  for (auto [x, y] : r10)
    if (y == -10) top.insert({x, y});
  EXPECT_EQ(top, (PixelSet{{-2, -10}, {-1, -10}, {0, -10}, {1, -10}, {2, -10}}));
  // Truncation toward zero of 20 - 2.5 and 20 + 2.5: the middle row spans 17..22.
  PixelSet dot = whole(2.5f);
  EXPECT_TRUE(dot.count({-3, 0}) && dot.count({2, 0}));
  EXPECT_FALSE(dot.count({3, 0}));
}

TEST_F(Circles, AspectStretchesOneAxis) {
  auto extent = [](const PixelSet& s) {
    int x0 = 99, x1 = -99, y0 = 99, y1 = -99;
    for (auto [x, y] : s) x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    return std::array<int, 4>{x0, x1, y0, y1};
  };
  EXPECT_EQ(extent(whole(10)), (std::array<int, 4>{-10, 10, -10, 10}));
  EXPECT_EQ(extent(whole(10, 0.5f)), (std::array<int, 4>{-10, 10, -5, 5}));
  EXPECT_EQ(extent(whole(10, 2.0f)), (std::array<int, 4>{-5, 5, -10, 10}));
}

TEST_F(Circles, FilledRowsAreWrittenOnceAtFullWidth) {
  set_null_mode(64, 64, 32);
  current_mode()->flags |= kBehaviourAlphaBlend;  // a blended half-alpha colour shows double writes
  Canvas c(41, 41, 4, 0xFF000000);
  gfx_circle(c.target(), 20, 20, 3, 0x80FFFFFF, 0.0f, 0.0f, kFullTurn, 1, 4);
  const int half[7] = {1, 2, 3, 3, 3, 2, 1};
  std::uint32_t once = c.at(20, 20);
  EXPECT_NE(once, 0xFF000000u);
  for (int dy = -3; dy <= 3; ++dy)
    for (int dx = -4; dx <= 4; ++dx)
      EXPECT_EQ(c.at(20 + dx, 20 + dy), std::abs(dx) <= half[dy + 3] ? once : 0xFF000000u) << dx << "," << dy;
}

TEST_F(Circles, ArcPath) {
  // The float nearest to 2 pi is not the whole-ellipse sentinel: a ring of
  // plotted points, never filled.
  float almost = std::bit_cast<float>(0x40C90FDBu);
  Canvas ring(41, 41);
  gfx_circle(ring.target(), 20, 20, 10, kInk, 0.0f, 0.0f, almost, 1, 4);
  EXPECT_EQ(ring.at(20, 20), 0u);
  EXPECT_EQ(ring.at(30, 20), kInk);
  EXPECT_EQ(ring.at(20, 10), kInk);
  // A negative start adds a radius line to that end (angle 0: to the right).
  Canvas spoke(41, 41);
  gfx_circle(spoke.target(), 20, 20, 10, kInk, 0.0f, -0.0001f, 1.0f, 0, 4);
  for (int x = 20; x <= 30; ++x) EXPECT_EQ(spoke.at(x, 20), kInk) << x;
  // End before start wraps through angle 0: 5.0 to 7.28 covers angle 0 but not pi.
  Canvas wrap(41, 41);
  gfx_circle(wrap.target(), 20, 20, 10, kInk, 0.0f, 5.0f, 1.0f, 0, 4);
  EXPECT_EQ(wrap.at(30, 20), kInk);
  EXPECT_EQ(wrap.at(10, 20), 0u);
}

// Large arcs skip runs of steps that cannot reach the view; the points they
// do draw are those of the plain step-by-step walk.
TEST_F(Circles, LargeArcsDrawTheSamePoints) {
  const float almost = std::bit_cast<float>(0x40C90FDBu);
  for (float radius : {300.0f, 3000.0f}) {
    Canvas c(64, 48);
    const float cx = 32.0f - radius + 20.0f, cy = 24.0f;  // only a sliver crosses the canvas
    gfx_circle(c.target(), cx, cy, radius, kInk, 0.0f, 0.0f, almost, 0, 4);
    PixelSet expected;
    float step = float(1.0 / (1.5 * std::sqrt(double(radius)) * std::sqrt(double(radius))));
    float stop = almost + 0.5f * step;
    auto round_away = [](float v) { return v > 0 ? std::trunc(double(v) + 0.5) : std::trunc(double(v) - 0.5); };
    for (float t = 0.0f; t < stop; t += step) {
      int x = int(cx + round_away(float(radius * std::cos(double(t)))));
      int y = int(cy - round_away(float(radius * std::sin(double(t)))));
      if (x >= 0 && x < 64 && y >= 0 && y < 48) expected.insert({x, y});
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(c.drawn(), expected) << radius;
  }
}

TEST_F(Circles, ClippingAndDirtyRows) {
  ScreenMode* mode = current_mode();
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  gfx_circle(nullptr, 0, 0, 5, 15, 0.0f, 0.0f, kFullTurn, 0, 4);
  auto* px = reinterpret_cast<std::uint32_t*>(mode->visible_framebuffer);
  EXPECT_EQ(px[5], 0x0000000Fu);         // (5, 0)
  EXPECT_EQ(px[5 * 320], 0x0000000Fu);   // (0, 5)
  for (int y = 0; y < 200; ++y) EXPECT_EQ(mode->dirty_rows[std::size_t(y)], y <= 5 ? 1 : 0) << y;
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  gfx_circle(nullptr, 50, 50, 0, 15, 0.0f, 0.0f, kFullTurn, 0, 4);
  for (std::uint8_t row : mode->dirty_rows) EXPECT_EQ(row, 0);
}

// Non-finite and huge arguments on the screen with a clip rectangle: what is
// drawn stays inside it, and only its rows are marked for presentation.
TEST_F(Circles, UnreasonableArgumentsStayBounded) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  ScreenMode& mode = *current_mode();
  gfx_set_view(100, 50, 140, 90, false);
  std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{0});
  gfx_circle(nullptr, nan, 20, 5, kInk, 0.0f, 0.0f, kFullTurn, 1, 4);
  gfx_circle(nullptr, 20, 20, inf, kInk, 0.0f, 0.0f, kFullTurn, 1, 4);
  gfx_circle(nullptr, 20, 20, 5, kInk, nan, 0.0f, kFullTurn, 0, 4);
  gfx_circle(nullptr, 20, 20, 5, kInk, 0.0f, 1e30f, -1e30f, 0, 4);
  gfx_circle(nullptr, 20, 20, 5, kInk, 0.0f, 50000.0f, 0.0f, 0, 4);
  gfx_circle(nullptr, 1e9f, -1e9f, 1e12f, kInk, 0.0f, 0.0f, kFullTurn, 1, 4);
  gfx_circle(nullptr, 20, 20, 1e30f, kInk, -3.0f, 0.0f, kFullTurn, 0, 4);
  gfx_reset_view();
  const auto* pixels = reinterpret_cast<const std::uint32_t*>(mode.visible_framebuffer);
  int inside = 0;
  for (int y = 0; y < mode.height; ++y) {
    const bool view_row = y >= 50 && y <= 90;
    if (!view_row) {
      EXPECT_EQ(mode.dirty_rows[std::size_t(y)], 0) << "row " << y;
    }
    for (int x = 0; x < mode.width; ++x) {
      if (pixels[y * mode.width + x] != kInk) continue;
      ASSERT_TRUE(view_row && x >= 100 && x <= 140) << x << ", " << y;
      ++inside;
    }
  }
  EXPECT_GT(inside, 0);  // the huge filled circle covers the whole view
}

}  // namespace
