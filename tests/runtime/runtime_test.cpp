// Start-up and shutdown: rounding and locale before main, the shutdown
// handler that closes the mode, and the exit status.

#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "app/scene.h"
#include "display/screen_mode.h"
#include "display/vsync.h"
#include "gfx/line.h"
#include "runtime/exit_path.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

TEST(Runtime, InitFixesRoundingAndLocale) {
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  EXPECT_EQ(std::lrint(2.5), 2);
  EXPECT_EQ(std::lrint(3.5), 4);
  EXPECT_NE(std::setlocale(LC_CTYPE, nullptr), nullptr);
}

TEST(Runtime, EndRunsTheHandlerAndExitsWithTheStatus) {
  EXPECT_EXIT(runtime_end(3), ::testing::ExitedWithCode(3), "");
  EXPECT_EXIT(
      {
        set_null_mode();
        set_display_teardown([](int) {
          gfx_screen_close();
          std::_Exit(current_mode() == nullptr ? 5 : 6);
        });
        runtime_end(0);
      },
      ::testing::ExitedWithCode(5), "");
  EXPECT_EXIT(
      {
        set_null_mode();  // the first mode set installs the mode's close
        runtime_end(9);
      },
      ::testing::ExitedWithCode(9), "");
  // A return from main (or exit) with the screen open tears the display
  // down with the status before the process's own clean-up.
  EXPECT_EXIT(
      {
        set_null_mode();
        set_display_teardown([](int status) { std::fprintf(stderr, "closed with %d\n", status); });
        std::exit(4);
      },
      ::testing::ExitedWithCode(4), "closed with 4");
}

TEST(Runtime, KeysThatEndTheProgram) {
  EXPECT_TRUE(ends_program("\x1b"));
  EXPECT_TRUE(ends_program("\xff" "k"));
  EXPECT_FALSE(ends_program(""));
  EXPECT_FALSE(ends_program("k"));
  EXPECT_FALSE(ends_program("\xff" "K"));
  EXPECT_FALSE(ends_program("\x1b\x1b"));
  // The close code ends the program under every locale, UTF-8 above all,
  // where the lone byte 255 is not valid text.
  const char* saved = std::setlocale(LC_CTYPE, nullptr);
  std::string restore = saved ? saved : "C";
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (!std::setlocale(LC_CTYPE, locale)) continue;
    EXPECT_TRUE(ends_program("\xff" "k")) << locale;
    EXPECT_FALSE(ends_program("\xff")) << locale;
  }
  std::setlocale(LC_CTYPE, restore.c_str());
}

}  // namespace

namespace {

// A program that never waits and never reads a key, on a screen without a
// window, still ends on a request: the watchdog acts after its grace.
TEST(Runtime, RequestEndsAProgramThatNeverComesBy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, with the watchdog running
  for (int s : {SIGTERM, SIGQUIT}) {
    EXPECT_EXIT(
        {
          set_null_mode();
          std::raise(s);
          for (;;) gfx_line(nullptr, 0, 0, 10, 10, 0xFFFFFFFF, 0, 0xFFFF, 0);
        },
        ::testing::ExitedWithCode(128 + s), "");
  }
}

TEST(Runtime, TerminationSignalsEndThroughTheShutdownPath) {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(
        {
          set_null_mode();
          set_display_teardown([](int status) {
            std::fprintf(stderr, "closed with %d\n", status);
            gfx_screen_close();
          });
          std::raise(s);
          for (;;) gfx_wait_vsync();  // the next wait acts on the request
        },
        ::testing::ExitedWithCode(128 + s), "closed with " + std::to_string(128 + s));
  }
}

}  // namespace
