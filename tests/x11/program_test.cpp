// The program itself under Xvfb: its window, the ways it ends, what it
// leaves behind, and what it says when no window can open.

#include <gtest/gtest.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 1680, kHeight = 1050;

// Waits for the program's window to be shown and returns it (0 if none).
Window wait_for_window(Display* display, const Child& program) { return window_of(display, program.pid(), 20s); }

// A Latin-1 locale built into a private directory (no root needed).
std::optional<std::vector<std::string>> latin1_environment() {
  static const std::string dir = std::filesystem::temp_directory_path() / ("qz-locale-" + std::to_string(getpid()));
  const std::string name = "en_US.ISO-8859-1";
  if (!std::filesystem::exists(dir + "/" + name)) {
    std::filesystem::create_directories(dir);
    Child make({"/usr/bin/localedef", "-i", "en_US", "-f", "ISO-8859-1", dir + "/" + name}, {});
    make.wait(60s);
  }
  if (!std::filesystem::exists(dir + "/" + name)) return std::nullopt;
  return std::vector<std::string>{"LOCPATH=" + dir, "LANG=" + name, "LC_ALL", "LC_CTYPE"};
}

class X11Program : public ::testing::Test {
 protected:
  Xvfb server{"1920x1200x24"};
  void SetUp() override { ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start"; }
  Child start(std::vector<std::string> env = {}) {
    env.push_back("DISPLAY=" + server.name());
    env.push_back("QZGFX");
    return Child({QZ_PROGRAM}, env);
  }
};

TEST_F(X11Program, WindowAppearsTitledWithItsClientAreaAndEscapeEndsIt) {
  Display* d = server.display();
  const SaverSettings saver_before = saver_settings(d);
  Child program = start();
  const Window window = wait_for_window(d, program);
  ASSERT_NE(window, 0u) << program.read_stderr();

  EXPECT_EQ(text_property(d, window, "WM_NAME"), "linkageSWEEPdemo1");
  EXPECT_EQ(text_property(d, window, "_NET_WM_NAME"), "linkageSWEEPdemo1");
  const Geometry g = window_geometry(d, window);
  EXPECT_EQ(g.width, kWidth);
  EXPECT_EQ(g.height, kHeight);
  // Centred on the 1920 x 1200 monitor.
  EXPECT_EQ(g.x, (1920 - kWidth) / 2);
  EXPECT_EQ(g.y, (1200 - kHeight) / 2);
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(d, window, &hints, &supplied));
  EXPECT_EQ(hints.min_width, kWidth);
  EXPECT_EQ(hints.max_width, kWidth);
  EXPECT_EQ(hints.min_height, kHeight);
  EXPECT_EQ(hints.max_height, kHeight);
  EXPECT_EQ(cardinal_property(d, window, "_NET_WM_ICON"), 32) << "icon width";

  // Let the picture stand and the animation run before the key.
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(xdotool(server.name(), {"mousemove", "--window", std::to_string(window), "100", "100"}));
  ASSERT_TRUE(program_has_focus(d, 5s));
  const auto pressed = std::chrono::steady_clock::now();
  ASSERT_TRUE(xdotool(server.name(), {"key", "Escape"}));
  const ChildResult result = program.wait(10s);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0) << program.read_stderr();
  // One animation frame is 27 waits of 16 ms plus drawing; allow plenty.
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 3s);
  EXPECT_TRUE(program_windows(d).empty());
  EXPECT_EQ(saver_settings(d), saver_before);
}

TEST_F(X11Program, CloseBoxEndsItUnderEveryLocale) {
  struct Case {
    const char* name;
    std::vector<std::string> env;
  };
  std::vector<Case> cases = {
      {"C.UTF-8", {"LANG=C.UTF-8", "LC_ALL", "LC_CTYPE"}},
      {"C", {"LANG=C", "LC_ALL", "LC_CTYPE"}},
  };
  if (auto latin1 = latin1_environment())
    cases.push_back({"en_US.ISO-8859-1", *latin1});
  else
    ADD_FAILURE() << "localedef could not build a Latin-1 locale";
  Display* d = server.display();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SaverSettings saver_before = saver_settings(d);
    Child program = start(c.env);
    const Window window = wait_for_window(d, program);
    ASSERT_NE(window, 0u) << program.read_stderr();
    std::this_thread::sleep_for(500ms);
    send_close_request(d, window);
    const ChildResult result = program.wait(10s);
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << program.read_stderr();
    EXPECT_TRUE(program_windows(d).empty());
    EXPECT_EQ(saver_settings(d), saver_before);
  }
}

TEST_F(X11Program, WithoutADisplayItSaysWhyOnOneLineAndEndsWithOne) {
  struct Case {
    const char* name;
    std::string display;  // empty: DISPLAY unset
    const char* cause;
  };
  // A display number nobody serves: far above the ones Xvfb hands out.
  const Case cases[] = {{"no DISPLAY", "", "DISPLAY is not set"},
                        {"refused", ":4711", "cannot open display \":4711\""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Child program({QZ_PROGRAM}, {c.display.empty() ? "DISPLAY" : "DISPLAY=" + c.display, "QZGFX"});
    const ChildResult result = program.wait(10s);
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 1);
    EXPECT_LT(result.elapsed, 2s);
    const std::string message = program.read_stderr();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(c.cause), std::string::npos) << message;
    EXPECT_NE(message.find("QZGFX=null"), std::string::npos) << message;
  }
}

TEST(X11ProgramScaled, AtAutoOnALaptopScreenItFitsTheScreen) {
  Xvfb server("1366x768x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  Display* d = server.display();
  Child program({QZ_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX", "QZGFX_SCALE=auto"});
  const Window window = wait_for_window(d, program);
  ASSERT_NE(window, 0u) << program.read_stderr();
  const Geometry g = window_geometry(d, window);
  EXPECT_EQ(g.width, 1228);  // 1680 x 1050 fitted to 768 rows
  EXPECT_EQ(g.height, 768);
  std::this_thread::sleep_for(500ms);
  send_close_request(d, window);
  const ChildResult result = program.wait(10s);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0) << program.read_stderr();
}

// Alt+Enter needs a screen that offers the window's size as a mode.
TEST(X11Fullscreen, AltEnterSwitchesBothWaysAndTheModeComesBack) {
  Xvfb server("1920x1200x24");
  ASSERT_TRUE(server.running() && server.display());
  Display* d = server.display();
  ASSERT_TRUE(add_output_mode(d, kWidth, kHeight));
  const Geometry desktop = crtc_mode_size(d);
  ASSERT_EQ(desktop.width, 1920);
  Child program({QZ_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX"});
  Window window = wait_for_window(d, program);
  ASSERT_NE(window, 0u) << program.read_stderr();
  // Keys go to the focus, which each new window takes when it is shown.
  auto alt_enter = [&] {
    ASSERT_TRUE(program_has_focus(d, 5s));
    ASSERT_TRUE(xdotool(server.name(), {"key", "alt+Return"}));
  };
  auto fullscreen_shown = [&] {
    const Geometry mode = crtc_mode_size(d);
    for (Window w : program_windows(d)) {
      const Geometry g = window_geometry(d, w);
      if (mode.width == kWidth && mode.height == kHeight && g.x == 0 && g.y == 0 && g.width == kWidth) return true;
    }
    return false;
  };
  auto windowed_shown = [&] {
    const std::vector<Window> windows = program_windows(d);
    return crtc_mode_size(d).width == 1920 && windows.size() == 1 &&
           window_geometry(d, windows[0]).x == (1920 - kWidth) / 2;
  };
  alt_enter();
  EXPECT_TRUE(eventually(fullscreen_shown, 5s));
  alt_enter();
  EXPECT_TRUE(eventually(windowed_shown, 5s));
  alt_enter();
  EXPECT_TRUE(eventually(fullscreen_shown, 5s));
  ASSERT_TRUE(program_has_focus(d, 5s));
  ASSERT_TRUE(xdotool(server.name(), {"key", "Escape"}));
  const ChildResult result = program.wait(10s);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0) << program.read_stderr();
  const Geometry after = crtc_mode_size(d);
  EXPECT_EQ(after.width, 1920);
  EXPECT_EQ(after.height, 1200);
}

}  // namespace
