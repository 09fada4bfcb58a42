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

}  // namespace
