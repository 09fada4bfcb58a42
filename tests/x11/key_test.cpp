// Keys sent through XTEST (xdotool) to a window of the back end, read back
// with read_key by a small program that reads only when asked.

#include <gtest/gtest.h>

#include <sstream>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using Reads = std::vector<std::vector<int>>;

class X11Keys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
    reader = std::make_unique<Child>(std::vector<std::string>{QZ_KEY_READER},
                                     std::vector<std::string>{"DISPLAY=" + server.name(), "QZGFX", "LANG=C.UTF-8"});
    ASSERT_EQ(reader->read_line(20s).value_or(""), "ready") << reader->read_stderr();
    ASSERT_TRUE(eventually([&] { return program_windows(server.display()).size() == 1; }, 10s));
    const Window window = program_windows(server.display())[0];
    // The pointer over the window, as a user typing into it would have it.
    ASSERT_TRUE(xdotool(server.name(), {"mousemove", "--window", std::to_string(window), "20", "20"}));
    ASSERT_TRUE(program_has_focus(server.display(), 5s));
    std::this_thread::sleep_for(200ms);
    drain();
  }
  void TearDown() override {
    if (!reader) return;
    reader->write_line("quit");
    const ChildResult result = reader->wait(10s);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << reader->read_stderr();
  }

  Reads drain() {
    reader->write_line("drain");
    Reads reads;
    while (auto line = reader->read_line(5s)) {
      if (*line == "end") break;
      std::istringstream in(*line);
      std::vector<int> bytes;
      for (int b; in >> b;) bytes.push_back(b);
      reads.push_back(bytes);
    }
    return reads;
  }

  // Sends the keys, then reads until `expected` reads arrived or time is up.
  Reads keys(const std::vector<std::string>& names, std::size_t expected) {
    std::vector<std::string> args = {"key", "--delay", "20"};
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_TRUE(xdotool(server.name(), args));
    Reads reads;
    eventually(
        [&] {
          for (auto& r : drain()) reads.push_back(r);
          return reads.size() >= expected;
        },
        3s);
    return reads;
  }

  std::string held(int scan_code) {
    reader->write_line("down " + std::to_string(scan_code));
    return reader->read_line(5s).value_or("");
  }

  Xvfb server{"1280x1024x24"};
  std::unique_ptr<Child> reader;
};

TEST_F(X11Keys, EachKeyReadsAsItsCode) {
  struct Case {
    const char* key;
    Reads expected;
  };
  const Case cases[] = {
      {"Escape", {{27}}},
      {"a", {{'a'}}},
      {"shift+a", {{'A'}}},
      {"F1", {{255, ';'}}},
      {"Up", {{255, 'H'}}},
      {"ctrl+Up", {{255, 141}}},
      {"shift+Tab", {{255, 15}, {9}}},
      {"Delete", {{255, 'S'}}},
      {"ctrl+a", {{1}}},
      {"alt+x", {{255, 45}}},
      {"Return", {{13}}},
      {"KP_Enter", {{13}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(keys({c.key}, c.expected.size()), c.expected);
    // Nothing more trails behind.
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(drain().empty());
  }
}

TEST_F(X11Keys, SixteenKeysWithoutAReadLoseTheFirst) {
  const std::vector<std::string> letters = {"a", "b", "c", "d", "e", "f", "g", "h",
                                            "i", "j", "k", "l", "m", "n", "o", "p"};
  std::vector<std::string> args = {"key", "--delay", "20"};
  args.insert(args.end(), letters.begin(), letters.end());
  ASSERT_TRUE(xdotool(server.name(), args));
  // Let every key reach the queue before the first read.
  std::this_thread::sleep_for(500ms);
  Reads expected;
  for (char c = 'b'; c <= 'p'; ++c) expected.push_back({c});
  EXPECT_EQ(drain(), expected);
}

TEST_F(X11Keys, HeldKeysShowUntilTheyComeUp) {
  constexpr int kLeftShift = 42, kA = 30;
  EXPECT_EQ(held(kLeftShift), "up");
  ASSERT_TRUE(xdotool(server.name(), {"keydown", "shift"}));
  EXPECT_TRUE(eventually([&] { return held(kLeftShift) == "held"; }, 2s));
  EXPECT_EQ(held(kA), "up");
  ASSERT_TRUE(xdotool(server.name(), {"keydown", "a"}));
  EXPECT_TRUE(eventually([&] { return held(kA) == "held"; }, 2s));
  ASSERT_TRUE(xdotool(server.name(), {"keyup", "a", "keyup", "shift"}));
  EXPECT_TRUE(eventually([&] { return held(kLeftShift) == "up" && held(kA) == "up"; }, 2s));
  drain();
}

}  // namespace
