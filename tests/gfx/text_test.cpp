// Text: glyphs of the built-in fonts, clipping by whole characters and by
// columns, the text grid and its screen clearing, and image fonts.

#include <gtest/gtest.h>

#include "display/screen_mode.h"
#include "gfx/builtin_data.h"
#include "gfx/context.h"
#include "gfx/line.h"
#include "gfx/text.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

constexpr std::uint32_t kInk = 0xFF00AA00;

class Text : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(1680, 1050, 32); }
  static std::int32_t draw(const ImageRef* target, float x, float y, std::string_view text,
                           const ImageRef* font = nullptr, std::uint32_t colour = kInk) {
    return gfx_draw_string(target, x, y, 4, text, colour, font, 0, nullptr, nullptr, nullptr);
  }
};

TEST_F(Text, GlyphBitsOnlyAndTheirRows) {
  ScreenMode* mode = current_mode();
  gfx_line(nullptr, 0, 0, 1679, 1049, 0xFFD2D2D2, kBoxFilled, 0xFFFF, 0);
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  EXPECT_EQ(draw(nullptr, 932, 80, "PIVOT", nullptr, 0), 0);
  const FontRecord& font = builtin_font(0);
  auto* px = reinterpret_cast<std::uint32_t*>(mode->visible_framebuffer);
  for (int y = 70; y < 100; ++y)
    for (int x = 920; x < 990; ++x) {
      bool inside = x >= 932 && x <= 971 && y >= 80 && y <= 87;
      bool bit = inside && (font.glyphs[std::uint8_t("PIVOT"[(x - 932) / 8]) * 8 + (y - 80)] >> ((x - 932) % 8) & 1);
      EXPECT_EQ(px[y * 1680 + x], bit ? 0u : 0xFFD2D2D2u) << x << "," << y;
    }
  for (int y = 0; y < 1050; ++y) EXPECT_EQ(mode->dirty_rows[std::size_t(y)], y >= 80 && y <= 87 ? 1 : 0) << y;
}

TEST_F(Text, ClippingByCharactersAndColumns) {
  Canvas c(16, 8);
  draw(c.target(), -12, 0, "\xDB\xDB");
  // The first block is skipped; the second starts at -4 with columns 4-7 visible.
  PixelSet expected;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 4; ++x) expected.insert({x, y});
  EXPECT_EQ(c.drawn(), expected);
  Canvas blank(16, 8);
  draw(blank.target(), 0, 0, std::string("  "));
  draw(blank.target(), 0, -8, std::string("\xDB"));
  draw(blank.target(), 16, 0, std::string("\xDB"));
  EXPECT_TRUE(blank.drawn().empty());
  Canvas low(16, 8);
  draw(low.target(), 0, 5, std::string("\xDB"));
  EXPECT_EQ(low.drawn().size(), 8u * 3u);
}

TEST_F(Text, ErrorsAndEmptyText) {
  // Setting the last error is the public qz_text's (tests/api/draw_api_test.cpp).
  EXPECT_EQ(draw(nullptr, 0, 0, std::string_view()), 1);
  EXPECT_EQ(draw(nullptr, 0, 0, std::string()), 0);
  std::vector<std::uint8_t> junk(40, 0xEE);
  ImageRef bad{junk.data(), junk.size()};
  EXPECT_EQ(draw(nullptr, 0, 0, "A", &bad), 1);
}

TEST_F(Text, GridRequests) {
  ScreenMode* mode = current_mode();
  EXPECT_EQ(mode->text_columns, 210);
  EXPECT_EQ(mode->text_rows, 131);
  gfx_line(nullptr, 0, 0, 1679, 1049, 0xFFD2D2D2, kBoxFilled, 0xFFFF, 0);
  EXPECT_EQ(gfx_set_text_grid(0, 0), 210 | (131 << 16));
  EXPECT_EQ(gfx_set_text_grid(140, 65), 0);  // 12-pixel cells: refused, nothing changes
  auto* px = reinterpret_cast<std::uint32_t*>(mode->visible_framebuffer);
  EXPECT_EQ(px[0], 0xFFD2D2D2u);
  EXPECT_EQ(mode->default_font, &builtin_font(0));
  struct { int columns, rows, font; } accepted[] = {{210, 65, 2}, {210, 75, 1}, {200, 65, 2}, {210, 131, 0}};
  for (auto a : accepted) {
    EXPECT_EQ(gfx_set_text_grid(a.columns, a.rows), 0);
    EXPECT_EQ(mode->default_font, &builtin_font(a.font)) << a.columns << "x" << a.rows;
    EXPECT_EQ(mode->text_columns, a.columns);
  }
  EXPECT_EQ(px[1680 * 1049 + 1679], 0xFF000000u);  // an accepted change clears to the background
  EXPECT_EQ(mode->text_cells[0].size(), std::size_t(210 * 131));
  EXPECT_EQ(mode->text_cells[0][0].character, 32);
}

// A font image of 8 x 3 pixels: the header row, then 2-row glyphs for 'a'
// (width 2) and 'b' (width 3, from column 2).
constexpr int kW = 8, kH = 3;
std::vector<std::uint8_t> ab_font() {
  std::vector<std::uint8_t> bytes(kLongImageHeader + kW * kH * 4);
  write_image_header(bytes.data(), 4, kW, kH);
  std::uint8_t* header = bytes.data() + kLongImageHeader;
  header[0] = 0;
  header[1] = 'a';
  header[2] = 'b';
  header[3] = 2;
  header[4] = 3;
  return bytes;
}

TEST_F(Text, ImageFonts) {
  std::vector<std::uint8_t> bytes = ab_font();
  std::uint8_t* pixels = bytes.data() + kLongImageHeader;
  auto* glyphs = reinterpret_cast<std::uint32_t*>(pixels + kW * 4);
  for (int i = 0; i < 2 * kW; ++i) glyphs[i] = 0xFF000000u + std::uint32_t(i);
  ImageRef font{bytes.data(), bytes.size()};
  Canvas c(10, 4);
  EXPECT_EQ(draw(c.target(), 1, 1, "ba?a", &font), 0);
  EXPECT_EQ(c.at(1, 1), 0xFF000002u);  // 'b' starts at glyph column 2
  EXPECT_EQ(c.at(3, 2), 0xFF000000u + kW + 4);
  EXPECT_EQ(c.at(4, 1), 0xFF000000u);  // then 'a'; '?' has no glyph and takes no room
  EXPECT_EQ(c.at(6, 1), 0xFF000000u);
  pixels[4] = 7;  // widths now exceed the image width
  EXPECT_EQ(draw(c.target(), 1, 1, "a", &font), 1);
}

struct PutCall {
  const std::uint8_t* src;
  std::uint8_t* dest;
  int width, height, src_pitch, dest_pitch;
  std::uint32_t colour;
  GlyphBlendFn blend;
  void* param;
};
std::vector<PutCall> g_puts;

TEST_F(Text, ImageFontPutRoutineArgumentOrder) {
  std::vector<std::uint8_t> bytes = ab_font();
  std::uint8_t* pixels = bytes.data() + kLongImageHeader;
  ImageRef font{bytes.data(), bytes.size()};
  GlyphPutFn record = [](const std::uint8_t* src, std::uint8_t* dest, int width, int height, int src_pitch,
                         int dest_pitch, std::uint32_t colour, GlyphBlendFn blend, void* param) {
    g_puts.push_back({src, dest, width, height, src_pitch, dest_pitch, colour, blend, param});
  };
  GlyphBlendFn keep = [](std::uint32_t src, std::uint32_t, void*) { return src; };
  int param = 0;
  Canvas c(10, 4);
  g_puts.clear();
  EXPECT_EQ(gfx_draw_string(c.target(), 1, 1, 4, "b", 0xFF112233, &font, 0, record, keep, &param), 0);
  ASSERT_EQ(g_puts.size(), 1u);
  const PutCall& call = g_puts[0];
  EXPECT_EQ(call.src, pixels + kW * 4 + 2 * 4);
  EXPECT_EQ(call.dest, c.bytes.data() + kLongImageHeader + (1 * 10 + 1) * 4);
  EXPECT_EQ(call.width, 3);
  EXPECT_EQ(call.height, 2);
  EXPECT_EQ(call.src_pitch, kW * 4);
  EXPECT_EQ(call.dest_pitch, 10 * 4);
  EXPECT_EQ(call.colour, 0xFF112233u);
  EXPECT_EQ(call.blend, keep);
  EXPECT_EQ(call.param, &param);
}

}  // namespace
