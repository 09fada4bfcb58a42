// Keys sent through XTEST (xdotool) to a window of the back end, read back
// with read_key by a small program that reads only when asked.

#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/x11/x11_test_support.h"

namespace {

using namespace std::chrono_literals;
using Reads = std::vector<std::vector<int>>;

bool run(const std::vector<std::string>& argv) {
  Child tool(argv, {});
  const ChildResult result = tool.wait(20s);
  return result.exited && result.status == 0;
}

// Exchanges the keycodes of pairs of keys (by XKB key name) in the server's
// keymap, as a server with another keycode numbering would have them.
bool swap_keycodes(const std::string& display, const std::vector<std::pair<std::string, std::string>>& pairs) {
  const std::string file =
      (std::filesystem::temp_directory_path() / ("qz_keymap_" + std::to_string(getpid()) + ".xkb")).string();
  if (!run({"xkbcomp", "-w", "0", display, file})) return false;
  std::vector<std::string> lines;
  {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  // Lines like "    <ESC> = 9;" of the xkb_keycodes section.
  const std::regex keycode_line(R"(^(\s*<([^>]+)>\s*=\s*)(\d+);\s*$)");
  std::map<std::string, std::size_t> line_of;
  bool in_keycodes = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("xkb_keycodes", 0) == 0) in_keycodes = true;
    if (lines[i].rfind("};", 0) == 0) in_keycodes = false;
    std::smatch m;
    if (in_keycodes && std::regex_match(lines[i], m, keycode_line)) line_of[m[2]] = i;
  }
  for (const auto& [a, b] : pairs) {
    if (!line_of.count(a) || !line_of.count(b)) return false;
    std::string& line_a = lines[line_of[a]];
    std::string& line_b = lines[line_of[b]];
    std::smatch ma, mb;
    const std::string copy_a = line_a, copy_b = line_b;
    std::regex_match(copy_a, ma, keycode_line);
    std::regex_match(copy_b, mb, keycode_line);
    line_a = ma[1].str() + mb[3].str() + ";";
    line_b = mb[1].str() + ma[3].str() + ";";
  }
  {
    std::ofstream out(file);
    for (const std::string& line : lines) out << line << "\n";
  }
  const bool loaded = run({"xkbcomp", "-w", "0", file, display});
  std::filesystem::remove(file);
  return loaded;
}

class X11Keys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
    start_reader();
  }
  void TearDown() override { stop_reader(); }

  void start_reader() {
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
  void stop_reader() {
    if (!reader) return;
    reader->write_line("quit");
    const ChildResult result = reader->wait(10s);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << reader->read_stderr();
    reader.reset();
  }

  Reads drain() { return drain_key_reader(*reader); }

  // Sends the keys, then reads until `expected` reads arrived or time is up.
  Reads keys(const std::vector<std::string>& names, std::size_t expected) {
    std::vector<std::string> args = {"key", "--delay", "20"};
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_TRUE(xdotool(server.name(), args));
    return read_key_reads(*reader, expected);
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
      {"shift+Tab", {{255, 15}}},
      {"ctrl+Tab", {{255, 148}}},
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

// Key codes follow the key, not the server's keycode numbers.
TEST_F(X11Keys, KeysReadAlikeWithOtherKeycodeNumbers) {
  if (!program_available("xkbcomp")) GTEST_SKIP() << "xkbcomp is not installed";
  // The reader takes the keymap when its window opens: renumber before that.
  stop_reader();
  ASSERT_TRUE(swap_keycodes(server.name(), {{"ESC", "FK12"}, {"FK01", "UP"}}));
  int count = 0;
  KeySym* at_96 = XGetKeyboardMapping(server.display(), 96, 1, &count);
  ASSERT_TRUE(at_96 && count > 0 && at_96[0] == XK_Escape) << "the keymap was not renumbered";
  XFree(at_96);
  start_reader();
  const std::pair<const char*, Reads> cases[] = {
      {"F1", {{255, 59}}}, {"Up", {{255, 72}}}, {"ctrl+Up", {{255, 141}}}, {"Escape", {{27}}}};
  for (const auto& [key, expected] : cases) {
    SCOPED_TRACE(key);
    EXPECT_EQ(keys({key}, expected.size()), expected);
  }
}

}  // namespace

