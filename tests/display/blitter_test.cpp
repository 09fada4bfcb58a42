// Row conversion: per-pixel results of every routine in both channel orders,
// the selection table, the conversion table and the row walk (marked rows
// only, repeated scanlines, flags left alone), on modes set without a window.

#include "display/blitter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/screen_mode.h"

using namespace qz;

namespace {

constexpr std::uint8_t kUntouched = 0xEE;

int dest_bytes(int dest_depth) { return dest_depth == 8 ? 1 : dest_depth <= 16 ? 2 : dest_depth / 8; }

// A destination surface filled with a marker byte.
struct Window {
  Window(int rows, std::int32_t step) : bytes(static_cast<std::size_t>(rows) * step, kUntouched), step(step) {}

  std::uint32_t pixel(int row, int x, int size) const {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + static_cast<std::size_t>(row) * step + static_cast<std::size_t>(x) * size, size);
    return v;
  }
  bool row_untouched(int row) const {
    for (std::int32_t i = 0; i < step; ++i) {
      if (bytes[static_cast<std::size_t>(row) * step + i] != kUntouched) return false;
    }
    return true;
  }

  std::vector<std::uint8_t> bytes;
  std::int32_t step;
};

class BlitterTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QZGFX", "null", 1); }
  void TearDown() override { gfx_screen_close(); }

  // A mode with no row marked, or null when the mode set failed.
  static ScreenMode* set_mode(int width, int height, int depth, int scanline_size = 1) {
    if (gfx_set_mode(-1, width, height, depth, scanline_size, 1, 0, 3, 0, 0, 1.0f, 1, 1) != 0) return nullptr;
    ScreenMode* mode = current_mode();
    if (mode != nullptr) std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
    return mode;
  }

  static void put(ScreenMode& mode, int x, int y, std::uint32_t value) {
    std::memcpy(mode.visible_framebuffer + static_cast<std::size_t>(y) * mode.pitch +
                    static_cast<std::size_t>(x) * mode.bytes_per_pixel,
                &value, static_cast<std::size_t>(mode.bytes_per_pixel));
  }
};

struct PixelCase {
  int src_depth;
  int dest_depth;
  ChannelOrder order;
  std::uint32_t source;  // the pixel, or for 8-bit sources the palette entry
  std::uint32_t expected;
};

constexpr ChannelOrder kStd = ChannelOrder::kStandard;
constexpr ChannelOrder kSwap = ChannelOrder::kSwapped;
constexpr std::uint8_t kIndex = 7;  // palette index written by 8-bit cases

// 32-bit destinations are compared without their top byte, which carries no meaning.
constexpr PixelCase kPixelCases[] = {
    {8, 8, kStd, 0x0000FF, kIndex},
    {8, 8, kSwap, 0x0000FF, kIndex},
    {8, 15, kStd, 0x0000FF, 0x7C00},
    {8, 15, kSwap, 0x0000FF, 0x001F},
    {8, 16, kStd, 0x0000FF, 0xF800},
    {8, 16, kSwap, 0x0000FF, 0x001F},
    {8, 16, kStd, 0x804020, 0x2210},
    {8, 16, kSwap, 0x804020, 0x8204},
    {8, 24, kStd, 0x0000FF, 0xFF0000},
    {8, 24, kSwap, 0x0000FF, 0x0000FF},
    {8, 32, kStd, 0x0000FF, 0x00FF0000},
    {8, 32, kSwap, 0x0000FF, 0x000000FF},
    {16, 15, kStd, 0xFFFF, 0x7FFF},
    {16, 15, kStd, 0xF800, 0x7C00},
    {16, 15, kSwap, 0xF800, 0x001F},
    {16, 16, kStd, 0xF800, 0xF800},
    {16, 16, kSwap, 0xF800, 0x001F},
    {16, 16, kSwap, 0x07E0, 0x07E0},
    {16, 24, kStd, 0xF800, 0xF80000},
    {16, 24, kSwap, 0xF800, 0x0000F8},
    {16, 32, kStd, 0xF800, 0x00F80000},
    {16, 32, kSwap, 0xF800, 0x000000F8},
    {16, 32, kStd, 0x07E0, 0x0000FC00},
    {16, 32, kSwap, 0x07E0, 0x0000FC00},
    {32, 15, kStd, 0x00FF0000, 0x7C00},
    {32, 15, kSwap, 0x00FF0000, 0x001F},
    {32, 16, kStd, 0x00FFFFFF, 0xFFFF},
    {32, 16, kStd, 0xFF808080, 0x8410},
    {32, 16, kSwap, 0x00FF0000, 0x001F},
    {32, 24, kStd, 0xAA112233, 0x112233},
    {32, 24, kSwap, 0xAA112233, 0x332211},
    {32, 32, kStd, 0xAA112233, 0x112233},
    {32, 32, kSwap, 0xAA112233, 0x332211},
};

}  // namespace

// An odd width of 9 pixels alternating the value and zero: pairs must keep
// their order, the last pixel is converted and nothing past the row is written.
TEST_F(BlitterTest, ConvertsPixelsInBothOrders) {
  constexpr int kWidth = 9;
  for (const auto& c : kPixelCases) {
    SCOPED_TRACE(testing::Message() << c.src_depth << " -> " << c.dest_depth
                                    << (c.order == kSwap ? " swapped" : " standard") << ", source 0x"
                                    << std::hex << c.source);
    ScreenMode* mode = set_mode(kWidth, 2, c.src_depth);
    ASSERT_NE(mode, nullptr);
    const std::uint32_t written = c.src_depth == 8 ? kIndex : c.source;
    if (c.src_depth == 8) mode->device_palette[kIndex] = c.source;
    for (int x = 0; x < kWidth; ++x) put(*mode, x, 0, x % 2 == 0 ? written : 0);
    mode->dirty_rows[0] = 1;

    const Blitter blit = select_blitter(c.dest_depth, c.order);
    ASSERT_NE(blit, nullptr);
    const int size = dest_bytes(c.dest_depth);
    Window window(2, 64);
    blit(window.bytes.data(), window.step);

    const std::uint32_t mask = size == 4 ? 0x00FFFFFF : 0xFFFFFFFF;
    for (int x = 0; x < kWidth; ++x) {
      EXPECT_EQ(window.pixel(0, x, size) & mask, x % 2 == 0 ? c.expected : 0u) << "pixel " << x;
    }
    for (int i = kWidth * size; i < window.step; ++i) EXPECT_EQ(window.bytes[i], kUntouched) << "byte " << i;
    EXPECT_TRUE(window.row_untouched(1));
  }
}

TEST_F(BlitterTest, SelectsByDepthPair) {
  EXPECT_EQ(select_blitter(32, kStd), nullptr) << "no mode";

  ASSERT_NE(set_mode(8, 2, 16), nullptr);
  EXPECT_EQ(select_blitter(8, kStd), nullptr);
  EXPECT_EQ(select_blitter(8, kSwap), nullptr);
  EXPECT_EQ(select_blitter(12, kStd), nullptr);
  ASSERT_NE(set_mode(8, 2, 32), nullptr);
  EXPECT_EQ(select_blitter(8, kSwap), nullptr);
  // 1-, 2- and 4-bit modes convert as 8-bit ones.
  for (int depth : {1, 2, 4, 8}) {
    ASSERT_NE(set_mode(8, 2, depth), nullptr);
    for (int dest : {8, 15, 16, 24, 32}) EXPECT_NE(select_blitter(dest, kSwap), nullptr) << depth << " -> " << dest;
  }
}

// Every 16-bit pixel through the table equals its channels widened to 8 bits.
TEST_F(BlitterTest, ConversionTableWidensEveryPixel) {
  for (ChannelOrder order : {kStd, kSwap}) {
    select_blitter(32, order);
    const ConversionTable& table = conversion_table();
    for (std::uint32_t p = 0; p < 0x10000; ++p) {
      const std::uint32_t red = (p >> 11) << 3, green = ((p >> 5) & 0x3F) << 2, blue = (p & 0x1F) << 3;
      const std::uint32_t expected =
          order == kStd ? (red << 16 | green << 8 | blue) : (blue << 16 | green << 8 | red);
      ASSERT_EQ(table.low[p & 0xFF] | table.high[p >> 8], expected) << "pixel 0x" << std::hex << p;
    }
  }
}

// Framebuffer row 1 of 3 marked with two window rows per framebuffer row:
// window rows 2 and 3 are written, the rest and the flags stay as they were.
// A negative step (bottom-up surface) walks the same rows from the end.
TEST_F(BlitterTest, WritesMarkedRowsOnceForEveryScanline) {
  struct Case {
    int dest_depth;
    bool bottom_up;
  };
  for (const Case c : {Case{32, false}, Case{16, false}, Case{16, true}}) {
    SCOPED_TRACE(testing::Message() << "to " << c.dest_depth << (c.bottom_up ? " bottom-up" : ""));
    ScreenMode* mode = set_mode(4, 3, 32, 2);
    ASSERT_NE(mode, nullptr);
    ASSERT_EQ(mode->dirty_rows.size(), 6u);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) put(*mode, x, y, 0x00FF0000u >> (8 * y));
    }
    mode->dirty_rows[1] = 1;
    const std::vector<std::uint8_t> flags = mode->dirty_rows;

    Window window(6, 32);
    std::uint8_t* first_row = window.bytes.data() + (c.bottom_up ? 5 * window.step : 0);
    select_blitter(c.dest_depth, kStd)(first_row, c.bottom_up ? -window.step : window.step);

    const int size = dest_bytes(c.dest_depth);
    const std::uint32_t green = c.dest_depth == 32 ? 0x0000FF00 : 0x07E0;
    for (int window_row = 0; window_row < 6; ++window_row) {
      const int stored = c.bottom_up ? 5 - window_row : window_row;
      if (window_row == 2 || window_row == 3) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(window.pixel(stored, x, size), green) << "window row " << window_row;
      } else {
        EXPECT_TRUE(window.row_untouched(stored)) << "window row " << window_row;
      }
    }
    EXPECT_EQ(mode->dirty_rows, flags);
  }
}

// The layered copy clears the top byte and does not repeat scanlines.
TEST_F(BlitterTest, LayeredCopyClearsAlphaOfMarkedRows) {
  ScreenMode* mode = set_mode(3, 2, 32, 2);
  ASSERT_NE(mode, nullptr);
  for (int x = 0; x < 3; ++x) {
    put(*mode, x, 0, 0xFF000001);
    put(*mode, x, 1, 0x80123456);
  }
  mode->dirty_rows[1] = 1;
  Window window(4, 16);
  blit_layered_copy(window.bytes.data(), window.step);
  EXPECT_TRUE(window.row_untouched(0));
  for (int x = 0; x < 3; ++x) EXPECT_EQ(window.pixel(1, x, 4), 0x00123456u);
  EXPECT_TRUE(window.row_untouched(2));
  EXPECT_TRUE(window.row_untouched(3));
}

// A routine run on a mode of another pixel size (chosen for an earlier
// mode) and the layered copy on a non-32-bit mode leave the window alone
// instead of reading past the framebuffer's rows.
TEST_F(BlitterTest, IgnoresModesOfAnotherPixelSize) {
  ASSERT_NE(set_mode(8, 2, 32), nullptr);
  const Blitter from32 = select_blitter(16, kStd);
  ASSERT_NE(from32, nullptr);
  ScreenMode* mode = set_mode(8, 2, 16);
  ASSERT_NE(mode, nullptr);
  mode->dirty_rows[0] = mode->dirty_rows[1] = 1;

  Window window(2, 64);
  from32(window.bytes.data(), window.step);
  blit_layered_copy(window.bytes.data(), window.step);
  EXPECT_TRUE(window.row_untouched(0));
  EXPECT_TRUE(window.row_untouched(1));
}
