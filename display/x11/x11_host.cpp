// The X11 window host: the driver thread's hooks (its loop is
// display/linux/driver_thread.cpp), the window setup and teardown, and the
// presentation pass.
//
// Threads and locks
// - The driver thread owns the X connection and the window: it opens the
//   display (x11_connect.cpp), and every Xlib call of this back end runs on
//   it (XInitThreads is called first all the same). The program's thread
//   reaches the window only through host_call (title, mouse, window
//   position, mode list).
// - The host lock (a recursive mutex) is held by the presentation pass: calls
//   handed over, palette, the band of marked rows, clearing of all marks,
//   event dispatch, key_state. A pass follows each unlock of drawing (at most
//   one per 10 ms), each burst of events and each call, and comes at least
//   every 100 ms; between them the thread sleeps on the connection and its
//   wake counter. The drawing side holds it between
//   the outermost screen_lock and screen_unlock (the driver's lock/unlock).
// - dirty_rows is set under it by drawing and cleared under it by the pass;
//   the key queue and the event ring are written only under it (the event
//   handlers run inside the pass).
// - The pass XSyncs before it releases the lock, so the server has read the
//   pixels of the band before drawing may change them.
// - The thread never reads mode->driver (written by the mode set after init
//   returns); it works from its own record and state.
//
// Ending
// - A lost connection (the server went away) is never an exit on this
//   thread: Xlib's fatal path would run the static destructors while the
//   program's thread still draws. Our IO error handler stays silent and the
//   exit handler never returns (Xlib's way back from it leaves the display
//   lock unbalanced): the thread records a fault request of the termination
//   mechanism, leaves the host (host_retire: the stop lets it go without a
//   join) and waits. The program's thread ends the process at its next wait
//   or key read, through runtime_end, with one line on standard error and
//   status 1; nothing is left to put back on a server that is gone.
// - That is only so when the program handed the process to the runtime
//   (runtime_init). Otherwise the loss is the program's to handle: the
//   thread posts a display-lost event, marks the display lost (the window
//   calls then fail), leaves the host and parks for good; nothing ends the
//   process, and a new mode may connect again.
// - SIGPIPE is blocked on this thread, so that writing to a server that
//   hung up is an error Xlib reports (and so a lost server), not a signal
//   that kills the process, whether or not the runtime ignores it.
// - Last resort (owned processes only): when a request (signal or lost
//   connection) is still not taken up after kLastResortGrace, the program's
//   thread is not coming by.
//   This thread then claims it, puts the display mode and the screen saver
//   back (when the server is still there), takes the window down and ends
//   the process with the request's status. It waits for the host lock in
//   slices, watching the connection meanwhile, so that a program that keeps
//   the screen lock cannot keep it from doing so.

#include <X11/Xlib.h>

#include <algorithm>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_driver.h"
#include "display/x11/x11_state.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace qz {

namespace {

// The running attempt's record, until its connection is published into x11().
thread_local X11Attempt* t_attempt = nullptr;

int x11_thread_init() { return x11_show_window(nullptr, 0, x11_setup_presentation); }

void x11_release() { x11_take_down_window(x11_release_presentation); }

void x11_set_high_priority(bool high) {
#if defined(__linux__)
  // Raising needs a privilege most users lack; then the thread stays as it is.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), high ? -5 : 0);
#else
  (void)high;
#endif
}

int connection_fd() { return x11().display ? ConnectionNumber(x11().display) : -1; }

// Events already read into the library's queue leave the socket quiet.
bool prepare_wait() { return XEventsQueued(x11().display, QueuedAlready) == 0; }

// Once the server has hung up, a round trip makes Xlib meet the loss.
void meet_hang_up() { XSync(x11().display, False); }

// Only what the server keeps after the process: its display mode above all.
// The window and the screen-saver suspension would go with the connection,
// but are put back here all the same. The framebuffer pages stay: the
// program's thread may still be drawing into them.
void restore() {
  X11State& x = x11();
  if (!x.display) return;
  x11_destroy_window();
  x11_restore_mode();
  x11_resume_screensaver();
  XSync(x.display, False);
}

void update_pass() {
  X11State& x = x11();
  ScreenMode* mode = current_mode();
  if (!mode) return;
  driver_thread::mark_rows_for_palette();
  const auto rows = std::min<std::size_t>(std::size_t(mode->height), mode->dirty_rows.size());
  const auto begin = mode->dirty_rows.begin();
  const auto first = std::find_if(begin, begin + std::ptrdiff_t(rows), [](std::uint8_t f) { return f != 0; });
  if (first != begin + std::ptrdiff_t(rows) && x.window_mapped) {
    const auto last = std::find_if(std::make_reverse_iterator(begin + std::ptrdiff_t(rows)),
                                   std::make_reverse_iterator(first), [](std::uint8_t f) { return f != 0; });
    x11_present_rows(int(first - begin), int(last.base() - begin) - 1);
    XSync(x.display, False);
  }
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{0});
  x11_take_events();
}

bool connect(bool (*answered)()) { return x11_connect(*t_attempt, answered); }

const driver_thread::DriverThreadHooks kX11Thread = {
    .peer = "the X server",
    .display_name = []() -> const std::string& { return x11().display_name; },
    .failure = []() -> std::string& { return x11().failure; },
    .connect = connect,
    .disconnect = x11_close_display,
    .connection_fd = connection_fd,
    .prepare_wait = prepare_wait,
    .update_pass = update_pass,
    .meet_hang_up = meet_hang_up,
    .restore = restore,
};

}  // namespace

int x11_show_window(Visual* visual, int visual_depth, int (*prepare)()) {
  X11State& x = x11();
  WindowHost& host = window_host();
  if ((host.flags & kModeFullscreen) && x11_set_fullscreen_mode(host.width, host.height, host.refresh) != 0) {
    // An OpenGL window opens as a window instead (the caller's fallback).
    if (!host_fullscreen_at_desktop_mode()) return -1;
    x.failure.clear();
  }
  if (x11_create_window(visual, visual_depth) != 0) return -1;
  if (prepare() != 0) return -1;
  host.refresh_rate = x11_refresh_rate();
  x11_create_input_context();
  XMapRaised(x.display, x.window);
  XFlush(x.display);
  return 0;
}

void x11_take_down_window(void (*release_drawing)()) {
  X11State& x = x11();
  if (!x.display) return;
  release_drawing();
  x11_destroy_input_context();
  x11_destroy_window();
  x11_restore_mode();
  XSync(x.display, False);
}

void x11_take_events() {
  X11State& x = x11();
  x11_dispatch_events();
  ScreenMode* mode = current_mode();
  if (mode && window_host().active) x11_refresh_key_state(mode->key_state.data());
  x11_keep_screensaver_away();
  XFlush(x.display);
}

X11State& x11() {
  // Never destroyed: a driver thread parked after a lost server still holds
  // the window's images and the connection through it when the process ends.
  static X11State& state = *new X11State;
  return state;
}

void x11_install_host_routines() {
  WindowHost& host = window_host();
  host.thread_init = x11_thread_init;
  host.release = x11_release;
  host.confine_cursor = x11_confine_cursor;
  host.free_cursor = x11_free_cursor;
  host.nearest_monitor = x11_find_monitor_of_window;
  host.set_high_priority = x11_set_high_priority;
  host.wake = driver_thread::wake;
}

void x11_thread_main(std::shared_ptr<X11Attempt> attempt) {
  t_attempt = attempt.get();
  driver_thread::run(kX11Thread);
}

}  // namespace qz
