// Lines and boxes: the exact pixel set of a line, its dashes, clipping that
// keeps both, box outlines and fills, and the rows each call marks.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "display/screen_mode.h"
#include "gfx/line.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

constexpr std::uint32_t kInk = 0xFF123456;

// The unclipped pixel set: minor coordinate rounded half up from the first end.
PixelSet reference_line(int x1, int y1, int x2, int y2, std::uint32_t style, int w, int h) {
  PixelSet out;
  int dx = x2 - x1, dy = y2 - y1, sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
  long ax = std::abs(dx), ay = std::abs(dy);
  long major = std::max(ax, ay), minor = std::min(ax, ay);
  for (long i = 0; i <= major; ++i) {
    long k = major == 0 ? 0 : (2 * minor * i + major) / (2 * major);
    int x = int(ax >= ay ? x1 + sx * i : x1 + sx * k);
    int y = int(ax >= ay ? y1 + sy * k : y1 + sy * i);
    if (x >= 0 && x < w && y >= 0 && y < h && (style & (0x8000u >> (i % 16)))) out.insert({x, y});
  }
  return out;
}

class Lines : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(); }
  PixelSet draw(int x1, int y1, int x2, int y2, std::uint32_t style = 0xFFFF, int kind = kLine, int width = 40,
                int height = 30) {
    Canvas c(width, height);
    gfx_line(c.target(), float(x1), float(y1), float(x2), float(y2), kInk, kind, style, 0);
    return c.drawn();
  }
};

TEST_F(Lines, PixelSetDependsOnDirection) {
  EXPECT_EQ(draw(0, 0, 2, 1), (PixelSet{{0, 0}, {1, 1}, {2, 1}}));
  EXPECT_EQ(draw(2, 1, 0, 0), (PixelSet{{2, 1}, {1, 0}, {0, 0}}));
  EXPECT_EQ(draw(0, 0, 4, 1), (PixelSet{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}));
  EXPECT_EQ(draw(7, 5, 7, 5), (PixelSet{{7, 5}}));
  EXPECT_TRUE(draw(7, 5, 7, 5, 0x7FFF).empty());
}

TEST_F(Lines, DashesCountFromTheFirstPoint) {
  PixelSet forward = draw(0, 3, 39, 3, 0xF0F0), backward = draw(20, 3, 0, 3, 0xF0F0);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(forward.count({x, 3}), (x % 8) < 4 ? 1u : 0u) << x;
  PixelSet expected;
  for (int x : {20, 19, 18, 17, 12, 11, 10, 9, 4, 3, 2, 1}) expected.insert({x, 3});
  EXPECT_EQ(backward, expected);
  EXPECT_TRUE(draw(0, 0, 30, 20, 0).empty());
}

TEST_F(Lines, ClippingKeepsPixelsAndDashesOfTheWholeLine) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-70, 110);
  std::uint32_t styles[] = {0xFFFF, 0xF0F0, 0x8001, 0xA5C3};
  for (int n = 0; n < 3000; ++n) {
    int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    std::uint32_t style = styles[n % 4];
    ASSERT_EQ(draw(x1, y1, x2, y2, style), reference_line(x1, y1, x2, y2, style, 40, 30))
        << x1 << "," << y1 << " - " << x2 << "," << y2 << " style " << std::hex << style;
  }
  // Long visible stretches are walked in pieces side by side.
  std::uniform_int_distribution<int> far(-500, 800);
  for (int n = 0; n < 1000; ++n) {
    int x1 = far(rng), y1 = far(rng), x2 = far(rng), y2 = far(rng);
    ASSERT_EQ(draw(x1, y1, x2, y2, 0xFFFF, kLine, 300, 200), reference_line(x1, y1, x2, y2, 0xFFFF, 300, 200))
        << x1 << "," << y1 << " - " << x2 << "," << y2;
  }
}

TEST_F(Lines, BoxesOutlineAndFill) {
  PixelSet outline = draw(5, 10, 10, 20, 0xFFFF, kBoxOutline);
  EXPECT_EQ(outline, draw(10, 10, 5, 20, 0xFFFF, 3));  // corners ordered, kind 3 is an outline too
  EXPECT_EQ(outline.size(), std::size_t(2 * 6 + 2 * 9));
  PixelSet filled = draw(10, 20, 5, 10, 0x0000, kBoxFilled);  // the style does not apply
  EXPECT_EQ(filled.size(), std::size_t(6 * 11));
  EXPECT_EQ(draw(-50, -50, 500, 500, 0xFFFF, kBoxFilled).size(), std::size_t(40 * 30));
  EXPECT_TRUE(draw(-9, 2, -1, 8, 0xFFFF, kBoxFilled).empty());
  // Right side beyond the view: top and bottom run to the edge, no right edge.
  PixelSet clipped = draw(30, 5, 60, 9, 0xFFFF, kBoxOutline);
  EXPECT_TRUE(clipped.count({39, 5}) && clipped.count({39, 9}));
  EXPECT_FALSE(clipped.count({39, 7}));
  EXPECT_TRUE(clipped.count({30, 7}));
}

TEST_F(Lines, FilledBoxOfWholeRowsIsOneExactRun) {
  // Rows 10-54 of a 100-wide image: 4,500 pixels end to end, long enough for
  // the string store. The memory holds five more rows than the header
  // admits, as guards after the image.
  Canvas c(100, 60, 4, 0xFF000000);
  write_image_header(c.bytes.data(), 4, 100, 55);
  gfx_line(c.target(), -5, 10, 150, 70, kInk, kBoxFilled, 0xFFFF, 0);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(c.at(x, y), y >= 10 && y < 55 ? kInk : 0xFF000000u) << x << "," << y;
}

TEST_F(Lines, DashedOutlineRunsAroundTheEdges) {
  // 4 x 3 box: bottom 0-3, top 4-7, right 8-10, left 11-13.
  PixelSet got = draw(0, 0, 3, 2, 0x8000 >> 0 | 0x8000 >> 5 | 0x8000 >> 9 | 0x8000 >> 13, kBoxOutline);
  EXPECT_EQ(got, (PixelSet{{0, 2}, {1, 0}, {3, 1}}));  // left position 13 lands on (0, 2) again
}

TEST_F(Lines, ColourResolutionOnTheScreen) {
  gfx_line(nullptr, 0, 0, 2, 0, std::uint32_t(-2960686), kLine, 0xFFFF, 0);
  gfx_line(nullptr, 0, 1, 0, 1, 15, kLine, 0xFFFF, 0);
  gfx_line(nullptr, 0, 2, 0, 2, 0x12345678, kLine, 0xFFFF, std::int32_t(0x80000000u));
  auto* px = reinterpret_cast<std::uint32_t*>(current_mode()->visible_framebuffer);
  EXPECT_EQ(px[0], 0xFFD2D2D2u);
  EXPECT_EQ(px[320], 0x0000000Fu);
  EXPECT_EQ(px[640], 0xFFFFFFFFu);  // foreground after initialisation
}

TEST_F(Lines, DirtyRowsAreThoseTouched) {
  ScreenMode* mode = current_mode();
  auto marked = [&] {
    std::vector<int> rows;
    for (int y = 0; y < mode->height; ++y)
      if (mode->dirty_rows[std::size_t(y)]) rows.push_back(y);
    std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
    return rows;
  };
  marked();
  gfx_line(nullptr, 5, 3, 20, 10, kInk, kLine, 0xFFFF, 0);
  EXPECT_EQ(marked(), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10}));
  gfx_line(nullptr, -10, 195, 400, 250, kInk, kLine, 0xFFFF, 0);  // enters at the bottom edge
  EXPECT_EQ(marked().back(), 199);
  gfx_line(nullptr, 330, -5, 340, 5, kInk, kLine, 0xFFFF, 0);  // passes the corner only
  EXPECT_TRUE(marked().empty());
  gfx_line(nullptr, 1, 1, 4, 1, kInk, kLine, 0, 0);  // style 0: nothing drawn, row still marked
  EXPECT_EQ(marked(), (std::vector<int>{1}));
  Canvas c(8, 8);
  gfx_line(c.target(), 0, 0, 7, 7, kInk, kLine, 0xFFFF, 0);
  EXPECT_TRUE(marked().empty());
}

TEST_F(Lines, RelativeCoordinatesAndLastPoint) {
  Canvas c(40, 30);
  gfx_line(c.target(), 2, 2, 3, 0, kInk, kLine, 0xFFFF, 1);   // second point relative: (2,2)-(5,2)
  gfx_line(c.target(), 0, 1, 5, 3, kInk, kLine, 0xFFFF, 2);   // first relative to (5,2): (5,3)-(5,3)
  EXPECT_EQ(c.drawn(), (PixelSet{{2, 2}, {3, 2}, {4, 2}, {5, 2}, {5, 3}}));
}

TEST_F(Lines, UnreasonableCoordinatesStayDefined) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  EXPECT_TRUE(draw(0, 0, 0, 0).size() == 1);
  Canvas c(40, 30);
  gfx_line(c.target(), nan, nan, 10, 10, kInk, kLine, 0xFFFF, 0);
  gfx_line(c.target(), 0, 5, inf, 5, kInk, kLine, 0xFFFF, 0);
  gfx_line(c.target(), -1e30f, -1e30f, 1e30f, 1e30f, kInk, kBoxFilled, 0xFFFF, 0);
  gfx_line(c.target(), -inf, 3, 1e30f, 2e30f, kInk, kLine, 0xFFFF, 0);
  EXPECT_EQ(c.drawn().size(), std::size_t(40 * 30));
}

}  // namespace
