// The screen, pages, input waits, timing and errors through the public
// header alone, without a window (the tests run with QZGFX=null).

#include <gtest/gtest.h>

#include <qzgfx/qzgfx.h>

#include <signal.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string message() { return qz_error_message(); }

std::uint32_t first_pixel() { return *static_cast<const std::uint32_t*>(qz_screen_pixels()); }

TEST(ScreenApi, OpenInfoAndClose) {
  ASSERT_EQ(qz_screen_open(64, 48, 24, 3, 0, 0), 0) << message();
  EXPECT_EQ(qz_screen_is_open(), 1);
  qz_screen_info info{};
  ASSERT_EQ(qz_screen_get_info(&info), 0);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(info.depth, 32);
  EXPECT_EQ(info.pitch, 64 * 4);
  EXPECT_EQ(info.pages, 3);
  EXPECT_STREQ(info.driver, "Null");

  // A request that can never work leaves the open screen alone.
  EXPECT_EQ(qz_screen_open(0, 480, 32, 1, 0, 0), 1);
  EXPECT_NE(message().find("size"), std::string::npos) << message();
  EXPECT_EQ(qz_screen_open(640, 480, 7, 1, 0, 0), 1);
  EXPECT_NE(message().find("depth"), std::string::npos) << message();
  EXPECT_EQ(qz_screen_open_mode(4, 0, 0, 0, 0), 1);
  EXPECT_EQ(qz_screen_is_open(), 1);

  qz_screen_close();
  EXPECT_EQ(qz_screen_is_open(), 0);
  EXPECT_EQ(qz_screen_pixels(), nullptr);
  EXPECT_EQ(qz_screen_get_info(&info), 1);
  EXPECT_EQ(info.width, 0);
  EXPECT_EQ(qz_last_error(), 1);
}

TEST(ScreenApi, NumberedModes) {
  ASSERT_EQ(qz_screen_open_mode(13, 0, 0, QZ_NO_WINDOW, 0), 0) << message();
  qz_screen_info info{};
  qz_screen_get_info(&info);
  EXPECT_EQ(info.width * 1000 + info.height, 320200);
  EXPECT_EQ(info.depth, 8);
  EXPECT_EQ(info.text_columns * 100 + info.text_rows, 4025);
  ASSERT_EQ(qz_screen_open_mode(18, 32, 2, QZ_NO_WINDOW, 0), 0) << message();
  qz_screen_get_info(&info);
  EXPECT_EQ(info.depth, 32);
  EXPECT_EQ(info.pages, 2);
  ASSERT_EQ(qz_screen_open_mode(1, 0, 0, QZ_NO_WINDOW, 0), 0) << message();
  qz_screen_get_info(&info);
  EXPECT_EQ(info.pages, 8);  // the mode's own
  EXPECT_EQ(qz_screen_open_mode(22, 0, 0, QZ_NO_WINDOW, 0), 1);
  EXPECT_NE(message().find("mode 22"), std::string::npos) << message();
  qz_screen_close();
}

TEST(ScreenApi, DrawingGoesToTheWorkPageUntilFlipped) {
  ASSERT_EQ(qz_screen_open(16, 8, 32, 2, QZ_NO_WINDOW, 0), 0) << message();
  const std::uint32_t black = first_pixel();
  void* const front = qz_screen_pixels();
  ASSERT_EQ(qz_set_pages(1, 0), 0);
  void* const back = qz_screen_pixels();
  EXPECT_NE(back, front);

  qz_clear(nullptr, QZ_RED);
  EXPECT_EQ(first_pixel(), QZ_RED);
  ASSERT_EQ(qz_set_pages(0, -1), 0);
  EXPECT_EQ(first_pixel(), black) << "the visible page changed before the flip";

  ASSERT_EQ(qz_set_pages(1, -1), 0);
  ASSERT_EQ(qz_flip(), 0);
  qz_screen_info info{};
  qz_screen_get_info(&info);
  EXPECT_EQ(info.visible_page, 1);
  EXPECT_EQ(info.work_page, 0);
  EXPECT_EQ(qz_screen_pixels(), front);
  qz_clear(nullptr, QZ_BLUE);  // the new work page: the shown one keeps red
  ASSERT_EQ(qz_set_pages(1, -1), 0);
  EXPECT_EQ(first_pixel(), QZ_RED);

  EXPECT_EQ(qz_set_pages(2, -1), 1);
  EXPECT_EQ(qz_set_pages(-1, -2), 1);
  ASSERT_EQ(qz_screen_open(16, 8, 32, 1, QZ_NO_WINDOW, 0), 0);
  EXPECT_EQ(qz_flip(), 1);
  qz_screen_close();
}

TEST(ScreenApi, PaletteOfAnEightBitScreenOnly) {
  ASSERT_EQ(qz_screen_open(16, 8, 8, 1, QZ_NO_WINDOW, 0), 0) << message();
  ASSERT_EQ(qz_set_palette(200, 10, 20, 30), 0);
  int r = 0, g = 0, b = 0;
  ASSERT_EQ(qz_get_palette(200, &r, &g, &b), 0);
  EXPECT_EQ(r * 65536 + g * 256 + b, 10 * 65536 + 20 * 256 + 30);
  EXPECT_EQ(qz_set_palette(256, 0, 0, 0), 1);
  EXPECT_EQ(qz_set_palette(1, 0, 300, 0), 1);
  ASSERT_EQ(qz_screen_open(16, 8, 32, 1, QZ_NO_WINDOW, 0), 0);
  EXPECT_EQ(qz_set_palette(1, 0, 0, 0), 1);
  qz_screen_close();
}

TEST(ScreenApi, WaitsWithoutAWindow) {
  EXPECT_EQ(qz_wait_key(), 0);  // no screen
  EXPECT_EQ(qz_last_error(), 1);
  qz_wait_vsync();
  EXPECT_EQ(qz_last_error(), 1);

  ASSERT_EQ(qz_screen_open(16, 8, 32, 1, 0, 0), 0) << message();
  double start = qz_time();
  EXPECT_EQ(qz_wait_key(), 0);
  EXPECT_EQ(qz_last_error(), 1);
  EXPECT_NE(message().find("no window"), std::string::npos) << message();
  qz_event event{};
  EXPECT_EQ(qz_wait_event(&event, -1), 0);
  EXPECT_LT(qz_time() - start, 1.0) << "a wait that no key or event could end";

  start = qz_time();
  qz_wait_vsync();
  EXPECT_EQ(qz_last_error(), 0);
  EXPECT_GE(qz_time() - start, 0.010) << "the Null driver does not pace";
  EXPECT_EQ(qz_get_mouse(nullptr), 1);
  qz_screen_close();
}

TEST(ScreenApi, InputWithoutAScreen) {
  EXPECT_EQ(qz_read_key(), 0);
  EXPECT_EQ(qz_key_pending(), 0);
  EXPECT_EQ(qz_key_down(QZ_SCAN_ESCAPE), 0);
  qz_event event{};
  event.type = QZ_EVENT_CLOSE;
  EXPECT_EQ(qz_poll_event(&event), 0);
  EXPECT_EQ(event.type, QZ_EVENT_NONE);
  EXPECT_EQ(qz_set_mouse(1, 1), 1);
  EXPECT_EQ(message(), "no screen is open");

  const double start = qz_time();
  qz_sleep(120);  // longer than one of its slices
  EXPECT_GE(qz_time() - start, 0.119);
}

TEST(ScreenApi, OpeningLeavesTheProcessAlone) {
  ASSERT_EQ(qz_screen_open(16, 8, 32, 1, 0, 0), 0) << message();
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction action {};
    ASSERT_EQ(sigaction(s, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << s;
  }
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
  qz_screen_close();
}

TEST(ScreenApi, UnknownBackEndsAndScalesAreNamed) {
  setenv("QZGFX", "bogus", 1);
  unsetenv("DISPLAY");
  EXPECT_EQ(qz_screen_open(16, 8, 32, 1, 0, 0), 1);
  EXPECT_EQ(qz_last_error(), 1);
  EXPECT_EQ(message().rfind("cannot open a window: ", 0), 0u) << message();
  EXPECT_NE(message().find("QZGFX=\"bogus\" names no display back end"), std::string::npos) << message();
  EXPECT_NE(message().find("null"), std::string::npos) << message();
  setenv("QZGFX", "null", 1);

  // A scale that is none: the screen opens (unscaled) and the reason stays.
  setenv("QZGFX_SCALE", "9", 1);
  EXPECT_EQ(qz_screen_open(16, 8, 32, 1, 0, 0), 0);
  unsetenv("QZGFX_SCALE");
  EXPECT_NE(message().find("QZGFX_SCALE=\"9\" is no scale (1 to 8, or auto)"), std::string::npos) << message();
  EXPECT_EQ(qz_set_window_scale(9), 1);
  qz_screen_close();
}

}  // namespace
