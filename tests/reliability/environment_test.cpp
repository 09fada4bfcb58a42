// Bad environment and arguments: QZGFX values that name no driver, an
// executable at a path longer than a path may be, titles of any length, and
// a locale that does not exist.

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_title.h"
#include "tests/reliability/reliability_support.h"

using namespace qz;

namespace {

using namespace std::chrono_literals;

TEST(ReliabilityEnvironment, QzgfxThatNamesNoDriverKeepsTheUsualOrder) {
  InProcessDisplay session("640x480x24");
  ASSERT_TRUE(session.server.running() && session.server.display()) << "Xvfb did not start";
  std::mt19937 random(7);
  std::string not_text(std::size_t(1) << 20, '\0');
  for (char& c : not_text) c = char(1 + random() % 255);  // any byte but the end of the string
  struct Case {
    const char* name;
    std::string value;
  };
  const Case cases[] = {
      {"1 MiB of letters", std::string(std::size_t(1) << 20, 'x')},
      {"1 MiB of bytes that are not text", not_text},
      {"empty", ""},
      {"\"null\" and one byte more", "null\xff"},
      {"\"X11\" and one byte more", "X11\xc3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setenv("QZGFX", c.value.c_str(), 1);
    gfx_screen_res(320, 200, 32, 1, 0, 0);
    ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
    EXPECT_STREQ(current_mode()->driver->name, "X11");
    EXPECT_NE(window_of(session.server.display(), getpid(), 10s), 0u);
    gfx_screen_close();
  }
  unsetenv("QZGFX");
}

// Through the program: the most a process can be handed in one variable.
TEST(ReliabilityEnvironment, TheProgramRunsUnderTheLongestQzgfxOfNonText) {
  Xvfb server("1920x1200x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  // 128 KiB is the kernel's limit for one "NAME=value" string.
  std::string value(128 * 1024 - 1 - std::strlen("QZGFX="), '\0');
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = char(0x80 + i % 0x7F);
  Child program({QZ_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX=" + value});
  const Window window = window_of(server.display(), program.pid(), 20s);
  ASSERT_NE(window, 0u) << program.read_stderr();
  send_close_request(server.display(), window);
  const Ending ending = wait_for_ending(program.pid(), 10s);
  EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
  EXPECT_EQ(ending.code, 0);
  EXPECT_EQ(program.read_stderr(), "");
}

TEST(ReliabilityEnvironment, DefaultTitleFromDeepAndLongExecutablePaths) {
  Xvfb server("640x480x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  Display* d = server.display();
  const std::string long_name = name_of_length("long_", 200, 'n');
  struct Case {
    const char* name;
    std::size_t path_length;
    std::string file_name;
    std::string title;
  };
  const Case cases[] = {
      // A path of 4,096 bytes no longer fits a path buffer with its end mark.
      {"path of 4,096 bytes", 4096, "deep_probe.bin", "deep_probe"},
      {"path of 6,000 bytes", 6000, "deep_probe.v2.bin", "deep_probe.v2"},
      // The title buffer holds 127 bytes of the 200.
      {"file name of 200 bytes", 0, long_name, long_name.substr(0, 127)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t shallow = std::filesystem::temp_directory_path().string().size() + 20 + c.file_name.size();
    DeepDirectory dir(c.path_length ? c.path_length : shallow + 2, c.file_name);
    ASSERT_TRUE(dir.ok() && dir.install(QZ_PROBE)) << "cannot build the directory chain";
    Child probe({"/bin/sh", "-c", dir.run_command({"--size", "320x200", "animate"})},
                {"DISPLAY=" + server.name(), "QZGFX"});
    const std::optional<std::string> ready = probe.read_line(20s);
    ASSERT_TRUE(ready.has_value()) << probe.read_stderr();
    EXPECT_EQ(*ready, "ready " + c.title);
    const Window window = window_of(d, probe.pid(), 10s);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(text_property(d, window, "WM_NAME"), c.title);
    send_close_request(d, window);
    const Ending ending = wait_for_ending(probe.pid(), 10s);
    EXPECT_TRUE(ending.ended && ending.exited && ending.code == 0) << describe(ending);
  }
}

TEST(ReliabilityEnvironment, TitlesOfAnyLengthKeepAtMost127Bytes) {
  InProcessDisplay session("640x480x24");
  ASSERT_TRUE(session.server.running() && session.server.display()) << "Xvfb did not start";
  Display* d = session.server.display();
  auto shows = [&](Window w, const std::string& latin1, const std::string& utf8) {
    return eventually(
        [&] { return text_property(d, w, "WM_NAME") == latin1 && text_property(d, w, "_NET_WM_NAME") == utf8; }, 3s);
  };
  // Set before the mode: the first window opens with it.
  gfx_window_title(std::string(100000, 'u'));
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  const Window window = window_of(d, getpid(), 10s);
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(shows(window, std::string(127, 'u'), std::string(127, 'u')));

  for (const std::size_t length : {0, 127, 128, 100000}) {
    SCOPED_TRACE(length);
    const std::string kept(std::min<std::size_t>(length, 127), 't');
    gfx_window_title(std::string(length, 't'));
    EXPECT_EQ(window_title(), kept);
    EXPECT_TRUE(shows(window, kept, kept));
  }

  // 127 bytes of a text of two-byte characters end inside a character,
  // which the window leaves out instead of reading the rest as Latin-1.
  const std::string locale = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
    std::string accented;
    for (int i = 0; i < 50000; ++i) accented += "\xc3\xa9";
    gfx_window_title(accented);
    EXPECT_EQ(std::strlen(window_title()), 127u);
    EXPECT_TRUE(shows(window, std::string(63, '\xe9'), accented.substr(0, 126)));
    std::setlocale(LC_CTYPE, locale.c_str());
  } else {
    ADD_FAILURE() << "no C.UTF-8 locale";
  }
}

TEST(ReliabilityEnvironment, AnUnknownLocaleStillEndsOnEscapeAndTheCloseBox) {
  Xvfb server("1920x1200x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  Display* d = server.display();
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "close box");
    Child program({QZ_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX", "LANG=xx_XX.UTF-8", "LC_ALL", "LC_CTYPE",
                                 "LC_MESSAGES"});
    const Window window = window_of(d, program.pid(), 20s);
    ASSERT_NE(window, 0u) << program.read_stderr();
    std::this_thread::sleep_for(500ms);
    if (escape) {
      ASSERT_TRUE(focus_window(server, window));
      ASSERT_TRUE(xdotool(server.name(), {"key", "a", "Escape"}));
    } else {
      send_close_request(d, window);
    }
    const Ending ending = wait_for_ending(program.pid(), 10s);
    EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
    EXPECT_EQ(ending.code, 0);
    EXPECT_EQ(program.read_stderr(), "");
    EXPECT_TRUE(program_windows(d).empty());
  }
}

}  // namespace
