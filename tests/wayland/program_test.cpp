// The program and the key reader under headless weston: keys read as under
// X11, the ways the program ends, and what it does without a compositor.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "tests/wayland/weston_session.h"

namespace {

using namespace std::chrono_literals;
using Reads = std::vector<std::vector<int>>;

std::size_t line_count(const std::string& text) { return std::size_t(std::count(text.begin(), text.end(), '\n')); }

class WaylandKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(weston.running()) << "weston did not start";
    std::vector<std::string> env = weston.client_env();
    env.push_back("LANG=C.UTF-8");
    reader = std::make_unique<Child>(std::vector<std::string>{QZ_KEY_READER}, env);
    ASSERT_EQ(reader->read_line(20s).value_or(""), "ready") << reader->read_stderr();
    ASSERT_TRUE(weston.wait_for_picture());
    drain();
  }
  void TearDown() override {
    reader->write_line("quit");
    const ChildResult result = reader->wait(10s);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << reader->read_stderr();
  }

  Reads drain() { return drain_key_reader(*reader); }

  Reads read_at_least(std::size_t expected) { return read_key_reads(*reader, expected); }

  Weston weston;
  std::unique_ptr<Child> reader;
};

TEST_F(WaylandKeys, KeysReadAsUnderX11AndAHeldKeyRepeats) {
  struct Case {
    const char* name;
    std::initializer_list<unsigned> codes;
    Reads expected;
  };
  const Case cases[] = {
      {"a", {KEY_A}, {{'a'}}},
      {"F1", {KEY_F1}, {{255, ';'}}},
      {"Up", {KEY_UP}, {{255, 'H'}}},
      {"ctrl+Up", {KEY_LEFTCTRL, KEY_UP}, {{255, 141}}},
      {"shift+Tab", {KEY_LEFTSHIFT, KEY_TAB}, {{255, 15}, {9}}},
      {"Escape", {KEY_ESC}, {{27}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    weston.keys(c.codes);
    EXPECT_EQ(read_at_least(c.expected.size()), c.expected);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(drain().empty());
  }
  // Repeat is the client's on Wayland: weston announces 40 a second after 400 ms.
  weston.press(KEY_B, true);
  std::this_thread::sleep_for(700ms);
  weston.press(KEY_B, false);
  const Reads held = read_at_least(4);
  EXPECT_GE(held.size(), 4u);
  for (const auto& r : held) EXPECT_EQ(r, std::vector<int>{'b'});
}

// Dead keys compose as under X11's input method: on the international US
// layout the apostrophe is a dead acute, and with an e it types é.
TEST(WaylandCompose, ADeadKeyAndALetterTypeOneAccentedCharacter) {
  Weston weston(Weston::kWidth, Weston::kHeight, "intl");
  ASSERT_TRUE(weston.running()) << "weston did not start";
  std::vector<std::string> env = weston.client_env();
  env.push_back("LANG=C.UTF-8");
  Child reader({QZ_KEY_READER}, env);
  ASSERT_EQ(reader.read_line(20s).value_or(""), "ready") << reader.read_stderr();
  ASSERT_TRUE(weston.wait_for_picture());
  drain_key_reader(reader);
  weston.keys({KEY_APOSTROPHE});
  weston.keys({KEY_E});
  EXPECT_EQ(read_key_reads(reader, 1), Reads{{0x82}});  // é in code page 437
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(drain_key_reader(reader).empty());
  reader.write_line("quit");
  EXPECT_EQ(reader.wait(10s).status, 0);
}

class WaylandProgram : public ::testing::Test {
 protected:
  Child start(std::vector<std::string> env) { return Child({QZ_PROGRAM}, env); }
  Weston weston;
};

TEST_F(WaylandProgram, EscapeAndTheCloseRequestEndWithStatusZero) {
  ASSERT_TRUE(weston.running());
  for (const bool by_close : {false, true}) {
    SCOPED_TRACE(by_close ? "close request" : "Escape");
    Child program = start(weston.client_env());
    ASSERT_TRUE(weston.wait_for_picture()) << program.read_stderr();
    if (by_close)
      weston.close_windows();
    else
      weston.keys({KEY_ESC});
    const ChildResult result = program.wait(10s);
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << program.read_stderr();
    // The next run's picture must be its own: the output goes back to one colour.
    EXPECT_TRUE(eventually(
        [&] {
          const std::vector<std::uint32_t> shot = weston.screenshot();
          return !shot.empty() && std::count(shot.begin(), shot.end(), shot[0]) == std::ptrdiff_t(shot.size());
        },
        10s));
  }
}

TEST_F(WaylandProgram, AKilledCompositorEndsItWithOneLineAndStatusOne) {
  ASSERT_TRUE(weston.running());
  Child program = start(weston.client_env());
  ASSERT_TRUE(weston.wait_for_picture()) << program.read_stderr();
  weston.kill();
  const ChildResult result = program.wait(10s);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 1);
  const std::string message = program.read_stderr();
  EXPECT_EQ(line_count(message), 1u) << message;
  EXPECT_NE(message.find("lost the connection to the Wayland compositor"), std::string::npos) << message;
}

TEST_F(WaylandProgram, WithoutAnyDisplayItSaysSoWithStatusOne) {
  Child program = start({"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY", "QZGFX"});
  const ChildResult result = program.wait(10s);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 1);
  const std::string message = program.read_stderr();
  EXPECT_EQ(line_count(message), 1u) << message;
  EXPECT_NE(message.find("cannot open a window (DISPLAY is not set)"), std::string::npos) << message;
}

TEST_F(WaylandProgram, AMissingSocketFallsBackToX11) {
  Xvfb server("1920x1200x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  for (const char* qzgfx : {"", "wayland"}) {
    SCOPED_TRACE(std::string("QZGFX=") + qzgfx);
    Child program = start({"XDG_RUNTIME_DIR=" + weston.runtime_dir(), "WAYLAND_DISPLAY=qz-no-such-socket",
                           "DISPLAY=" + server.name(), std::string("QZGFX=") + qzgfx});
    const Window window = window_of(server.display(), program.pid(), 20s);
    ASSERT_NE(window, 0u) << program.read_stderr();
    ASSERT_TRUE(xdotool(server.name(), {"mousemove", "--window", std::to_string(window), "100", "100"}));
    ASSERT_TRUE(program_has_focus(server.display(), 5s));
    ASSERT_TRUE(xdotool(server.name(), {"key", "Escape"}));
    const ChildResult result = program.wait(10s);
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << program.read_stderr();
  }
}

}  // namespace
