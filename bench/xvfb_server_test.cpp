#include <gtest/gtest.h>
#include <signal.h>
// After gtest: Xlib defines macros such as None that gtest uses as names.
#include <X11/Xlib.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

#include "bench/xvfb_server.h"

// The presentation benchmarks rely on their server: it must answer on the
// display it names, with the size asked for, and be gone, by its own process
// id, when its owner is.

namespace {

TEST(XvfbServer, ServesItsDisplayAndEndsWithItsOwner) {
  std::optional<XvfbServer> server;
  try {
    server.emplace(640, 480);
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  pid_t pid = server->pid();
  Display* display = XOpenDisplay(server->display_name().c_str());
  ASSERT_NE(display, nullptr) << server->display_name();
  EXPECT_EQ(DisplayWidth(display, DefaultScreen(display)), 640);
  EXPECT_EQ(DisplayHeight(display, DefaultScreen(display)), 480);
  XCloseDisplay(display);

  // Two servers at once pick different displays.
  {
    XvfbServer second(320, 240);
    EXPECT_NE(second.display_name(), server->display_name());
  }
  server.reset();
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

}  // namespace
