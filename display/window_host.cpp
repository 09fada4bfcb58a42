// The platform-neutral half of the window host: the driver thread's start
// handshake and stop, the queue of calls handed to it, and the default
// driver operations. Who holds what is described in the back end's host file
// (display/x11/x11_host.cpp for X11).

#include "display/window_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <memory>
#include <thread>
#include <vector>

#include "display/screen_mode.h"
#include "display/vsync.h"
#include "display/window_input.h"
#include "display/window_scale.h"
#include "gfx/screen_lock.h"
#include "runtime/termination.h"

namespace qz {

namespace {

// How often the start handshake looks at the answer limit and for requests.
constexpr auto kStartSlice = std::chrono::milliseconds(20);

enum class StartState { kIdle, kStarting, kReady, kEnded };

struct PendingCall {
  const std::function<void()>* fn;
  bool done = false;
};

// The thread's life and the call queue share one mutex and one condition:
// both are about the driver thread answering the program's thread.
struct HostThread {
  std::mutex mutex;
  std::condition_variable changed;
  StartState state = StartState::kIdle;
  bool alive = false;      // the thread body has not returned yet
  bool connected = false;  // the thread's display answered
  bool retired = false;    // the thread left the host without returning
  // Numbers the threads: one that was given up on keeps its old number and
  // so knows to leave the host alone.
  std::uint64_t generation = 0;
  std::vector<PendingCall*> calls;
  std::thread thread;
};

std::unique_ptr<WindowHost> g_host = std::make_unique<WindowHost>();
// Never destroyed: a library that ends the process from the driver thread
// (Xlib does when the display goes away) must not meet a joinable thread
// in the static destructors.
HostThread& g_thread = *new HostThread;
std::atomic<bool> g_running{false};
std::atomic<bool> g_pass_requested{false};
// Set by the thread itself, so that it is known before anything it runs asks.
std::atomic<std::thread::id> g_driver_id{};
thread_local std::uint64_t t_generation = 0;

std::mutex g_stats_mutex;
HostPassStats g_stats;

}  // namespace

WindowHost& window_host() { return *g_host; }

bool host_picture_scaled() {
  const WindowHost& host = *g_host;
  return host.window_width != host.width || host.window_height != host.height;
}

const PictureRect& host_fit_picture(int window_width, int window_height) {
  WindowHost& host = *g_host;
  host.window_width = window_width;
  host.window_height = window_height;
  host.picture = host_picture_scaled() ? fit_picture(host.width, host.height, window_width, window_height)
                                       : PictureRect{0, 0, host.width, host.height};
  return host.picture;
}

bool host_fullscreen_at_desktop_mode() {
  WindowHost& host = *g_host;
  if (host.flags & kModeOpengl) return false;
  host.flags = (host.flags & ~kModeFullscreen) | kModeDesktopFullscreen;
  return true;
}

PicturePoint host_picture_point(int x, int y) {
  const WindowHost& host = *g_host;
  if (!host_picture_scaled()) return {x, y};
  return window_to_picture(host.picture, host.width, host.height, x, y);
}

PicturePoint host_window_point(int x, int y) {
  const WindowHost& host = *g_host;
  if (!host_picture_scaled()) return {x, y};
  return picture_to_window(host.picture, host.width, host.height, x, y);
}

void host_reset() {
  g_host = std::make_unique<WindowHost>();
  g_host->fullscreen_kind = kModeFullscreen;
}

void host_prepare(int width, int height, int depth, int refresh, int flags) {
  host_reset();
  WindowHost& host = *g_host;
  host.width = width;
  host.height = height;
  host.depth = depth;
  host.refresh = refresh;
  host.flags = flags;
  if (flags & kModeDesktopFullscreen) host.fullscreen_kind = kModeDesktopFullscreen;
  host.scale = window_scale_for_open();
  host.window_width = width;
  host.window_height = height;
  host.picture = {0, 0, width, height};
  std::snprintf(host.class_name, sizeof host.class_name, "qzgfxclass_%p", static_cast<void*>(&host));
}

std::recursive_mutex& host_lock_mutex() {
  // Never destroyed: made on first use, after the exit path's at-exit
  // teardown may have been registered, which still takes it.
  static std::recursive_mutex& lock = *new std::recursive_mutex;
  return lock;
}

int host_start(std::function<void()> thread_main, std::chrono::milliseconds answer_limit) {
  window_input_reset();
  g_running = true;
  std::unique_lock<std::mutex> hold(g_thread.mutex);
  g_thread.state = StartState::kStarting;
  g_thread.alive = true;
  g_thread.connected = false;
  g_thread.retired = false;
  const std::uint64_t generation = ++g_thread.generation;
  try {
    g_thread.thread = std::thread([thread_main = std::move(thread_main), generation] {
      t_generation = generation;
      g_driver_id = std::this_thread::get_id();
      thread_main();
      std::lock_guard<std::mutex> end(g_thread.mutex);
      if (g_thread.generation != generation) return;  // given up on: the host is no longer its
      g_driver_id = std::thread::id{};
      g_thread.alive = false;
      if (g_thread.state == StartState::kStarting) g_thread.state = StartState::kEnded;
      g_thread.changed.notify_all();
    });
  } catch (const std::system_error&) {
    g_thread.alive = false;
    g_thread.state = StartState::kEnded;
    g_running = false;
    return -1;
  }
  // The thread either reports its window or ends: a setup that fails can
  // never leave the program waiting. Only the wait for the display's answer
  // is bounded; after it, the setup is a series of round trips that end
  // with the connection if the server goes away.
  const auto deadline = std::chrono::steady_clock::now() + answer_limit;
  const bool limited = answer_limit.count() > 0;
  while (g_thread.state == StartState::kStarting) {
    if (!limited || g_thread.connected) {
      g_thread.changed.wait(hold);
      continue;
    }
    const bool asked_to_end = termination_status() != 0;
    if (!asked_to_end && std::chrono::steady_clock::now() < deadline) {
      g_thread.changed.wait_for(hold, kStartSlice);
      continue;
    }
    // Given up: the thread stays blocked in its connect, detached.
    ++g_thread.generation;
    g_thread.thread.detach();
    g_thread.alive = false;
    g_thread.state = StartState::kIdle;
    g_running = false;
    g_driver_id = std::thread::id{};
    return -2;
  }
  return g_thread.state == StartState::kReady ? 0 : -1;
}

bool host_signal_connected() {
  std::lock_guard<std::mutex> hold(g_thread.mutex);
  if (g_thread.generation != t_generation) return false;
  g_thread.connected = true;
  g_thread.changed.notify_all();
  return true;
}

void host_signal_started() {
  std::lock_guard<std::mutex> hold(g_thread.mutex);
  g_thread.state = StartState::kReady;
  g_thread.changed.notify_all();
}

bool host_running() { return g_running.load(); }

bool on_driver_thread() { return g_driver_id.load() == std::this_thread::get_id(); }

void host_stop() {
  if (!g_thread.thread.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(g_thread.mutex);
    g_running = false;
    g_thread.changed.notify_all();
  }
  if (g_host->wake) g_host->wake();
  // The thread finishes its pass only once it gets the host lock.
  if (screen_lock_depth() > 0) screen_lock_release_all();
  // Joined once its body has returned; one that retired is only let go.
  std::unique_lock<std::mutex> hold(g_thread.mutex);
  g_thread.changed.wait(hold, [] { return !g_thread.alive || g_thread.retired; });
  const bool retired = g_thread.retired;
  hold.unlock();
  if (retired) {
    g_thread.thread.detach();
  } else {
    g_thread.thread.join();
  }
  hold.lock();
  g_thread.state = StartState::kIdle;
  g_thread.retired = false;
}

void host_retire() {
  std::lock_guard<std::mutex> hold(g_thread.mutex);
  if (g_thread.generation != t_generation) return;
  g_thread.retired = true;
  g_thread.alive = false;
  if (g_thread.state == StartState::kStarting) g_thread.state = StartState::kEnded;
  g_driver_id = std::thread::id{};
  g_thread.changed.notify_all();
}

void host_request_pass() {
  if (g_pass_requested.exchange(true)) return;
  {
    // Taken so that the wake cannot fall between the waiter's test and its wait.
    std::lock_guard<std::mutex> hold(g_thread.mutex);
  }
  g_thread.changed.notify_all();
  if (g_host->wake) g_host->wake();
}

bool host_pass_requested() { return g_pass_requested.load(); }

void host_take_pass_request() { g_pass_requested.store(false); }

bool host_calls_waiting() {
  std::lock_guard<std::mutex> hold(g_thread.mutex);
  return !g_thread.calls.empty();
}

void host_run_calls() {
  std::vector<PendingCall*> calls;
  {
    std::lock_guard<std::mutex> hold(g_thread.mutex);
    calls.swap(g_thread.calls);
  }
  if (calls.empty()) return;
  for (PendingCall* call : calls) (*call->fn)();
  std::lock_guard<std::mutex> hold(g_thread.mutex);
  for (PendingCall* call : calls) call->done = true;
  g_thread.changed.notify_all();
}

bool host_call(const std::function<void()>& fn) {
  if (on_driver_thread()) {
    fn();
    return true;
  }
  // The program's thread holds the host lock exactly once while its screen
  // lock is held (only the outermost level takes it).
  const bool held = screen_lock_depth() > 0;
  if (held) host_lock_mutex().unlock();
  PendingCall call{&fn};
  {
    std::unique_lock<std::mutex> hold(g_thread.mutex);
    if (g_thread.alive && g_running) {
      g_thread.calls.push_back(&call);
      g_thread.changed.notify_all();
      if (g_host->wake) g_host->wake();
      g_thread.changed.wait(hold, [&] { return call.done || !g_thread.alive; });
      if (!call.done) std::erase(g_thread.calls, &call);
    }
  }
  if (held) host_lock_mutex().lock();
  return call.done;
}

void host_lock() { host_lock_mutex().lock(); }
void host_unlock() {
  host_lock_mutex().unlock();
  host_request_pass();
}

void host_set_palette(int index, int red, int green, int blue) {
  if (index < 0 || index > 255) return;
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  WindowHost& host = window_host();
  host.palette_entries[std::size_t(index)] = {std::uint8_t(red), std::uint8_t(green), std::uint8_t(blue), 4};
  host.palette_changed = true;
  host_request_pass();
}

void host_wait_vsync() { sleep_one_frame(window_host().refresh_rate.load()); }

int host_get_mouse(int* x, int* y, int* wheel, int* buttons, int* clipped) {
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  const WindowHost& host = window_host();
  const WindowInput& input = window_input();
  if (!host.active || !input.cursor_in_client) return -1;
  const ScreenMode* mode = current_mode();
  const int scanline = mode && mode->scanline_size > 0 ? mode->scanline_size : 1;
  if (x) *x = input.pointer_x;
  if (y) *y = input.pointer_y / scanline;
  if (wheel) *wheel = input.wheel;
  if (buttons) *buttons = input.buttons;
  if (clipped) *clipped = host.mouse_clipped;
  return 0;
}

HostPassStats host_pass_stats() {
  std::lock_guard<std::mutex> hold(g_stats_mutex);
  return g_stats;
}

void host_record_pass(std::int64_t microseconds) {
  std::lock_guard<std::mutex> hold(g_stats_mutex);
  ++g_stats.passes;
  g_stats.total_us += microseconds;
  g_stats.max_us = std::max(g_stats.max_us, microseconds);
}

}  // namespace qz
