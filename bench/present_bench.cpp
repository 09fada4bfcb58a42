#include "bench/bench_registry.h"

#ifdef QZ_BENCH_HAVE_X11_PRESENT

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/scene.h"
#include "bench/null_screen.h"
#include "bench/x11_client.h"
#include "bench/xvfb_server.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_title.h"
#include "gfx/line.h"
#include "gfx/screen_lock.h"

using namespace qz;

// Presentation under a private Xvfb: one pass of the window host's update
// loop with a 100-row band, with every row or with no row marked, against this process's
// own XShmPutImage + XSync of the same rows on a window of the same size; and
// the time from a drawing call's return (its unlock) until a pixel it drew
// reads back from the server.

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBandFirst = 500, kBandRows = 100;
// Passes come about every 10 ms: a fixed count keeps the run short.
constexpr int kPresentIterations = 10;
// Room for the program's window, centred, and ours beside it.
constexpr int kServerWidth = 3 * kFrameWidth, kServerHeight = 1080;

struct PresentSetup {
  std::unique_ptr<XvfbServer> server;
  std::unique_ptr<BareX11Client> bare;
  std::string error;
};

std::unique_ptr<PresentSetup> g_setup;

// Started by the first presentation benchmark, so a run filtered to other
// benchmarks starts no server.
PresentSetup& present_setup() {
  if (g_setup) return *g_setup;
  g_setup = std::make_unique<PresentSetup>();
  PresentSetup& s = *g_setup;
  try {
    s.server = std::make_unique<XvfbServer>(kServerWidth, kServerHeight);
    s.bare = std::make_unique<BareX11Client>(s.server->display_name(), kFrameWidth, kFrameHeight);
    std::memset(s.bare->pixels(), 0x80, kFrameBytes);
  } catch (const std::exception& e) {
    s.error = e.what();
    s.bare.reset();
    s.server.reset();
  }
  return s;
}

// Waits until the host has finished `count` more passes than `since`. The
// host times its passes itself; polling gently keeps this thread from taking
// the cores the pass and the server need.
HostPassStats wait_for_passes(const HostPassStats& since, std::int64_t count) {
  for (;;) {
    HostPassStats now = host_pass_stats();
    if (now.passes >= since.passes + count) return now;
    usleep(3000);
  }
}

// Runs a mode set as the program does it, on the private server.
template <typename ModeSet>
void on_private_server(const XvfbServer& server, ModeSet&& mode_set) {
  setenv("DISPLAY", server.display_name().c_str(), 1);
  unsetenv("QZGFX");
  mode_set();
  setenv("QZGFX", "null", 1);
}

bool has_window() { return current_mode() && current_mode()->driver != &null_driver; }

// The program's window on the private server, or an error text: a frame of
// the program's size, or at `scale` a picture that many times smaller in a
// window of the same size.
std::string window_screen(int scale = 1) {
  PresentSetup& setup = present_setup();
  if (!setup.server) return "no Xvfb: " + setup.error;
  const ScreenMode* mode = current_mode();
  const int width = kFrameWidth / scale, height = kFrameHeight / scale;
  if (has_window() && mode->width == width && mode->height == height) return {};
  on_private_server(*setup.server, [&] {
    setenv("QZGFX_SCALE", std::to_string(scale).c_str(), 1);
    gfx_screen_res(width, height, 32, 1, 0, 0);
    unsetenv("QZGFX_SCALE");
  });
  if (!has_window()) return std::string("no window: ") + driver_failure_reason();
  // Two passes: the window is mapped and its first full frame is out.
  wait_for_passes(host_pass_stats(), 2);
  return {};
}

void pass_with_rows(benchmark::State& state, int first, int last, int scale) {
  if (std::string error = window_screen(scale); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    // Read under the lock the pass records under: every pass counted here
    // ended before the rows were marked, so the next one presents them.
    screen_lock();
    HostPassStats before = host_pass_stats();
    screen_unlock(first, last);
    HostPassStats after = wait_for_passes(before, 1);
    state.SetIterationTime(double(after.total_us - before.total_us) * 1e-6 / double(after.passes - before.passes));
  }
}

void bare_put(benchmark::State& state, int first, int count, bool after_idle) {
  PresentSetup& setup = present_setup();
  if (!setup.bare) {
    state.SkipWithError(("no Xvfb: " + setup.error).c_str());
    return;
  }
  for (auto _ : state) {
    // A pass comes after the host's 10 ms sleep, when the server has been
    // idle too; this variant puts after the same pause (untimed).
    if (after_idle) usleep(10000);
    auto start = Clock::now();
    setup.bare->put_rows(first, count);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

void unlock_to_server(benchmark::State& state) {
  if (std::string error = window_screen(); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  BareX11Client& bare = *present_setup().bare;
  unsigned long window = bare.find_window(kFrameWidth, kFrameHeight);
  if (!window) {
    state.SkipWithError("the program's window is not on the server");
    return;
  }
  bare.move_beside(window);
  constexpr int kProbeX = kFrameWidth / 2, kProbeY = kBandFirst + kBandRows / 2;
  std::uint32_t colours[2] = {0xFF204060u, 0xFF604020u};
  int turn = 0;
  for (auto _ : state) {
    std::uint32_t colour = colours[turn ^= 1];
    gfx_line(nullptr, 0.0f, float(kBandFirst), float(kFrameWidth - 1), float(kBandFirst + kBandRows - 1), colour,
             kBoxFilled, 0xFFFF, 0);
    auto unlocked = Clock::now();
    // Each read is a round trip that keeps the server busy: 0.2 ms apart is
    // fine enough against passes 10 ms apart.
    while (bare.read_pixel(window, kProbeX, kProbeY) != std::int64_t(colour & 0xFFFFFFu)) {
      if (Clock::now() - unlocked > std::chrono::seconds(1)) {
        state.SkipWithError("the drawn rows did not reach the server within 1 s");
        return;
      }
      usleep(200);
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - unlocked).count());
  }
}

// A call handed to the window thread and back: setting the title, while
// nothing is drawn (the thread sleeps between passes then).
void title_call(benchmark::State& state) {
  if (std::string error = window_screen(); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  int turn = 0;
  for (auto _ : state) {
    usleep(20000);  // untimed: the thread is asleep when the call comes
    const auto start = Clock::now();
    gfx_window_title((turn ^= 1) ? "bench title a" : "bench title b");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

// The program's picture as the program builds it: with its window, so the
// mode set includes the window and the framebuffer the server shares.
void picture_with_window(benchmark::State& state) {
  PresentSetup& setup = present_setup();
  if (!setup.server) {
    state.SkipWithError(("no Xvfb: " + setup.error).c_str());
    return;
  }
  static char program_name[] = "linkageSWEEPdemo1";
  static char* argv[] = {program_name, nullptr};
  static LinkageTable table;
  for (auto _ : state) {
    gfx_screen_close();  // the teardown of the last picture is not timed
    Clock::time_point start, end;
    on_private_server(*setup.server, [&] {
      start = Clock::now();
      setup_scene(1, argv);
      const SceneConstants scene = make_scene_constants();
      compute_sweep(scene, table);
      draw_static_chart(scene, table);
      end = Clock::now();
    });
    if (!has_window()) {
      state.SkipWithError((std::string("no window: ") + driver_failure_reason()).c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}

template <typename... Args>
void add(const char* name, void (*fn)(benchmark::State&, Args...), Args... args) {
  with_report_settings(benchmark::RegisterBenchmark(name, fn, args...))->Iterations(kPresentIterations);
}

}  // namespace

void register_present_benchmarks() {
  add("present/pass_band100", pass_with_rows, kBandFirst, kBandFirst + kBandRows - 1, 1);
  // The same window rows from a picture shown twice its size.
  add("present/pass_band100_scaled2", pass_with_rows, kBandFirst / 2, (kBandFirst + kBandRows) / 2 - 1, 2);
  add("present/bare_band100", bare_put, kBandFirst, kBandRows, false);
  add("present/bare_band100_after_idle", bare_put, kBandFirst, kBandRows, true);
  add("present/pass_all_rows", pass_with_rows, 0, -1, 1);
  add("present/bare_all_rows", bare_put, 0, kFrameHeight, false);
  // Nothing marked (screen_unlock(1, 0) marks no row): the pass's own cost.
  add("present/pass_no_rows", pass_with_rows, 1, 0, 1);
  add("present/unlock_to_server", unlock_to_server);
  add("present/picture_with_window", picture_with_window);
  add("present/title_call", title_call);
}

void stop_present_benchmarks() {
  // The program's window goes before its server.
  if (has_window()) gfx_screen_close();
  g_setup.reset();
}

#else

void register_present_benchmarks() {}
void stop_present_benchmarks() {}

#endif

