// The public API's tour programs, one in C and one in C++: the same picture
// (by hash) with and without a window, and a key, a click and the close
// request read through the public calls under Xvfb.

#include <gtest/gtest.h>
#include <X11/Xlib.h>

#include <string>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;

std::string line_of(Child& program) { return program.read_line(20s).value_or("(nothing)"); }

class X11ApiTour : public ::testing::TestWithParam<const char*> {};

TEST_P(X11ApiTour, SamePictureWithoutAWindowAndInputThroughThePublicCalls) {
  Child headless({GetParam()}, {"QZGFX=null", "DISPLAY"});
  const std::string hash = line_of(headless);
  ASSERT_EQ(hash.rfind("hash ", 0), 0u) << hash << headless.read_stderr();
  EXPECT_EQ(line_of(headless), "no window");
  const ChildResult quick = headless.wait(10s);
  EXPECT_TRUE(quick.exited && quick.status == 0);

  Xvfb server("1280x1024x24");
  ASSERT_TRUE(server.running());
  Child program({GetParam()}, {"DISPLAY=" + server.name(), "QZGFX"});
  EXPECT_EQ(line_of(program), hash) << program.read_stderr();
  const Window window = window_of(server.display(), program.pid(), 20s);
  ASSERT_NE(window, 0u) << program.read_stderr();
  const std::string id = std::to_string(window);

  ASSERT_TRUE(xdotool(server.name(), {"mousemove", "--window", id, "100", "50"}));
  ASSERT_TRUE(xdotool(server.name(), {"key", "--window", id, "a"}));
  EXPECT_EQ(line_of(program), "key 97");
  ASSERT_TRUE(xdotool(server.name(), {"click", "1"}));
  EXPECT_EQ(line_of(program), "click 100 50");
  send_close_request(server.display(), window);
  EXPECT_EQ(line_of(program), "close");
  const ChildResult end = program.wait(10s);
  EXPECT_TRUE(end.exited && end.status == 0) << end.status << program.read_stderr();
}

INSTANTIATE_TEST_SUITE_P(CAndCpp, X11ApiTour, ::testing::Values(QZ_TOUR_C, QZ_TOUR_CPP));

// Returning from main with the screen open ends cleanly (no sanitizer
// report, status 0) with a window and without; the timing varies, so a few runs.
TEST(X11ApiExit, ReturningWithTheScreenOpenEndsCleanly) {
  Xvfb server("1280x1024x24");
  ASSERT_TRUE(server.running());
  for (const char* backend : {"QZGFX", "QZGFX=null"})
    for (int run = 0; run < 3; ++run) {
      Child program({QZ_LEAVE_OPEN}, {"DISPLAY=" + server.name(), backend});
      const ChildResult end = program.wait(20s);
      EXPECT_TRUE(end.exited && end.status == 0) << backend << " status " << end.status << program.read_stderr();
    }
}

}  // namespace
