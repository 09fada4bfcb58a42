// What other clients do to the window and the pointer, seen through the key
// reader (key_reader.cpp): the window destroyed or its client killed from
// outside, and the pointer's place when no movement tells it.

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using Reads = std::vector<std::vector<int>>;

// The reader's 640 x 480 window, centred on the 1280 x 1024 screen.
constexpr int kLeft = (1280 - 640) / 2, kTop = (1024 - 480) / 2;

class X11WindowEvents : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start"; }

  void start_reader() {
    reader = std::make_unique<Child>(std::vector<std::string>{QZ_KEY_READER},
                                     std::vector<std::string>{"DISPLAY=" + server.name(), "QZGFX", "LANG=C.UTF-8"});
    ASSERT_EQ(reader->read_line(20s).value_or(""), "ready") << reader->read_stderr();
    ASSERT_TRUE(eventually([&] { return program_windows(server.display()).size() == 1; }, 10s));
    window = program_windows(server.display())[0];
  }

  std::string ask(const std::string& command) {
    reader->write_line(command);
    return reader->read_line(5s).value_or("");
  }

  void warp_to(int x, int y) {
    Display* d = server.display();
    XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, x, y);
    XSync(d, False);
  }

  Xvfb server{"1280x1024x24"};
  std::unique_ptr<Child> reader;
  Window window = 0;
};

TEST_F(X11WindowEvents, AWindowDestroyedByAnotherClientReadsAsACloseRequest) {
  start_reader();
  const auto destroyed = std::chrono::steady_clock::now();
  XDestroyWindow(server.display(), window);
  XSync(server.display(), False);
  EXPECT_EQ(read_key_reads(*reader, 1), (Reads{{255, 107}}));
  std::printf("close code read %lld ms after the destroy\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - destroyed)
                                         .count()));
  // The window is gone: no pointer over it, and the screen still closes.
  EXPECT_EQ(ask("mouse"), "1 0 0");
  reader->write_line("quit");
  const ChildResult result = reader->wait(10s);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(reader->read_stderr(), "");
}

TEST_F(X11WindowEvents, AKilledClientEndsAsALostDisplay) {
  start_reader();
  XKillClient(server.display(), window);
  XSync(server.display(), False);
  // The next key read finds the loss and ends the program (the runtime owns it).
  reader->write_line("drain");
  const ChildResult result = reader->wait(10s);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(reader->read_stderr().find("lost the connection to the X server"), std::string::npos);
}

TEST_F(X11WindowEvents, TheMouseReadsWhereThePointerIsWithoutAMovement) {
  Display* d = server.display();
  // Over the window before it opens: its first read must say so.
  warp_to(kLeft + 100, kTop + 50);
  start_reader();
  EXPECT_EQ(ask("first mouse"), "0 100 50");

  // A window of the test's covers the program's, the pointer moves over the
  // cover, the cover goes: only the entry tells where the pointer is.
  const Geometry g = window_geometry(d, window);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window cover = XCreateWindow(d, DefaultRootWindow(d), g.x, g.y, unsigned(g.width), unsigned(g.height), 0, 0,
                                     InputOnly, CopyFromParent, CWOverrideRedirect, &attributes);
  XMapRaised(d, cover);
  XSync(d, False);
  EXPECT_TRUE(eventually([&] { return ask("mouse").rfind("1 ", 0) == 0; }, 3s)) << "the pointer did not leave";
  warp_to(g.x + 200, g.y + 120);
  XDestroyWindow(d, cover);
  XSync(d, False);
  EXPECT_TRUE(eventually([&] { return ask("mouse") == "0 200 120"; }, 3s)) << ask("mouse");
  reader->write_line("quit");
  const ChildResult result = reader->wait(10s);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(reader->read_stderr(), "");
}

}  // namespace
