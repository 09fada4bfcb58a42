#pragma once

// The window host shared by the window back ends: the record the window
// procedure and the back end both read, the host lock, the driver thread with
// its start handshake, calls handed to that thread, and the default driver
// operations (lock, unlock, palette, vertical-sync wait, mouse query).
//
// The driver thread owns the window. Everything a back end does to its
// window runs on that thread; the program's thread reaches it through
// host_call, which sets the program's hold of the host lock aside while it
// waits, because the thread only takes calls inside its locked pass.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "display/blitter.h"
#include "display/picture_fit.h"

namespace qz {

struct WindowHost {
  // Fixed by init before the thread starts: the picture's size.
  std::int32_t width = 0;   // the mode's width
  std::int32_t height = 0;  // the mode's height in window rows
  std::int32_t depth = 0;
  std::int32_t refresh = 0;  // requested rate, 0 = the display's own
  char class_name[28] = {};

  // The window's scale as asked (0 auto, 1..8), set before the thread starts.
  std::int32_t scale = 1;
  // The client area in window pixels and the picture's place in it: the
  // picture's own size at (0, 0) unless the window is scaled. Written by
  // the driver thread under the host lock; read under it.
  std::int32_t window_width = 0;
  std::int32_t window_height = 0;
  PictureRect picture;

  // Written under the host lock.
  std::int32_t flags = 0;
  // What Alt+Enter turns on: kModeFullscreen (the mode changed where the
  // display has it) or kModeDesktopFullscreen when the program asked for that.
  std::int32_t fullscreen_kind = 0;  // mode flags; the driver thread toggles fullscreen
  std::array<std::array<std::uint8_t, 4>, 256> palette_entries{};  // red, green, blue, 4
  bool palette_changed = false;
  std::int32_t active = 0;
  std::int32_t mouse_clipped = 0;
  Blitter blitter = nullptr;

  // Rate of the display the window is on (0 unknown); read by the vertical-
  // sync wait on the program's thread while a mode switch may change it.
  std::atomic<std::int32_t> refresh_rate{0};

  // Back-end routines, all run on the driver thread. thread_init builds the
  // window (0 or -1), release takes it down with everything it changed.
  int (*thread_init)() = nullptr;
  void (*release)() = nullptr;
  void (*confine_cursor)() = nullptr;   // may be null
  void (*free_cursor)() = nullptr;      // may be null
  void (*nearest_monitor)() = nullptr;  // may be null
  void (*set_high_priority)(bool high) = nullptr;  // may be null
  // Interrupts the driver thread's own wait between passes: a call, a stop
  // or a pass request is waiting (may be null). Called from any thread.
  void (*wake)() = nullptr;
};

// The host of the running window back end (one at a time).
WindowHost& window_host();

// A client-area position in the picture's pixels (window rows): itself
// while the window shows the picture 1:1, else the picture pixel under it,
// clamped to the picture's edge over a bar.
PicturePoint host_picture_point(int x, int y);
// True while the window's size differs from the picture's: its rows reach
// the window through the scaler.
bool host_picture_scaled();
// The client area becomes window_width x window_height and the picture is
// fitted into it (1:1 when the sizes agree, empty when no pixel of it
// fits). Returns the picture's rectangle.
const PictureRect& host_fit_picture(int window_width, int window_height);
// Fullscreen the display cannot give (no such mode, a refused change): the
// monitor covered at its own mode instead, the picture fitted. False for an
// OpenGL window, which is never scaled and so is refused.
bool host_fullscreen_at_desktop_mode();
// The other way: the client-area position showing picture pixel (x, y).
PicturePoint host_window_point(int x, int y);

// Zero-fills the host for a new init; the caller then fills its fields.
void host_reset();
// host_reset, then the mode's size, depth, rate and flags, and a class name
// of this host's own.
void host_prepare(int width, int height, int depth, int refresh, int flags);

// Starts the driver thread with `thread_main` and waits until the thread
// reports its window ready (host_signal_started) or ends without it.
// 0 = running, -1 = the thread ended (its window setup failed).
//
// With an `answer_limit`, the thread must also report within that time that
// its display answered (host_signal_connected); a display that accepts the
// connection and then says nothing would otherwise keep the program waiting
// for ever. Past the limit, or when a termination request arrives before the
// answer, the thread is given up: it is left blocked where it is, must not
// touch the host again (host_signal_connected tells it so) and the result is
// -2; the caller, having put its own things back, acts on a pending request
// (runtime_poll_termination) as any other wait of the program would.
int host_start(std::function<void()> thread_main, std::chrono::milliseconds answer_limit = {});
// Called by the thread once its display answered. False: the program's
// thread gave up on this thread, which must clean up its own and return.
bool host_signal_connected();
// Called by the thread once its window is ready, before its loop.
void host_signal_started();
// While this holds, the driver thread keeps looping.
bool host_running();
// Stops and joins the thread (releasing a screen lock the caller holds so
// that the thread can finish its pass). Safe when nothing was started.
void host_stop();
// Called by the driver thread that can never come back (it is stuck inside
// a library that lost its display): the host counts it as ended, a start
// waiting for it fails, and host_stop lets it go instead of joining it. The
// thread must not touch the host, the mode or the window afterwards.
void host_retire();
// True on the driver thread.
bool on_driver_thread();

// Asks the driver thread for a pass soon: drawing was unlocked, the palette
// changed, a call was handed over. Requests made before the thread takes the
// next one collapse into one wake. Any thread.
void host_request_pass();
// Driver thread: whether a pass was asked for, and taking the request at the
// start of a pass (with the host lock held, before the marked rows are read).
bool host_pass_requested();
void host_take_pass_request();
// Driver thread: whether the program's thread waits for a call to run.
bool host_calls_waiting();
// Runs the calls handed over by host_call; the driver thread does this in
// each pass, with the host lock held.
void host_run_calls();

// Runs fn on the driver thread and waits for it; on the driver thread it
// runs at once. A hold of the host lock through the screen lock is left for
// the wait and taken again after it. Returns false when the thread no longer
// runs (fn did not run).
bool host_call(const std::function<void()>& fn);

std::recursive_mutex& host_lock_mutex();

// Default driver operations.
void host_lock();
void host_unlock();
void host_set_palette(int index, int red, int green, int blue);
void host_wait_vsync();
int host_get_mouse(int* x, int* y, int* wheel, int* buttons, int* clipped);

// Time one presentation pass took, for measurements (microseconds).
struct HostPassStats {
  std::int64_t passes = 0;
  std::int64_t total_us = 0;
  std::int64_t max_us = 0;
};
HostPassStats host_pass_stats();
void host_record_pass(std::int64_t microseconds);

}  // namespace qz
