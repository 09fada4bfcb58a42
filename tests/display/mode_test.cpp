// Mode setting: the fields of a mode, depth normalisation, refused requests
// that keep the current mode, numbered modes, and the window title.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/vsync.h"
#include "display/window_title.h"
#include "gfx/builtin_data.h"
#include "runtime/console_hooks.h"
#include "runtime/last_error.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

class Modes : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QZGFX", "null", 1); }
};

TEST_F(Modes, TheProgramsMode) {
  gfx_screen_res(1680, 1050, 32, 1, 0, 0);
  ASSERT_EQ(last_error(), 0);
  const ScreenMode* m = current_mode();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->mode_number, -1);
  EXPECT_EQ(m->depth, 32);
  EXPECT_EQ(m->bytes_per_pixel, 4);
  EXPECT_EQ(m->pitch, 6720);
  EXPECT_EQ(m->page_count, 1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m->pages[0]) % 16, 0u);
  EXPECT_EQ(m->visible_framebuffer, m->pages[0]);
  EXPECT_EQ(m->dirty_rows.size(), 1050u);
  EXPECT_EQ(std::count(m->dirty_rows.begin(), m->dirty_rows.end(), 0), 1050);
  EXPECT_EQ(m->text_columns, 210);
  EXPECT_EQ(m->text_rows, 131);
  EXPECT_EQ(m->aspect, 1.0f);
  EXPECT_EQ(m->colour_mask, 0xFFFFFFFFu);
  EXPECT_EQ(m->driver, &null_driver);
  EXPECT_EQ(m->refresh_rate, 0);
  EXPECT_EQ(m->default_font, &builtin_font(0));
  auto* px = reinterpret_cast<const std::uint32_t*>(m->visible_framebuffer);
  for (std::size_t i = 0; i < 1680u * 1050u; ++i) ASSERT_EQ(px[i], 0xFF000000u) << i;
  EXPECT_NE(console_hooks().read_key, nullptr);
}

TEST_F(Modes, DepthsAreNormalised) {
  struct { int asked, depth, bytes; std::uint32_t mask; } cases[] = {
      {24, 32, 4, 0xFFFFFFFF}, {15, 16, 2, 0xFFFF}, {16, 16, 2, 0xFFFF}, {8, 8, 1, 0xFF}, {4, 4, 1, 0xF}, {1, 1, 1, 1}};
  for (auto c : cases) {
    gfx_screen_res(33, 7, c.asked, 0, 0, 0);
    const ScreenMode* m = current_mode();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->depth, c.depth) << c.asked;
    EXPECT_EQ(m->bytes_per_pixel, c.bytes) << c.asked;
    EXPECT_EQ(m->colour_mask, c.mask) << c.asked;
    EXPECT_EQ(m->pitch, 33 * c.bytes);
    EXPECT_EQ(m->page_count, 1);
  }
}

TEST_F(Modes, RefusedRequestsKeepTheCurrentMode) {
  gfx_screen_res(320, 200, 32, 2, 0, 0);
  int id = current_mode()->id;
  struct { int w, h, d; } bad[] = {{320, 200, 12}, {0, 200, 32}, {320, -1, 32}, {100000, 10, 32}, {32767, 32767, 32}};
  for (auto b : bad) {
    gfx_screen_res(b.w, b.h, b.d, 1, 0, 0);
    EXPECT_EQ(last_error(), 1) << b.w << "x" << b.h << "x" << b.d;
    ASSERT_NE(current_mode(), nullptr);
    EXPECT_EQ(current_mode()->id, id);
  }
  // A text grid beyond the screen's pixels is cut to them.
  ASSERT_EQ(gfx_set_mode(-1, 64, 48, 32, 1, 1, 0, 3, 0, 0, 1.0f, 1 << 30, 1 << 30), 0);
  EXPECT_EQ(current_mode()->text_columns, 64);
  EXPECT_EQ(current_mode()->text_rows, 48);
  gfx_screen_res(320, 200, 32, 2, 0, 0);
  id = current_mode()->id;
  EXPECT_EQ(gfx_screen_numbered(22, 8, 0, 0, 0), 1);
  EXPECT_EQ(gfx_screen_numbered(3, 8, 0, 0, 0), 1);
  EXPECT_EQ(gfx_screen_numbered(-1, 8, 0, 0, 0), 1);
  EXPECT_EQ(current_mode()->id, id);
}

TEST_F(Modes, NumberedModes) {
  ASSERT_EQ(gfx_screen_numbered(13, 32, 0, 0, 0), 0);  // depth only replaceable from mode 14 on
  const ScreenMode* m = current_mode();
  EXPECT_EQ(m->width, 320);
  EXPECT_EQ(m->depth, 8);
  EXPECT_FLOAT_EQ(m->aspect, 200.0f / 320.0f * 4.0f / 3.0f);
  EXPECT_EQ(m->default_palette, &builtin_palette(3));
  EXPECT_EQ(m->device_palette[9], 85u | (85u << 8) | (255u << 16));  // bright blue
  EXPECT_EQ(std::count(m->dirty_rows.begin(), m->dirty_rows.end(), 1), 200);  // palette load marks all rows
  ASSERT_EQ(gfx_screen_numbered(14, 32, 0, 0, 0), 0);
  EXPECT_EQ(current_mode()->depth, 32);
  ASSERT_EQ(gfx_screen_numbered(2, 0, 0, 0, 0), 0);
  EXPECT_EQ(current_mode()->scanline_size, 2);
  EXPECT_EQ(current_mode()->dirty_rows.size(), 400u);
  ASSERT_EQ(gfx_screen_numbered(1, 0, 0, 0, 0), 0);
  EXPECT_EQ(current_mode()->page_count, 8);
  EXPECT_EQ(current_mode()->text_columns, 40);
  ASSERT_EQ(gfx_screen_numbered(0, 0, 0, 0, 0), 0);  // back to text mode
  EXPECT_EQ(current_mode(), nullptr);
  EXPECT_EQ(console_hooks().read_key, nullptr);
}

TEST_F(Modes, CloseAndWaitWithoutAMode) {
  gfx_screen_res(64, 64, 32, 1, 0, 0);
  gfx_wait_vsync();
  EXPECT_EQ(last_error(), 0);
  gfx_screen_close();
  EXPECT_EQ(current_mode(), nullptr);
  gfx_wait_vsync();
  EXPECT_EQ(last_error(), 1);
  gfx_screen_close();  // nothing to close
  setenv("QZGFX", "NuLl", 1);
  gfx_screen_res(64, 64, 32, 1, 0, 0);
  EXPECT_EQ(current_mode()->driver, &null_driver);
}

TEST_F(Modes, WindowTitle) {
  // A fresh process: other tests of this one have set a title already.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ensure_default_window_title();
        std::exit(std::strcmp(window_title(), "qz_unit_tests") == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  gfx_window_title(std::string(200, 'x'));
  EXPECT_EQ(std::strlen(window_title()), 127u);
  gfx_window_title(std::string(127, 'y'));
  EXPECT_EQ(std::string(window_title()), std::string(127, 'y'));
  gfx_window_title("kept");
  gfx_screen_res(64, 64, 32, 1, 0, 0);
  gfx_screen_res(32, 32, 32, 1, 0, 0);
  EXPECT_STREQ(window_title(), "kept");
  gfx_window_title("");
  EXPECT_STREQ(window_title(), "");
}

}  // namespace
