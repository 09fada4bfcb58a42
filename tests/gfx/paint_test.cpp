// Flood fill: what stops the region (only the border colour, 4-connected,
// the view), pattern tiles, and termination whatever the colours.

#include <gtest/gtest.h>

#include <random>

#include "display/screen_mode.h"
#include "gfx/circle.h"
#include "gfx/line.h"
#include "gfx/paint.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

constexpr std::uint32_t kBorder = 0x0000000F, kFill = 0xFF0000FF;

class Paint : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(); }
};

int count(const Canvas& c, std::uint32_t colour) {
  int n = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) n += c.at(x, y) == colour;
  return n;
}

TEST_F(Paint, FillsTheInsideOfAnOutline) {
  Canvas c(41, 41);
  gfx_circle(c.target(), 20, 20, 10, kBorder, 0.0f, 0.0f, kFullTurn, 0, 4);
  int outline = count(c, kBorder);
  gfx_paint(c.target(), 20, 20, kFill, kBorder, "", kPaintSolid, 4);
  EXPECT_EQ(count(c, kBorder), outline);
  EXPECT_EQ(c.at(20, 20), kFill);
  EXPECT_EQ(c.at(0, 0), 0u);
  // Every pixel inside the ring on the middle row is filled.
  for (int x = 11; x <= 29; ++x) EXPECT_EQ(c.at(x, 20), kFill) << x;
}

TEST_F(Paint, SeedOnTheBorderOrOutsideDoesNothing) {
  ScreenMode* mode = current_mode();
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  gfx_line(nullptr, 0, 10, 319, 10, kBorder, kLine, 0xFFFF, 0);
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  gfx_paint(nullptr, 5, 10, kFill, kBorder, "", kPaintSolid, 4);
  gfx_paint(nullptr, -1, 50, kFill, kBorder, "", kPaintSolid, 4);
  for (std::uint8_t row : mode->dirty_rows) EXPECT_EQ(row, 0);
}

TEST_F(Paint, DiagonalGapsHoldOrthogonalGapsLeak) {
  Canvas diagonal(12, 12), open(12, 12);
  for (Canvas* c : {&diagonal, &open}) gfx_line(c->target(), 2, 2, 9, 9, kBorder, kBoxOutline, 0xFFFF, 0);
  // Cut a corner pixel of one box (diagonal gap after the corner) and an edge
  // pixel of the other (orthogonal gap).
  diagonal.set(2, 2, 0);
  diagonal.set(3, 3, kBorder);
  open.set(5, 2, 0);
  gfx_paint(diagonal.target(), 5, 5, kFill, kBorder, "", kPaintSolid, 4);
  gfx_paint(open.target(), 5, 5, kFill, kBorder, "", kPaintSolid, 4);
  EXPECT_EQ(diagonal.at(0, 0), 0u);
  EXPECT_EQ(open.at(0, 0), kFill);
  EXPECT_EQ(open.at(11, 11), kFill);  // an open region fills to the view's edges
}

TEST_F(Paint, TerminatesWhateverTheColours) {
  Canvas c(30, 20, 4, 0xFFBF40BF);
  gfx_paint(c.target(), 3, 3, 0xFFBF40BF, 0xFF000000, "", kPaintSolid, 4);  // fill = present colour
  EXPECT_EQ(count(c, 0xFFBF40BF), 600);
  Canvas marker(30, 20);
  gfx_line(marker.target(), 5, 5, 15, 15, 0xFFBF40BF, kBoxOutline, 0xFFFF, 0);
  gfx_paint(marker.target(), 10, 10, 0xFFBF40BF, 0, "", kPaintSolid, 4 | kPaintBorderIsFill);
  EXPECT_EQ(count(marker, 0xFFBF40BF), 11 * 11);
  EXPECT_EQ(marker.at(0, 0), 0u);
}

TEST_F(Paint, PatternTiles) {
  set_null_mode(64, 16, 8);
  Canvas c(24, 10, 1);
  gfx_paint(c.target(), 0, 0, 1, 0xFF, "ABCDEFGH", kPaintPattern, 4);
  for (int x = 0; x < 24; ++x) EXPECT_EQ(c.at(x, 0), std::uint32_t('A' + (x & 7))) << x;
  EXPECT_EQ(c.at(3, 1), 0u);  // tile rows 1-7 are zero when the string has only one row
  EXPECT_EQ(c.at(5, 8), std::uint32_t('F'));
  set_null_mode();
  Canvas wide(12, 2);
  std::string tile(256, '\0');
  for (int i = 0; i < 8; ++i) tile[std::size_t(i) * 4] = char(10 + i);
  wide.set(7, 0, kBorder);
  wide.set(11, 0, kBorder);
  gfx_paint(wide.target(), 9, 0, kFill, kBorder, tile, kPaintPattern, 4);  // span 8..10: tile columns 0, 1, 2
  EXPECT_EQ(wide.at(8, 0), 10u);
  EXPECT_EQ(wide.at(9, 0), 11u);
  EXPECT_EQ(wide.at(10, 0), 12u);
}

// The region is every pixel 4-connected to the seed through non-border
// pixels; compared with a plain breadth-first search on random mazes.
TEST_F(Paint, RegionMatchesABreadthFirstSearch) {
  std::mt19937 rng(11);
  for (int bpp : {4, 2, 1}) {
    set_null_mode(64, 64, bpp == 4 ? 32 : bpp == 2 ? 16 : 8);
    for (int n = 0; n < 60; ++n) {
      Canvas c(37 + n % 5 + (n % 3 == 0 ? 160 : 0), 23, bpp, 0);  // wide rows: many runs each
      // At 16 bits the arguments are converted from 0xRRGGBB: pick values whose
      // conversions are the pixels laid out here.
      const bool rgb565 = bpp == 2;
      std::uint32_t border = rgb565 ? 0xF800 : 7, fill = rgb565 ? 0x07E0 : 9;
      std::uint32_t border_arg = rgb565 ? 0xFF0000 : border, fill_arg = rgb565 ? 0x00FF00 : 12;
      std::uint32_t painted = rgb565 ? 0x07E0 : 12;
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          if (int(rng() % 100) < 30 + n % 20) c.set(x, y, border);
          else if (rng() % 7 == 0) c.set(x, y, fill);  // the fill colour already there stops nothing
      int sx = int(rng() % unsigned(c.width)), sy = int(rng() % unsigned(c.height));
      std::vector<int> region(std::size_t(c.width * c.height), 0);
      if (c.at(sx, sy) != border) {
        std::vector<std::pair<int, int>> todo{{sx, sy}};
        region[std::size_t(sy * c.width + sx)] = 1;
        while (!todo.empty()) {
          auto [x, y] = todo.back();
          todo.pop_back();
          const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
          for (int d = 0; d < 4; ++d) {
            int nx = x + dx[d], ny = y + dy[d];
            if (nx < 0 || ny < 0 || nx >= c.width || ny >= c.height || c.at(nx, ny) == border) continue;
            if (region[std::size_t(ny * c.width + nx)]++) continue;
            todo.push_back({nx, ny});
          }
        }
      }
      Canvas before = c;
      gfx_paint(c.target(), float(sx), float(sy), fill_arg, border_arg, "", kPaintSolid, 4);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          ASSERT_EQ(c.at(x, y), region[std::size_t(y * c.width + x)] ? painted : before.at(x, y))
              << "bpp " << bpp << " case " << n << " at " << x << "," << y;
    }
  }
}

TEST_F(Paint, LargeRegionsAndMarkedRows) {
  set_null_mode(640, 480, 32);
  ScreenMode* mode = current_mode();
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  // A comb: many separate runs per row joined at the bottom.
  for (int x = 1; x < 640; x += 2) gfx_line(nullptr, float(x), 0, float(x), 470, kBorder, kLine, 0xFFFF, 0);
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  gfx_paint(nullptr, 0, 0, kFill, kBorder, "", kPaintSolid, 4);
  auto* px = reinterpret_cast<std::uint32_t*>(mode->visible_framebuffer);
  EXPECT_EQ(px[470 * 640 + 638], kFill);
  EXPECT_EQ(px[0 * 640 + 638], kFill);
  EXPECT_EQ(px[479 * 640 + 639], kFill);
  for (int y = 0; y < 480; ++y) ASSERT_EQ(mode->dirty_rows[std::size_t(y)], 1) << y;
}

}  // namespace
