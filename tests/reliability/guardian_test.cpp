// The process that puts the desktop's display mode back after a fullscreen
// program dies: what it costs, what reaches it, and two fullscreen programs
// on one display.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "display/x11/x11_mode_guardian.h"
#include "tests/reliability/reliability_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int kDesktopWidth = 1920;
constexpr int kSmallWidth = 800, kSmallHeight = 600;
constexpr int kLargeWidth = 1680, kLargeHeight = 1050;
constexpr int kGlWidth = 640, kGlHeight = 480;  // the OpenGL test program's size

// A 1920 x 1200 screen that also offers three smaller modes.
struct Desktop {
  Desktop() : server("1920x1200x24") {
    ok = server.display() && add_output_mode(server.display(), kSmallWidth, kSmallHeight) &&
         add_output_mode(server.display(), kLargeWidth, kLargeHeight) &&
         add_output_mode(server.display(), kGlWidth, kGlHeight);
  }
  std::vector<std::string> env() const { return {"DISPLAY=" + server.name(), "QZGFX"}; }
  int mode_width() const { return crtc_mode_size(server.display()).width; }
  // Root window properties that record a desktop mode.
  std::vector<Atom> mode_records() const {
    int count = 0;
    std::vector<Atom> records;
    Atom* atoms = XListProperties(server.display(), DefaultRootWindow(server.display()), &count);
    for (int i = 0; i < count; ++i) {
      char* name = XGetAtomName(server.display(), atoms[i]);
      if (name && std::string(name).rfind("_QZGFX_DESKTOP_MODE_", 0) == 0) records.push_back(atoms[i]);
      if (name) XFree(name);
    }
    if (atoms) XFree(atoms);
    return records;
  }
  Xvfb server;
  bool ok = false;
};

// The process of this name (its comm), or 0.
pid_t pid_named(const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream comm(entry.path() / "comm");
    std::string line;
    if (comm && std::getline(comm, line) && line == name) return pid_t(std::atoi(entry.path().filename().c_str()));
  }
  return 0;
}

pid_t guardian_of(pid_t program) {
  pid_t guardian = 0;
  eventually([&] { return (guardian = pid_named("qzguard-" + std::to_string(program))) != 0; }, 2s);
  return guardian;
}

// Private_Clean + Private_Dirty of a process, in kB.
long private_kb(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long value = 0, total = 0;
  std::getline(rollup, key);  // the range line
  while (rollup >> key >> value) {
    if (key == "Private_Clean:" || key == "Private_Dirty:") total += value;
    rollup.ignore(64, '\n');
  }
  return total;
}

std::string fd_target(pid_t pid, const std::string& fd) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + fd, error).string();
}

Child fullscreen_probe(const Desktop& desktop, int width, int height, int heap_mb = 0) {
  return Child({QZ_PROBE, "--fullscreen", "--size", std::to_string(width) + "x" + std::to_string(height), "--heap",
                std::to_string(heap_mb), "animate"},
               desktop.env());
}

}  // namespace

// The guardian is a process of its own, not a copy of the program: its
// memory does not grow with the program's heap, it holds none of the
// program's descriptors, and signals meant for the program's group or
// terminal leave it (and the mode it guards) alone.
TEST(ReliabilityGuardian, IsSmallHoldsNothingOfTheProgramAndOutlivesItsSignals) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  // A descriptor above 1023 that the program inherits and must not pass on.
  const int marker = fcntl(open("/dev/zero", O_RDONLY), F_DUPFD, 1500);
  ASSERT_GE(marker, 1500);
  Child probe = fullscreen_probe(desktop, kSmallWidth, kSmallHeight, 300);
  ASSERT_TRUE(probe.read_line(20s).has_value()) << probe.read_stderr();
  ASSERT_EQ(desktop.mode_width(), kSmallWidth);
  const pid_t guardian = guardian_of(probe.pid());
  ASSERT_NE(guardian, 0) << probe.read_stderr();
  const long program_kb = private_kb(probe.pid()), guardian_kb = private_kb(guardian);
  std::printf("[figure] private memory: program %ld kB, guardian %ld kB\n", program_kb, guardian_kb);
  EXPECT_GT(program_kb, 300 * 1024);
  EXPECT_LE(guardian_kb, 2048);

  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(guardian) + "/fd")) {
    const std::string target = fd_target(guardian, entry.path().filename());
    EXPECT_TRUE(target == "/dev/null" || target.rfind("socket:", 0) == 0 || target == "anon_inode:[pidfd]")
        << entry.path() << " -> " << target;
  }
  close(marker);
  EXPECT_NE(getsid(guardian), getsid(probe.pid()));
  EXPECT_NE(getpgid(guardian), getpgid(probe.pid()));
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) kill(guardian, signal_number);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(pid_named("qzguard-" + std::to_string(probe.pid())), guardian) << "a signal ended the guardian";

  ASSERT_EQ(kill(probe.pid(), SIGKILL), 0);
  probe.wait(5s);
  EXPECT_TRUE(eventually([&] { return desktop.mode_width() == kDesktopWidth; }, 2s));
  EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(probe.pid())) == 0; }, 2s));
}

// Two fullscreen programs on one display, ending in either order, by a kill
// (the guardian acts) or by a signal the program handles (it acts itself):
// the desktop's own mode comes back, whichever mode was on before each
// started, and no record of it is left on the display.
TEST(ReliabilityGuardian, TwoFullscreenProgramsLeaveTheDesktopsMode) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  for (const bool first_ends_first : {true, false}) {
    SCOPED_TRACE(first_ends_first ? "first ends first" : "second ends first");
    Child first = fullscreen_probe(desktop, kSmallWidth, kSmallHeight);
    ASSERT_TRUE(first.read_line(20s).has_value()) << first.read_stderr();
    Child second = fullscreen_probe(desktop, kLargeWidth, kLargeHeight);
    ASSERT_TRUE(second.read_line(20s).has_value()) << second.read_stderr();
    ASSERT_EQ(desktop.mode_width(), kLargeWidth);
    EXPECT_EQ(desktop.mode_records().size(), 1u);
    if (first_ends_first) {
      ASSERT_EQ(kill(first.pid(), SIGKILL), 0);
      first.wait(5s);
      EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(first.pid())) == 0; }, 2s));
      EXPECT_EQ(desktop.mode_width(), kLargeWidth) << "the first program took the second one's mode away";
      ASSERT_EQ(kill(second.pid(), SIGTERM), 0);
      EXPECT_TRUE(second.wait(10s).exited);
    } else {
      ASSERT_EQ(kill(second.pid(), SIGTERM), 0);
      EXPECT_TRUE(second.wait(10s).exited);
      EXPECT_EQ(desktop.mode_width(), kDesktopWidth);
      ASSERT_EQ(kill(first.pid(), SIGKILL), 0);
      first.wait(5s);
      EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(first.pid())) == 0; }, 2s));
    }
    EXPECT_EQ(desktop.mode_width(), kDesktopWidth);
    EXPECT_TRUE(desktop.mode_records().empty());
  }
}

// A restore the server refuses (here: a record spoilt to a rotation of
// none) leaves the record for a later try, by the program and then by its
// guardian, which then ends all the same.
TEST(ReliabilityGuardian, ARefusedRestoreKeepsTheRecord) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  Display* d = desktop.server.display();
  Child probe = fullscreen_probe(desktop, kSmallWidth, kSmallHeight);
  ASSERT_TRUE(probe.read_line(20s).has_value()) << probe.read_stderr();
  const std::vector<Atom> records = desktop.mode_records();
  ASSERT_EQ(records.size(), 1u);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(d, DefaultRootWindow(d), records[0], 0, 64, False, AnyPropertyType, &type, &format,
                               &count, &after, &data),
            Success);
  ASSERT_TRUE(data && format == 32 && count > 4);
  std::vector<long> words(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
  XFree(data);
  words[3] = 0;  // the rotation
  XChangeProperty(d, DefaultRootWindow(d), records[0], type, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(words.data()), int(words.size()));
  XSync(d, False);

  ASSERT_EQ(kill(probe.pid(), SIGTERM), 0);
  EXPECT_EQ(probe.wait(10s).status, 128 + SIGTERM);
  EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(probe.pid())) == 0; }, 2s));
  EXPECT_EQ(desktop.mode_width(), kSmallWidth);
  EXPECT_EQ(desktop.mode_records().size(), 1u);
}

// An OpenGL program that never started the runtime (its signals as the
// system has them) closes its fullscreen screen normally after the
// guardian has gone; and a guardian that cannot start says why.
TEST(ReliabilityGuardian, ItsAbsenceNeverEndsTheProgramAndAFailedStartIsTold) {
  Desktop desktop;
  ASSERT_TRUE(desktop.ok) << "Xvfb did not start or took no modes";
  // SIGPIPE as a program started from a shell has it (this test ignores it).
  Child program({"env", "--default-signal=PIPE", QZ_GL_SCREEN_PROGRAM, "1"}, desktop.env());
  const auto ready = program.read_line(30s);
  ASSERT_TRUE(ready && ready->rfind("ready", 0) == 0) << (ready ? *ready : program.read_stderr());
  ASSERT_EQ(desktop.mode_width(), kGlWidth);
  const pid_t guardian = guardian_of(program.pid());
  ASSERT_NE(guardian, 0);
  ASSERT_EQ(kill(guardian, SIGKILL), 0);
  EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(program.pid())) == 0; }, 2s));
  program.write_line("quit");
  const ChildResult result = program.wait(10s);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0) << program.read_stderr();
  EXPECT_EQ(desktop.mode_width(), kDesktopWidth);

  qz::X11CrtcSetting setting;
  setting.crtc = 1;
  const std::string why = qz::x11_guard_mode("unix:65001", setting, 2);
  EXPECT_NE(why.find("cannot open display"), std::string::npos) << why;
  EXPECT_TRUE(eventually([&] { return pid_named("qzguard-" + std::to_string(getpid())) == 0; }, 2s));
}
