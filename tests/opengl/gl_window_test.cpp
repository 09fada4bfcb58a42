// The OpenGL back end under a private Xvfb (Mesa's GLX, software rendered):
// what a program draws with GL is what the X server shows, keys and the close
// request arrive as key codes, and a server without GLX is refused cleanly.

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <X11/Xutil.h>
#include <qzgfx/qzgfx.h>

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "display/display_driver.h"
#include "display/opengl/opengl_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_driver.h"
#include "input/key_queue.h"
#include "input/key_translate.h"
#include "display/window_input.h"
#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace qz;

// What gl_screen_program draws (0xRRGGBB), and where.
constexpr unsigned long kClearColour = 0x336699, kQuadColour = 0xC81E5A;
constexpr int kQuadLeft = 100, kQuadTop = 100, kQuadRight = 299, kQuadBottom = 249;

class GlWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = std::make_unique<Xvfb>("1024x768x24"); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server->running() && server->display()) << "Xvfb did not start";
    program = std::make_unique<Child>(std::vector<std::string>{QZ_GL_SCREEN_PROGRAM},
                                      std::vector<std::string>{"DISPLAY=" + server->name(), "QZGFX"});
    const std::string first = program->read_line(20s).value_or("");
    ASSERT_EQ(first.rfind("ready ", 0), 0u) << first << program->read_stderr();
    window = window_of(server->display(), program->pid(), 10s);
    ASSERT_NE(window, 0u);
  }

  void TearDown() override {
    if (!program) return;
    program->write_line("quit");
    const ChildResult ended = program->wait(10s);
    EXPECT_TRUE(ended.exited && ended.status == 0) << program->read_stderr();
  }

  std::vector<int> drained_keys() {
    program->write_line("drain");
    std::vector<int> codes;
    for (auto line = program->read_line(10s); line && *line != "end"; line = program->read_line(10s))
      codes.push_back(std::atoi(line->c_str()));
    return codes;
  }

  static inline std::unique_ptr<Xvfb> server;
  std::unique_ptr<Child> program;
  Window window = 0;
};

TEST_F(GlWindow, WhatGlDrewIsWhatTheServerShows) {
  program->write_line("draw");
  ASSERT_EQ(program->read_line(10s).value_or(""), "drawn");
  Display* d = server->display();
  XImage* image = XGetImage(d, window, 0, 0, 640, 480, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  int wrong_clear = 0, wrong_quad = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
      // The quad's edge pixels are the rasteriser's to decide.
      const bool inside = x > kQuadLeft && x < kQuadRight && y > kQuadTop && y < kQuadBottom;
      const bool outside = x < kQuadLeft - 1 || x > kQuadRight + 1 || y < kQuadTop - 1 || y > kQuadBottom + 1;
      if (inside && pixel != kQuadColour) ++wrong_quad;
      if (outside && pixel != kClearColour) ++wrong_clear;
    }
  }
  EXPECT_EQ(wrong_quad, 0) << "pixel (200, 175) is " << std::hex << XGetPixel(image, 200, 175);
  EXPECT_EQ(wrong_clear, 0) << "pixel (10, 10) is " << std::hex << XGetPixel(image, 10, 10);
  XDestroyImage(image);
}

TEST_F(GlWindow, KeysAndTheCloseRequestArriveAsKeyCodes) {
  ASSERT_TRUE(program_has_focus(server->display(), 10s));
  ASSERT_TRUE(xdotool(server->name(), {"key", "a", "F1", "Up", "Escape"}));
  EXPECT_EQ(drained_keys(), (std::vector<int>{'a', QZ_KEY_F1, QZ_KEY_UP, QZ_KEY_ESCAPE}));
  send_close_request(server->display(), window);
  std::vector<int> codes;
  ASSERT_TRUE(eventually([&] { return !(codes = drained_keys()).empty(); }, 10s));
  EXPECT_EQ(codes, std::vector<int>{QZ_KEY_CLOSE});
}

// A driver that records the flags of every attempt and hands it on.
std::vector<int> g_attempts;
const DisplayDriver* g_recorded = nullptr;
int recording_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  g_attempts.push_back(flags);
  return g_recorded->init(title, width, height, depth, refresh, flags);
}

struct DisplayVariable {
  explicit DisplayVariable(const std::string& name) { setenv("DISPLAY", name.c_str(), 1); }
  ~DisplayVariable() { unsetenv("DISPLAY"); }
};

TEST(GlRefusal, WithoutGlxTheModeIsRetriedToggledAndFailsWithoutAWindow) {
  Xvfb server("1024x768x24", {"-extension", "GLX"});
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  {
    DisplayVariable display(server.name());
    g_recorded = &opengl_driver;
    g_attempts.clear();
    DisplayDriver recorder = opengl_driver;
    recorder.init = recording_init;
    const DisplayDriver* table[] = {&recorder};
    set_driver_failure_reason(nullptr);
    const DriverRequest request{"gl", 640, 480, 32, 60, kModeOpengl};
    EXPECT_EQ(select_driver(table, nullptr, request), nullptr);
    EXPECT_EQ(g_attempts, (std::vector<int>{kModeOpengl, kModeOpengl, kModeOpengl | kModeFullscreen,
                                            kModeOpengl | kModeFullscreen}));
    EXPECT_NE(std::string(driver_failure_reason()).find("GLX"), std::string::npos) << driver_failure_reason();
  }
  // The same through the public API, in a program of its own.
  Child program({QZ_GL_SCREEN_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX"});
  const std::string said = program.read_line(20s).value_or("");
  EXPECT_EQ(said.rfind("refused 1 ", 0), 0u) << said << program.read_stderr();
  EXPECT_NE(said.find("GLX"), std::string::npos) << said;
  EXPECT_TRUE(program.wait(10s).exited);
  EXPECT_TRUE(program_windows(server.display()).empty());
}

TEST(GlSelection, OnlyOpenGlModesChooseTheOpenGlBackEnd) {
  Xvfb server("1024x768x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  DisplayVariable display(server.name());
  EXPECT_EQ(opengl_driver.init("gl", 640, 480, 32, 0, 0), -1);
  opengl_driver.exit();
  // Named first or not, a mode without OpenGL gets another back end.
  setenv("QZGFX", "OpenGL", 1);
  gfx_screen_res(640, 480, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  EXPECT_EQ(current_mode()->driver, &x11_driver);
  unsetenv("QZGFX");
  gfx_screen_res(640, 480, 32, 1, kModeOpengl, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  EXPECT_EQ(current_mode()->driver, &opengl_driver);
  EXPECT_NE(std::string(qz_gl_version()), "");
  EXPECT_NE(qz_gl_proc_address("glClear"), nullptr);
  gfx_screen_close();
  EXPECT_EQ(std::string(qz_gl_version()), "");
  EXPECT_EQ(qz_gl_proc_address("glClear"), nullptr);
  EXPECT_EQ(qz_last_error(), 1);
  EXPECT_TRUE(program_windows(server.display()).empty());
}

TEST(GlFlip, ALoopThatOnlyFlipsTakesTheCloseRequest) {
  Xvfb server("1024x768x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  DisplayVariable display(server.name());
  gfx_screen_res(640, 480, 32, 1, kModeOpengl, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  const Window window = window_of(server.display(), getpid(), 10s);
  ASSERT_NE(window, 0u);
  send_close_request(server.display(), window);
  // Nothing but flips: the queue is looked at without a poll of its own.
  EXPECT_TRUE(eventually([] {
    qz_flip();
    return key_queue_pending() != 0;
  }, 10s));
  EXPECT_EQ(key_queue_get(), kCloseCode);
  gfx_screen_close();
}

// The window-mode switch (what Alt+Enter does) builds a new window and
// makes the same context current on it: the program's texture survives.
TEST(GlSwitch, TheWindowModeSwitchKeepsTheContext) {
  Xvfb server("1024x768x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  DisplayVariable display(server.name());
  gfx_screen_res(640, 480, 32, 1, kModeOpengl, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  GLuint texture = 0;
  reinterpret_cast<void (*)(GLsizei, GLuint*)>(qz_gl_proc_address("glGenTextures"))(1, &texture);
  reinterpret_cast<void (*)(GLenum, GLuint)>(qz_gl_proc_address("glBindTexture"))(GL_TEXTURE_2D, texture);
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    EXPECT_TRUE(switch_window_mode());
  }
  EXPECT_NE(window_of(server.display(), getpid(), 10s), 0u);
  EXPECT_TRUE(reinterpret_cast<GLboolean (*)(GLuint)>(qz_gl_proc_address("glIsTexture"))(texture));
  gfx_screen_close();
}

}  // namespace
