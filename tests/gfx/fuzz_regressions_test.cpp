// Faults the graphics-stack fuzzer found (tests/fuzz/regressions holds the
// inputs), replayed as plain calls in the ordinary unit test build.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "display/screen_mode.h"
#include "display/window_title.h"
#include "gfx/circle.h"
#include "gfx/image.h"
#include "gfx/line.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

constexpr std::uint8_t kGuard = 0xA5;

class FuzzRegressions : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(64, 48, 16); }
  void TearDown() override { gfx_screen_close(); }
};

// An image target is remembered by its address. Handing the same bytes over
// again with another size (memory given back, or reused for a smaller image)
// must not draw through the rows of the image that was there before.
TEST_F(FuzzRegressions, SameAddressWithAnotherSizeIsAnotherImage) {
  struct Case {
    const char* what;
    int new_height;         // rows the rewritten header claims, 0: header left alone
    std::size_t new_size;   // bytes handed over the second time
    std::size_t drawn_end;  // bytes the second box may write, header included
  };
  constexpr std::size_t kRow = 20 * 2;
  static constexpr Case kCases[] = {
      {"rows no longer fit: refused", 0, 40, 0},
      {"one row left", 1, kLongImageHeader + kRow, kLongImageHeader + kRow},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> memory(kLongImageHeader + 10 * kRow, 0);
    write_image_header(memory.data(), 2, 20, 10);
    const ImageRef whole{memory.data(), memory.size()};
    gfx_line(&whole, 0, 0, 19, 9, 0xFFFFFFFFu, kBoxFilled, 0xFFFF, 0);
    ASSERT_EQ(memory.back(), 0xFF) << "the first box fills the whole image";

    if (c.new_height > 0) write_image_header(memory.data(), 2, 20, c.new_height);
    std::fill(memory.begin() + kLongImageHeader, memory.end(), kGuard);
    const ImageRef smaller{memory.data(), c.new_size};
    gfx_line(&smaller, 0, 0, 19, 9, 0xFFFFFFFFu, kBoxFilled, 0xFFFF, 0);
    for (std::size_t i = kLongImageHeader; i < memory.size(); ++i)
      ASSERT_EQ(memory[i], i < c.drawn_end ? 0xFF : kGuard) << "byte " << i;
  }
}

// An image's memory and pitch are the caller's: rows may start at any byte.
// Spans and blends must write whole, correct pixels there (and, under UBSan,
// without a misaligned store).
TEST_F(FuzzRegressions, ImageRowsNeedNotBeAligned) {
  struct Case {
    int bpp;
    std::uint32_t colour;
    std::uint32_t expected;  // over a cleared pixel
  };
  static constexpr Case kCases[] = {
      {2, 0xFFFFFFFFu, 0xFFFF},
      {4, 0xFF123456u, 0xFF123456u},
      {4, 0x80FFFFFFu, 0x807F7F7Fu},  // half-transparent white blends over black
  };
  gfx_screen_close();
  setenv("QZGFX", "null", 1);
  gfx_screen_res(64, 48, 32, 1, kModeAlphaBlend, 0);
  ASSERT_NE(current_mode(), nullptr);
  constexpr int kWidth = 7, kHeight = 5;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bpp);
    const std::uint32_t pitch = kWidth * c.bpp + 1;
    std::vector<std::uint8_t> memory(1 + kLongImageHeader + kHeight * pitch, 0);
    std::uint8_t* bytes = memory.data() + 1;  // odd address, odd pitch
    write_image_header(bytes, c.bpp, kWidth, kHeight);
    std::memcpy(bytes + 16, &pitch, sizeof pitch);
    const ImageRef image{bytes, memory.size() - 1};
    gfx_line(&image, 0, 0, kWidth - 1, kHeight - 1, c.colour, kBoxFilled, 0xFFFF, 0);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes + kLongImageHeader + y * pitch + x * c.bpp, std::size_t(c.bpp));
        ASSERT_EQ(v, c.expected) << x << "," << y;
      }
  }
}

// An outline ellipse so flat that its vertical radius is 0 (radius times a
// denormal aspect) is drawn as one filled row, which must not use the fill's
// row markers without having them.
TEST_F(FuzzRegressions, FlatOutlineEllipseIsOneRow) {
  Canvas canvas(40, 30, 2);
  const float denormal = std::numeric_limits<float>::denorm_min();
  gfx_circle(canvas.target(), 20, 17, 0.25f, 0xFFFFFFFFu, denormal, 0.0f, kFullTurn, 0, 0);
  EXPECT_EQ(canvas.drawn(), (PixelSet{{19, 17}, {20, 17}}));
}

// A mode set with a non-finite aspect takes the size's aspect, as with 0, so
// that circles drawn with the mode's aspect stay defined.
TEST_F(FuzzRegressions, NonFiniteModeAspectIsTheSizesAspect) {
  const float kInf = std::numeric_limits<float>::infinity();
  for (float aspect : {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf}) {
    SCOPED_TRACE(aspect);
    ASSERT_EQ(gfx_set_mode(-1, 40, 30, 32, 1, 1, 0, 3, 0, 0, aspect, 5, 3), 0);
    EXPECT_FLOAT_EQ(current_mode()->aspect, 30.0f / 40.0f * 4.0f / 3.0f);
    Canvas with_mode_aspect(40, 30), with_one(40, 30);
    gfx_circle(with_mode_aspect.target(), 20, 15, 9, 0xFFFFFFFFu, 0.0f, 0.0f, kFullTurn, 0, 0);
    gfx_circle(with_one.target(), 20, 15, 9, 0xFFFFFFFFu, 1.0f, 0.0f, kFullTurn, 0, 0);
    EXPECT_EQ(with_mode_aspect.drawn(), with_one.drawn());
  }
}

// A default-constructed view has no data; as a title it clears the title
// (under UBSan a null source for memcpy is reported even for zero bytes).
TEST_F(FuzzRegressions, TitleFromAViewWithoutData) {
  gfx_window_title("before");
  gfx_window_title(std::string_view());
  ASSERT_NE(window_title(), nullptr);
  EXPECT_STREQ(window_title(), "");
}

}  // namespace
