#include "input/key_read.h"
#include "runtime/last_error.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "display/screen_mode.h"
#include "input/key_queue.h"
#include "input/key_translate.h"
#include "runtime/console_hooks.h"

using namespace qz;

namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

void empty_key_queue() {
  while (key_queue_get() != 0) {
  }
  take_key_arrived();
}

// A window-less graphics mode on the Null back end.
class ReadKeyWithMode : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QZGFX", "null", 1);
    gfx_screen_res(640, 480, 32, 1, 0, 0);
    ASSERT_NE(current_mode(), nullptr);
    empty_key_queue();
  }
  void TearDown() override { gfx_screen_close(); }
};
using GfxSleep = ReadKeyWithMode;

TEST_F(ReadKeyWithMode, OneQueuedKeyPerCall) {
  EXPECT_EQ(read_key(), "");
  key_queue_put(27);
  EXPECT_EQ(read_key(), "\x1b");
  EXPECT_EQ(read_key(), "");

  key_queue_put(kCloseCode);
  key_queue_put(extended_key(59));
  key_queue_put(0);  // NUL reads as nothing
  for (int i = 0; i < 3; ++i) key_queue_put(extended_key(141));
  EXPECT_EQ(read_key(), "\xffk");
  EXPECT_EQ(read_key(), "\xff;");
  EXPECT_EQ(read_key(), "");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(read_key(), std::string("\xff\x8d", 2));
  EXPECT_EQ(read_key(), "");

  key_queue().key_arrived = 1;
  EXPECT_EQ(read_key(), "");
  EXPECT_EQ(take_key_arrived(), 0);  // an empty read clears the flag
}

TEST_F(ReadKeyWithMode, PendingAndWait) {
  EXPECT_EQ(key_pending(), 0);
  key_queue_put('x');
  EXPECT_EQ(key_pending(), 1);
  EXPECT_EQ(wait_key(), 'x');
  EXPECT_EQ(key_pending(), 0);
  // Without a window no key can come: the wait returns at once.
  EXPECT_EQ(wait_key(), 0);
  EXPECT_EQ(last_error(), 1);
}

TEST_F(ReadKeyWithMode, KeysOutliveTheMode) {
  key_queue_put('q');
  gfx_screen_close();
  gfx_screen_res(640, 480, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr);
  EXPECT_EQ(read_key(), "q");
}

TEST_F(ReadKeyWithMode, KeyIsDown) {
  ScreenMode* mode = current_mode();
  mode->key_state[42] = 1;
  mode->key_state[127] = 1;
  EXPECT_EQ(key_is_down(42), -1);
  EXPECT_EQ(key_is_down(127), -1);
  EXPECT_EQ(key_is_down(43), 0);
  EXPECT_EQ(key_is_down(128), 0);
  EXPECT_EQ(key_is_down(-1), 0);
  EXPECT_EQ(key_is_down(1 << 20), 0);
  mode->key_state = {};
}

TEST(ReadKeyWithoutMode, NoKeysAndNoWaiting) {
  ASSERT_EQ(current_mode(), nullptr);
  key_queue_put('z');  // left from a closed mode: not the console's
  EXPECT_EQ(wait_key(), 0);
  EXPECT_EQ(key_pending(), 0);
  EXPECT_EQ(key_is_down(1), 0);
  const auto start = Clock::now();
  gfx_sleep(-1);  // nothing could ever wake it
  gfx_sleep(0);
  EXPECT_LT(elapsed_ms(start), 1000);
  empty_key_queue();
}

TEST_F(GfxSleep, ShortSleepsTestNoKey) {
  key_queue_put('k');
  auto start = Clock::now();
  gfx_sleep(60);
  EXPECT_GE(elapsed_ms(start), 60);
  EXPECT_EQ(take_key_arrived(), 1);

  start = Clock::now();
  gfx_sleep(0);
  gfx_sleep(-7);
  EXPECT_LT(elapsed_ms(start), 1000);
}

TEST_F(GfxSleep, KeyBeforeATestPointEndsTheSleep) {
  key_queue_put('k');
  auto start = Clock::now();
  gfx_sleep(200);  // the test at 0 ms sees it
  EXPECT_LT(elapsed_ms(start), 150);
  EXPECT_EQ(read_key(), "k");  // the wake-up is used, the key stays

  std::thread writer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    key_queue_put('k');
  });
  start = Clock::now();
  gfx_sleep(2000);
  EXPECT_LT(elapsed_ms(start), 1500);
  writer.join();

  writer = std::thread([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    key_queue_put('k');
  });
  start = Clock::now();
  gfx_sleep(-1);
  EXPECT_GE(elapsed_ms(start), 50);
  writer.join();
}

TEST_F(GfxSleep, KeyAfterTheLastTestPointDoesNot) {
  std::thread writer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(160));
    key_queue_put('k');
  });
  const auto start = Clock::now();
  gfx_sleep(200);  // tests at 0, 50 and 100 ms only
  EXPECT_GE(elapsed_ms(start), 195);
  writer.join();
}

// Points stdin at a fresh pseudo-terminal for the test's lifetime.
class ReadKeyConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      GTEST_SKIP() << "no pseudo-terminals here";
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    ASSERT_EQ(tcgetattr(slave_, &before_), 0);
    saved_stdin_ = dup(STDIN_FILENO);
    dup2(slave_, STDIN_FILENO);
  }
  void TearDown() override {
    if (saved_stdin_ >= 0) {
      while (!console_read_key().empty()) {
      }
      dup2(saved_stdin_, STDIN_FILENO);
      close(saved_stdin_);
    }
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  // Types the bytes and reads the first key, allowing the terminal a moment
  // to deliver them.
  std::string type_and_read(const std::string& bytes) {
    EXPECT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    std::string key;
    for (int i = 0; i < 400 && key.empty(); ++i) {
      key = console_read_key();
      if (key.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return key;
  }
  int master_ = -1, slave_ = -1, saved_stdin_ = -1;
  termios before_{};
};

TEST_F(ReadKeyConsole, KeysAndEscapeSequences) {
  ASSERT_EQ(current_mode(), nullptr);
  const std::pair<const char*, std::string> cases[] = {
      {"a", "a"},
      {"\r", "\r"},
      {"\x1b", "\x1b"},
      {"\x1b[A", "\xffH"},
      {"\x1bOB", "\xffP"},
      {"\x1b[3~", "\xffS"},
      {"\x1b[5~", "\xffI"},
      {"\x1bOP", "\xff;"},
      {"\x1b[14~", "\xff>"},
      {"\x1b[[A", "\xff;"},
      {"\x1b[1;5A", std::string("\xff\x8d", 2)},
  };
  for (const auto& [typed, expected] : cases) EXPECT_EQ(type_and_read(typed), expected) << ::testing::PrintToString(std::string(typed));

  termios after{};
  ASSERT_EQ(tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag, before_.c_lflag);  // canonical mode and echo are back
  EXPECT_EQ(after.c_iflag, before_.c_iflag);
}

TEST_F(ReadKeyConsole, SeveralKeysInOneReadComeOneAtATime) {
  EXPECT_EQ(type_and_read("x\x1b[Dy\x1b[99~z"), "x");
  EXPECT_EQ(read_key(), "\xffK");
  EXPECT_EQ(read_key(), "y");
  EXPECT_EQ(read_key(), "z");  // an unknown sequence is skipped whole
  EXPECT_EQ(read_key(), "");
}

}  // namespace
