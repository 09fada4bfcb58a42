// Load: a flood of keys while the program animates (its pace seen from
// outside), the key queue under ten thousand keys, and a thousand mode sets
// and closes in one process.

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "display/display_driver.h"
#include "display/gl_context.h"
#include "display/screen_mode.h"
#include "gfx/line.h"
#include "gfx/screen_lock.h"
#include "input/key_read.h"
#include "tests/reliability/reliability_support.h"

using namespace qz;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
// The resident size is a figure of the plain build only: freed blocks wait
// in AddressSanitizer's quarantine (up to 256 MiB) before they are used
// again, and ThreadSanitizer keeps records of every thread that ended (one
// per window here). AddressSanitizer's leak check at the end of this process
// stands in for it there.
constexpr bool kResidentSizeMeaningful = !kSanitized;

// OpenGL mode sets and closes per run: each costs a connection, a window
// and a GL context, about 90 ms on llvmpipe (a thousand are measured by hand),
// three or four times that under a sanitizer.
constexpr int kOpenGlCycles = kSanitized ? 40 : 200;
// The GL library's caches fill over the first few hundred contexts, then
// stay (measured in heap per 100 cycles: +28, +15, +12, +3, 0 KiB).
constexpr std::size_t kOpenGlHeapAllowance = 256 * 1024;

// The crank turns about this point.
constexpr int kCrankX = 950, kCrankY = 489;

// 100 bursts of 100 presses of "a", 50 ms apart: 10,000 keys in about 10 s.
constexpr int kBursts = 100, kKeysPerBurst = 100;

std::vector<std::string> flood_command(int bursts, int keys_per_burst, const std::string& last_keys) {
  std::vector<std::string> argv = {"/usr/bin/xdotool"};
  for (int burst = 0; burst < bursts; ++burst) {
    argv.insert(argv.end(), {"key", "--delay", "0"});
    argv.insert(argv.end(), std::size_t(keys_per_burst), "a");
    if (burst + 1 < bursts) argv.insert(argv.end(), {"sleep", "0.05"});
  }
  for (char c : last_keys) argv.push_back(std::string(1, c));
  return argv;
}

TEST(ReliabilityLoad, TenThousandKeysKeepTheFramePaceAndEscapeStillEnds) {
  Xvfb server("1920x1200x24");
  ASSERT_TRUE(server.running() && server.display()) << "Xvfb did not start";
  Display* d = server.display();
  Child program({QZ_PROGRAM}, {"DISPLAY=" + server.name(), "QZGFX"});
  const Window window = window_of(d, program.pid(), 20s);
  ASSERT_NE(window, 0u) << program.read_stderr();
  ASSERT_TRUE(focus_window(server, window));

  FrameWatch watch(d, window, kCrankX, kCrankY);
  // Samples the ring until `done` holds or `limit` passes.
  auto watch_until = [&](const std::function<bool()>& done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (!done() && Clock::now() < deadline) {
      watch.sample();
      std::this_thread::sleep_for(8ms);
    }
    return done();
  };
  // The pace undisturbed first (from the second frame on: the first may
  // still meet the sweep's drawing).
  ASSERT_TRUE(watch_until([&] { return watch.frames().size() >= 2; }, 10s)) << "no frames seen in the ring";
  const std::size_t quiet_from = watch.frames().size() - 1;
  watch_until([] { return false; }, 5s);
  const std::size_t quiet_to = watch.frames().size();

  Child flood(flood_command(kBursts, kKeysPerBurst, ""), {"DISPLAY=" + server.name()});
  const auto flood_start = Clock::now();
  ChildResult flood_result;
  watch_until([&] { return flood_result.exited || (flood_result = flood.wait(0ms)).exited; }, 60s);
  const double flood_seconds = std::chrono::duration<double>(Clock::now() - flood_start).count();
  const std::size_t loaded_to = watch.frames().size();
  ASSERT_TRUE(flood_result.exited && flood_result.status == 0) << "xdotool failed";

  const FrameWatch::Pace quiet = watch.pace(quiet_from, quiet_to);
  const FrameWatch::Pace loaded = watch.pace(quiet_to, loaded_to);
  std::printf("[figure] %d keys sent in %.1f s; frame pace: %.1f ms undisturbed (%d frames, longest %.0f ms), "
              "%.1f ms under the keys (%d frames, longest %.0f ms)\n",
              kBursts * kKeysPerBurst, flood_seconds, quiet.mean_ms, quiet.frames, quiet.longest_ms, loaded.mean_ms,
              loaded.frames, loaded.longest_ms);
  ASSERT_GE(quiet.frames, 5);
  ASSERT_GE(loaded.frames, 10);
  EXPECT_NEAR(loaded.mean_ms, quiet.mean_ms, quiet.mean_ms * 0.10);

  // Escape joins at most 14 keys still queued; one is read per frame.
  const auto pressed = Clock::now();
  ASSERT_TRUE(xdotool(server.name(), {"key", "Escape"}));
  const Ending ending = wait_for_ending(program.pid(), 30s);
  std::printf("[figure] Escape after the keys ended the program in %.1f s\n",
              std::chrono::duration<double>(Clock::now() - pressed).count());
  EXPECT_TRUE(ending.ended && ending.exited) << describe(ending);
  EXPECT_EQ(ending.code, 0) << program.read_stderr();
  const std::chrono::duration<double, std::milli> longest_wait(16 * quiet.mean_ms + 3000);
  EXPECT_LT(Clock::now() - pressed, longest_wait);
}

// True once the close request the test sent is among the window's events.
bool close_request_posted() {
  screen_lock();
  const ScreenMode& m = *current_mode();
  bool found = false;
  for (int i = m.event_read; i != m.event_write; i = (i + 1) % kEventRingSize)
    found = found || m.event_ring[std::size_t(i)].type == kEventCloseRequest;
  screen_unlock(1, 0);
  return found;
}

TEST(ReliabilityLoad, TheQueueKeepsTheNewestFifteenOfTenThousandKeys) {
  InProcessDisplay session("640x480x24");
  ASSERT_TRUE(session.server.running() && session.server.display()) << "Xvfb did not start";
  Display* d = session.server.display();
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  const Window window = window_of(d, getpid(), 10s);
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(focus_window(session.server, window));
  while (!read_key().empty()) {
  }
  // 9,985 "a", then 15 letters that tell which codes stayed, all unread.
  Child flood(flood_command(1, 9985, "bcdefghijklmnop"), {"DISPLAY=" + session.server.name()});
  const ChildResult sent = flood.wait(120s);
  ASSERT_TRUE(sent.exited && sent.status == 0) << "xdotool failed";
  std::printf("[figure] the 10,000 keys took %.1f s to send\n", double(sent.elapsed.count()) / 1000);
  // The close request comes after every key: once it is posted, all are in.
  send_close_request(d, window);
  ASSERT_TRUE(eventually(close_request_posted, 60s));
  std::string kept;
  int read = 0;
  for (std::string key = read_key(); !key.empty(); key = read_key(), ++read) kept += key == "\xff" "k" ? "<close>" : key;
  std::printf("[figure] 10,000 keys and a close request unread: %d codes kept (%s), %d dropped\n", read,
              kept.c_str(), 10001 - read);
  EXPECT_EQ(kept, "cdefghijklmnop<close>");
}

struct Usage {
  long resident_kb = 0;
  std::size_t heap_bytes = 0;
  int threads = 0;
  int descriptors = 0;
};

int entries_in(const char* dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

Usage usage_now() {
  Usage u;
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  u.resident_kb = resident * (sysconf(_SC_PAGESIZE) / 1024);
  u.heap_bytes = mallinfo2().uordblks;
  u.threads = entries_in("/proc/self/task");
  u.descriptors = entries_in("/proc/self/fd");
  return u;
}

// The counts once threads that are on their way out have gone: a joined or
// finishing thread can still be listed for a moment, longest under a
// sanitizer on a busy machine.
Usage settled_usage() {
  Usage u = usage_now();
  for (int i = 0; i < 40; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Usage next = usage_now();
    if (next.threads == u.threads && next.descriptors == u.descriptors) return next;
    u = next;
  }
  return u;
}

// One mode set and close of four kinds in turn: by size at 32 and 16 bits
// (two pages), numbered 13 (8 bits) and 12 (4 bits), each drawn on once;
// with `flags` (OpenGL), drawn on with GL as well and flipped.
void set_and_close(int i, int flags) {
  switch (i % 4) {
    case 0: gfx_screen_res(320, 200, 32, 1, flags, 0); break;
    case 1: gfx_screen_numbered(13, 0, 0, flags, 0); break;
    case 2: gfx_screen_res(400, 300, 16, 2, flags, 0); break;
    default: gfx_screen_numbered(12, 0, 0, flags, 0); break;
  }
  ASSERT_NE(current_mode(), nullptr) << "mode set " << i << ": " << driver_failure_reason();
  gfx_line(nullptr, 0, 0, 100, 100, 0xFFFFFFFF, kLine, 0xFFFF, 0);
  if (flags & kModeOpengl) {
    const auto clear = reinterpret_cast<void (*)(unsigned)>(gl_proc_address("glClear"));
    ASSERT_NE(clear, nullptr);
    clear(0x4000);  // GL_COLOR_BUFFER_BIT
    current_mode()->driver->flip();
  }
  gfx_screen_close();
}

TEST(ReliabilityModeSets, AThousandSetsAndClosesLeaveNothingBehind) {
  // ThreadSanitizer runs fewer on the window back end: each set there costs
  // a thread, a connection and a window, four times slower to check.
#if defined(__SANITIZE_THREAD__)
  const int x11_count = 200;
#else
  const int x11_count = 1000;
#endif
  struct Case {
    const char* name;
    const char* qzgfx;  // null: the window back end
    int count;
    int flags;
    std::size_t heap_allowance;
  };
  const Case cases[] = {{"X11", nullptr, x11_count, 0, 64 * 1024},
                        {"Null", "null", 1000, 0, 64 * 1024},
                        {"OpenGL", nullptr, kOpenGlCycles, kModeOpengl, kOpenGlHeapAllowance}};
  InProcessDisplay session("1024x768x24");
  ASSERT_TRUE(session.server.running() && session.server.display()) << "Xvfb did not start";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.qzgfx) {
      setenv("QZGFX", c.qzgfx, 1);
    }
    // Xlib keeps its locale and input-method tables after the first use,
    // the allocator its arenas.
    for (int i = 0; i < 20; ++i) set_and_close(i, c.flags);
    const Usage before = settled_usage();
    const auto start = Clock::now();
    Usage halfway;
    for (int i = 0; i < c.count && !HasFatalFailure(); ++i) {
      set_and_close(i, c.flags);
      if (i == c.count / 2) halfway = usage_now();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Usage after = settled_usage();
    std::printf("[figure] %d mode sets and closes (%s) in %.1f s: resident %ld -> %ld -> %ld KiB, heap %zu -> %zu "
                "-> %zu bytes, threads %d -> %d, descriptors %d -> %d\n",
                c.count, c.name, seconds, before.resident_kb, halfway.resident_kb, after.resident_kb,
                before.heap_bytes, halfway.heap_bytes, after.heap_bytes, before.threads, after.threads,
                before.descriptors, after.descriptors);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    if (kResidentSizeMeaningful) {
      // Growth would show between the second half and the first as well.
      EXPECT_LT(after.resident_kb, halfway.resident_kb + 2048);
      EXPECT_LT(after.resident_kb, before.resident_kb + 4096);
    }
    if (!kSanitized) {
      EXPECT_LT(after.heap_bytes, before.heap_bytes + c.heap_allowance);
    }
    EXPECT_TRUE(program_windows(session.server.display()).empty());
    unsetenv("QZGFX");
  }
}

}  // namespace
