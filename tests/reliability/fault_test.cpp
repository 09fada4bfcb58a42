// Faults under a private Xvfb: the server dies under the program, the
// program is asked to end by a signal (also when it never comes by to act on
// it), fullscreen is left by Escape or the close box, and every way of not
// getting a connection at all.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "display/vsync.h"
#include "runtime/exit_path.h"
#include "runtime/termination.h"
#include "tests/reliability/reliability_support.h"

using namespace qz;

namespace {

using namespace std::chrono_literals;

constexpr int kProgramWidth = 1680, kProgramHeight = 1050;
constexpr int kProbeWidth = 800, kProbeHeight = 600;

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A 1920 x 1200 screen that also offers the program's and the probe's sizes
// as display modes (kept while the test's connection stays open).
class Desktop {
 public:
  Desktop() : server("1920x1200x24") {
    if (!server.display()) return;
    ok = add_output_mode(server.display(), kProgramWidth, kProgramHeight) &&
         add_output_mode(server.display(), kProbeWidth, kProbeHeight);
    mode = crtc_mode_size(server.display());
  }
  std::vector<std::string> env() const { return {"DISPLAY=" + server.name(), "QZGFX"}; }
  // The display shows a fullscreen window of this size in a mode of this size.
  bool fullscreen_shown(int width, int height) const {
    Display* d = server.display();
    const Geometry now = crtc_mode_size(d);
    if (now.width != width || now.height != height) return false;
    for (Window w : program_windows(d)) {
      const Geometry g = window_geometry(d, w);
      if (g.x == 0 && g.y == 0 && g.width == width) return true;
    }
    return false;
  }
  // Nothing of the program is left: no window, the desktop's mode, the
  // screen-saver settings as they were.
  void expect_left_as_before(const SaverSettings& saver) const {
    Display* d = server.display();
    EXPECT_TRUE(eventually([&] { return program_windows(d).empty(); }, 2s)) << "a window is left";
    const Geometry now = crtc_mode_size(d);
    EXPECT_EQ(now.width, mode.width);
    EXPECT_EQ(now.height, mode.height);
    EXPECT_EQ(saver_settings(d), saver);
  }

  Xvfb server;
  bool ok = false;
  Geometry mode;
};

// Switches the program's window to fullscreen with Alt+Enter.
bool switch_to_fullscreen(const Desktop& desktop, Window window) {
  return focus_window(desktop.server, window) && xdotool(desktop.server.name(), {"key", "alt+Return"}) &&
         eventually([&] { return desktop.fullscreen_shown(kProgramWidth, kProgramHeight); }, 5s);
}

void print_figure(const std::string& what, const Ending& ending) {
  std::printf("[figure] %s: %s\n", what.c_str(), describe(ending).c_str());
}

TEST(ReliabilityFaults, ServerDeathEndsTheProgramWithinASecondOnOneLine) {
  struct Case {
    const char* name;
    std::vector<std::string> argv;
  };
  const Case cases[] = {
      {"the program animating", {QZ_PROGRAM}},
      {"a program that never waits", {QZ_PROBE, "busy"}},
      {"a program that keeps the screen lock", {QZ_PROBE, "locked"}},
  };
  const std::string xvfb = path_of("Xvfb");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A server of its own that no connection of the test outlives (the
    // shared Xvfb keeps one open to the end): only the program loses it.
    Child server({xvfb, "-displayfd", "1", "-screen", "0", "1920x1200x24", "-nolisten", "tcp", "-noreset"}, {});
    const std::optional<std::string> number = server.read_line(20s);
    ASSERT_TRUE(number.has_value()) << "Xvfb did not start";
    const std::string name = ":" + *number;
    std::vector<std::string> env = no_pause_at_exit();
    env.insert(env.end(), {"DISPLAY=" + name, "QZGFX"});
    Child program(c.argv, env);
    Display* d = XOpenDisplay(name.c_str());
    ASSERT_NE(d, nullptr);
    const Window window = window_of(d, program.pid(), 20s);
    XCloseDisplay(d);
    ASSERT_NE(window, 0u) << program.read_stderr();
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(kill(server.pid(), SIGTERM), 0);
    const Ending ending = wait_for_ending(program.pid(), 10s);
    print_figure(std::string("server killed under ") + c.name, ending);
    EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
    EXPECT_EQ(ending.code, 1);
    EXPECT_LT(ending.after, 1000ms);
    const std::vector<std::string> lines = lines_of(program.read_stderr());
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], base_name(c.argv[0]) + ": lost the connection to the X server (" + name + ")");
  }
}

// The mechanism under the two tests above and below, without a display.
TEST(ReliabilityFaults, RequestsEndThroughOneOwnerOnly) {
  // A fresh process for each case, with the handlers' watchdog thread as the
  // program has it (a forked copy would have the thread on record only).
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A fault: the program's thread ends through the shutdown path with the
  // fault's status, after the fault's one line.
  EXPECT_EXIT(
      {
        set_display_teardown([](int status) { std::fprintf(stderr, "closed with %d\n", status); });
        request_fault_termination(1, "probe: lost the connection");
        request_fault_termination(2, "a second fault is not recorded");
        raise(SIGTERM);  // nor a signal after it
        gfx_wait_vsync();
      },
      ::testing::ExitedWithCode(1), "^probe: lost the connection\nclosed with 1\n$");
  // The last resort: once it claims a request the process ends with that
  // status and the fault's line, without the at-exit work of a normal end.
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("at-exit work ran\n", stderr); });
        request_fault_termination(1, "probe: lost the connection");
        if (!claim_termination() || claim_termination()) std::_Exit(99);
        end_process_now(termination_status());
      },
      ::testing::ExitedWithCode(1), "^probe: lost the connection\n$");
  // A program already ending is no last resort's to claim.
  EXPECT_EXIT(
      {
        raise(SIGHUP);
        mark_program_ending();
        std::_Exit(claim_termination() ? 98 : termination_status());
      },
      ::testing::ExitedWithCode(128 + SIGHUP), "");
}

TEST(ReliabilitySignals, EachEndsTheAnimationWithItsStatusAndPutsTheDisplayBack) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  Display* d = desktop.server.display();
  for (const bool fullscreen : {false, true}) {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
      SCOPED_TRACE(std::string(fullscreen ? "fullscreen, " : "windowed, ") + strsignal(signal_number));
      const SaverSettings saver = saver_settings(d);
      Child program({QZ_PROGRAM}, desktop.env());
      const Window window = window_of(d, program.pid(), 20s);
      ASSERT_NE(window, 0u) << program.read_stderr();
      if (fullscreen) {
        ASSERT_TRUE(switch_to_fullscreen(desktop, window));
      }
      std::this_thread::sleep_for(300ms);
      ASSERT_EQ(kill(program.pid(), signal_number), 0);
      const Ending ending = wait_for_ending(program.pid(), 10s);
      print_figure(std::string(strsignal(signal_number)) + (fullscreen ? " while fullscreen" : " while windowed"),
                   ending);
      EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
      EXPECT_EQ(ending.code, 128 + signal_number);
      // It acts at its next wait, 16 ms away.
      EXPECT_LT(ending.after, 1000ms);
      EXPECT_EQ(program.read_stderr(), "");
      desktop.expect_left_as_before(saver);
    }
  }
}

// A program that never waits nor reads a key never acts on a request; the
// window back end's thread does, after half a second.
TEST(ReliabilitySignals, LastResortEndsAProgramThatNeverComesBy) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  Display* d = desktop.server.display();
  struct Case {
    const char* behaviour;
    bool fullscreen;
    int signal_number;
  };
  const Case cases[] = {{"busy", false, SIGTERM}, {"busy", true, SIGINT}, {"locked", true, SIGHUP}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.behaviour) + (c.fullscreen ? ", fullscreen, " : ", windowed, ") +
                 strsignal(c.signal_number));
    const SaverSettings saver = saver_settings(d);
    std::vector<std::string> argv = {QZ_PROBE, "--size", "800x600", c.behaviour};
    if (c.fullscreen) argv.insert(argv.begin() + 1, "--fullscreen");
    Child probe(argv, desktop.env());
    ASSERT_NE(window_of(d, probe.pid(), 20s), 0u) << probe.read_stderr();
    if (c.fullscreen) {
      ASSERT_TRUE(eventually([&] { return desktop.fullscreen_shown(kProbeWidth, kProbeHeight); }, 5s));
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(kill(probe.pid(), c.signal_number), 0);
    const Ending ending = wait_for_ending(probe.pid(), 10s);
    print_figure(std::string("last resort, ") + c.behaviour + ", " + strsignal(c.signal_number), ending);
    EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
    EXPECT_EQ(ending.code, 128 + c.signal_number);
    EXPECT_LT(ending.after, 1500ms);
    desktop.expect_left_as_before(saver);
  }
}

// A mode change outlives its process on X. After a crash or a kill the
// guardian the program left puts the desktop's mode back, then goes too.
// (Sanitizers keep the crash signals to themselves.)
TEST(ReliabilitySignals, CrashesAndKillPutTheDesktopModeBackWithinASecond) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  Display* d = desktop.server.display();
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const int signals[] = {SIGKILL};
#else
  const int signals[] = {SIGABRT, SIGSEGV, SIGKILL};
#endif
  for (const int signal_number : signals) {
    SCOPED_TRACE(strsignal(signal_number));
    Child probe({QZ_PROBE, "--fullscreen", "--size", "800x600", "animate"}, desktop.env());
    ASSERT_NE(window_of(d, probe.pid(), 20s), 0u) << probe.read_stderr();
    ASSERT_TRUE(eventually([&] { return desktop.fullscreen_shown(kProbeWidth, kProbeHeight); }, 5s));
    const std::string guardian = "qzguard-" + std::to_string(probe.pid());
    ASSERT_EQ(kill(probe.pid(), signal_number), 0);
    const Ending ending = wait_for_ending(probe.pid(), 10s);
    EXPECT_TRUE(ending.ended && !ending.exited && ending.code == signal_number) << describe(ending);
    const auto ended = std::chrono::steady_clock::now();
    EXPECT_TRUE(eventually([&] { return crtc_mode_size(d).width == desktop.mode.width; }, 1s));
    std::printf("[figure] mode back %lld ms after the end by %s\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - ended).count()),
                strsignal(signal_number));
    EXPECT_EQ(crtc_mode_size(d).height, desktop.mode.height);
    EXPECT_TRUE(eventually([&] { return !process_named(guardian); }, 1s)) << guardian << " is left";
  }
}

TEST(ReliabilityFullscreen, EscapeAndCloseBoxBringTheDesktopModeBack) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  Display* d = desktop.server.display();
  // Alt+Enter then Escape is among the X11 tests; these are the other ways.
  struct Case {
    const char* name;
    bool probe;  // else the program, switched with Alt+Enter
    bool escape;  // else the close box
  };
  const Case cases[] = {{"program, Alt+Enter, close box", false, false},
                        {"fullscreen from the start, Escape", true, true},
                        {"fullscreen from the start, close box", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SaverSettings saver = saver_settings(d);
    Child program(c.probe ? std::vector<std::string>{QZ_PROBE, "--fullscreen", "--size", "800x600", "animate"}
                          : std::vector<std::string>{QZ_PROGRAM},
                  desktop.env());
    Window window = window_of(d, program.pid(), 20s);
    ASSERT_NE(window, 0u) << program.read_stderr();
    if (c.probe) {
      ASSERT_TRUE(eventually([&] { return desktop.fullscreen_shown(kProbeWidth, kProbeHeight); }, 5s));
    } else {
      ASSERT_TRUE(switch_to_fullscreen(desktop, window));
      window = window_of(d, program.pid(), 5s);  // the switch made a new window
      ASSERT_NE(window, 0u);
    }
    if (c.escape) {
      ASSERT_TRUE(focus_window(desktop.server, window));
      ASSERT_TRUE(xdotool(desktop.server.name(), {"key", "Escape"}));
    } else {
      send_close_request(d, window);
    }
    const Ending ending = wait_for_ending(program.pid(), 10s);
    EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
    EXPECT_EQ(ending.code, 0) << program.read_stderr();
    desktop.expect_left_as_before(saver);
    const std::string guardian = "qzguard-" + std::to_string(program.pid());
    EXPECT_TRUE(eventually([&] { return !process_named(guardian); }, 1s)) << guardian << " is left";
  }
}

// A listening socket where an X server would be, on a display number of its
// own: one that closes every connection at once, or one that never answers
// (connections wait in its backlog).
class FakeServer {
 public:
  explicit FakeServer(bool closes) {
    for (int number = 4700 + getpid() % 200; fd_ < 0 && number < 6000; number += 7) {
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      // The abstract name the X libraries try first on Linux: nothing to
      // clean up in the file system.
      const std::string name = std::string("/tmp/.X11-unix/X").append(std::to_string(number));
      std::memcpy(address.sun_path + 1, name.data(), name.size());
      const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
      if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd, 16) == 0) {
        fd_ = fd;
        display = std::string(":").append(std::to_string(number));
      } else {
        close(fd);
      }
    }
    if (fd_ >= 0 && closes)
      acceptor_ = std::thread([fd = fd_] {
        for (int client; (client = accept(fd, nullptr, nullptr)) >= 0;) close(client);
      });
  }
  // One on TCP, as a remote server would be: the connection is taken by
  // the system, no session ever answered.
  FakeServer() {
    for (int number = 4700 + getpid() % 200; fd_ < 0 && number < 6000; number += 7) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(std::uint16_t(6000 + number));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 16) == 0) {
        fd_ = fd;
        display = std::string("127.0.0.1:").append(std::to_string(number));
      } else {
        close(fd);
      }
    }
  }
  ~FakeServer() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    if (fd_ >= 0) close(fd_);
  }
  std::string display;

 private:
  int fd_ = -1;
  std::thread acceptor_;
};

// An authority file entry for any display, in the file format the X
// libraries read: family, address, number, name, data, each counted.
void write_cookie(const std::string& path, const std::array<unsigned char, 16>& cookie) {
  auto counted = [](std::string text) {
    return std::string{char(text.size() >> 8), char(text.size() & 0xFF)} + text;
  };
  const std::string family_wild = "\xff\xff";
  const std::string entry = family_wild + counted("") + counted("") + counted("MIT-MAGIC-COOKIE-1") +
                            counted(std::string(cookie.begin(), cookie.end()));
  std::ofstream(path, std::ios::binary) << entry;
}

TEST(ReliabilityNoDisplay, EveryWayOfNotConnectingGivesOneLineAndStatusOneWithinTwoSeconds) {
  // No DISPLAY and a display nobody serves are among the X11 tests.
  const std::string dir = std::filesystem::temp_directory_path() / ("qz-auth-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::mt19937 random(std::random_device{}());
  std::array<unsigned char, 16> right{}, wrong{};
  for (auto& b : right) b = static_cast<unsigned char>(random());
  for (auto& b : wrong) b = static_cast<unsigned char>(b ^ 0x5A);
  write_cookie(dir + "/server", right);
  write_cookie(dir + "/client", wrong);
  Xvfb guarded("640x480x24", {"-auth", dir + "/server"});
  ASSERT_TRUE(guarded.running());
  FakeServer closing(true), silent(false), remote_silent;
  ASSERT_FALSE(closing.display.empty());
  ASSERT_FALSE(silent.display.empty());
  ASSERT_FALSE(remote_silent.display.empty());
  std::string odd_name(100 * 1024, 'x');
  for (std::size_t i = 0; i < odd_name.size(); i += 7) odd_name[i] = char(0x80 + i % 100);

  struct Case {
    const char* name;
    std::vector<std::string> env;
    std::string cause;
  };
  const Case cases[] = {
      {"a name that is no display", {"DISPLAY=no display here"}, "cannot open display \"no display here\""},
      {"a 100 KiB name of bytes that are not text", {"DISPLAY=" + odd_name}, "cannot open display \"\\x80xxxxxx\\x87"},
      {"a socket that closes at once", {"DISPLAY=" + closing.display}, "cannot open display"},
      {"a server that never answers", {"DISPLAY=" + silent.display}, "does not answer"},
      // The connect is given up on and left blocked to the end.
      {"a remote server that never answers", {"DISPLAY=" + remote_silent.display}, "does not answer"},
      {"a server wanting another cookie",
       {"DISPLAY=" + guarded.name(), "XAUTHORITY=" + dir + "/client"},
       "(the server said: Invalid MIT-MAGIC-COOKIE-1 key)"},
      {"a server wanting a cookie we lack",
       {"DISPLAY=" + guarded.name(), "XAUTHORITY=" + dir + "/none"},
       "(the server said: Authorization required"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> env = no_pause_at_exit();
    env.insert(env.end(), c.env.begin(), c.env.end());
    env.push_back("QZGFX");
    Child program({QZ_PROGRAM}, env);
    const Ending ending = wait_for_ending(program.pid(), 10s);
    print_figure(std::string("no window: ") + c.name, ending);
    EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
    EXPECT_EQ(ending.code, 1);
    EXPECT_LT(ending.after, 2000ms);
    const std::vector<std::string> lines = lines_of(program.read_stderr());
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find(c.cause), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("QZGFX=null"), std::string::npos) << lines[0];
    EXPECT_LT(lines[0].size(), 400u);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
