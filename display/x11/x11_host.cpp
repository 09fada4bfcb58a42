// The X11 window host: the driver thread, its window setup and teardown,
// and the presentation pass.
//
// Threads and locks
// - The driver thread owns the X connection and the window: it opens the
//   display, and every Xlib call of this back end runs on it (XInitThreads is
//   called first all the same). The program's thread reaches the window only
//   through host_call (title, mouse, window position, mode list).
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
#include <X11/XKBlib.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_driver.h"
#include "display/x11/x11_state.h"
#include "input/window_input.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"
#include "runtime/termination.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace qz {

namespace {

using driver_thread::Clock;

// Errors of our connection are counted, never fatal: Xlib's default handler
// would end the whole process for one refused request.
std::atomic<Display*> g_our_display{nullptr};
std::atomic<int> g_error_count{0};
XErrorHandler g_previous_handler = nullptr;
XIOErrorHandler g_previous_io_handler = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  if (display == g_our_display.load()) {
    g_error_count.fetch_add(1);
    return 0;
  }
  return g_previous_handler ? g_previous_handler(display, error) : 0;
}

// Xlib's default prints its own message and exits on the thread that met the
// broken connection; for ours it stays silent (see on_connection_lost).
int on_io_error(Display* display) {
  if (display == g_our_display.load()) return 0;
  return g_previous_io_handler ? g_previous_io_handler(display) : 0;
}

// The server went away. This thread never goes back into Xlib from here:
// its way back after a lost connection leaves the display's lock unbalanced.
// It leaves the host instead and waits for the program's thread to end the
// process (the fault request), or ends it itself after the grace.
[[noreturn]] void on_connection_lost(Display*, void*) {
  X11State& x = x11();
  driver_thread::leave_after_lost_display("the X server", x.display_name, x.started, x.failure);
}

// Sleeps until a pass is due: drawing asked for one (not sooner than
// kPassSpacing after the last), the window has events, a call is waiting or
// the host stops, or kIdlePass passed (kPassSpacing while a termination request
// waits for the last resort).
void wait_for_pass(Clock::time_point last_pass) {
  X11State& x = x11();
  // Events already read into the library's queue leave the socket quiet.
  if (XEventsQueued(x.display, QueuedAlready) > 0) return;
  const int wake = driver_thread::wake_descriptor();
  for (;;) {
    // A call is the program's thread waiting: it runs at once.
    if (!host_running() || host_calls_waiting()) return;
    const auto now = Clock::now();
    const auto due = driver_thread::next_pass_due(last_pass);
    if (now >= due) return;
    pollfd watch[2] = {{ConnectionNumber(x.display), POLLIN, 0}, {wake, POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    // Without a wake counter the wait is a plain pass interval.
    const int ready = poll(watch, wake >= 0 ? 2 : 1,
                           wake >= 0 ? int(left.count()) : int(driver_thread::kPassSpacing.count()));
    if (ready < 0 && errno != EINTR) return;
    if (watch[1].revents & POLLIN) driver_thread::take_wakes();
    if (watch[0].revents) {
      // The connection has something to say (events, or it hung up).
      driver_thread::space_event_pass(last_pass);
      return;
    }
    if (wake < 0) return;
  }
}

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

// The last resort (see the top of this file): acts once a request has been
// pending for kLastResortGrace while the host still runs.
void last_resort_if_due() {
  if (!driver_thread::last_resort_claimed()) return;
  X11State& x = x11();
  if (x.display) {
    // Only what the server keeps after the process: its display mode above
    // all. The window and the screen-saver suspension would go with the
    // connection, but are put back here all the same. The framebuffer pages
    // stay: the program's thread may still be drawing into them.
    x11_destroy_window();
    x11_restore_mode();
    x11_resume_screensaver();
    XSync(x.display, False);
  }
  end_process_now(termination_status());
}

// Between slices of the wait for the host lock: no pass while the program
// keeps the lock, but the connection is still watched (once the server has
// hung up, a round trip makes Xlib meet the loss) and the last resort comes.
void between_lock_slices() {
  X11State& x = x11();
  if (x.display && driver_thread::hung_up(ConnectionNumber(x.display))) XSync(x.display, False);
  last_resort_if_due();
}

void update_pass() {
  const driver_thread::Pass pass(between_lock_slices);
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

}  // namespace

int x11_show_window(Visual* visual, int visual_depth, int (*prepare)()) {
  X11State& x = x11();
  WindowHost& host = window_host();
  if ((host.flags & kModeFullscreen) && x11_set_fullscreen_mode(host.width, host.height, host.refresh) != 0)
    return -1;
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

void x11_close_display() {
  X11State& x = x11();
  if (!x.display) return;
  x11_close_input_method();
  x11_resume_screensaver();
  XCloseDisplay(x.display);
  x.display = nullptr;
  g_our_display = nullptr;
  XSetErrorHandler(g_previous_handler);
  XSetIOErrorHandler(g_previous_io_handler);
}

bool x11_open_display(bool (*answered)()) {
  X11State& x = x11();
  // The name is read before the connect: a thread given up on while it
  // waits must not touch the state afterwards, which may be a new one's.
  const std::string name = x.display_name;
  std::string failure;
  Display* display = x11_open_connection(name, failure, answered);
  if (!answered()) {
    if (display) XCloseDisplay(display);
    return false;
  }
  if (!display) {
    x.failure = failure;
    x.unreachable = true;
    return false;
  }
  x.display = display;
  g_our_display = x.display;
  // A connection lost before was never closed, so its handlers are still
  // ours; keeping them as "previous" would make each call itself.
  if (const XErrorHandler previous = XSetErrorHandler(on_x_error); previous != on_x_error)
    g_previous_handler = previous;
  if (const XIOErrorHandler previous = XSetIOErrorHandler(on_io_error); previous != on_io_error)
    g_previous_io_handler = previous;
  XSetIOErrorExitHandler(x.display, on_connection_lost, nullptr);
  x.screen = DefaultScreen(x.display);
  x.root = RootWindow(x.display, x.screen);
  // Keys released while a mode switch has no window shown come up on the
  // root; only the key tracking looks at them.
  XSelectInput(x.display, x.root, KeyReleaseMask);
  // Asked by name first: the extension's own query complains on stderr
  // when the server lacks it.
  int opcode = 0, event_base = 0, error_base = 0, major = 0, minor = 0;
  Bool pixmaps = False;
  x.shm_descriptors = XQueryExtension(x.display, "MIT-SHM", &opcode, &event_base, &error_base) &&
                      XShmQueryVersion(x.display, &major, &minor, &pixmaps) == True &&
                      (major > 1 || (major == 1 && minor >= 2));
  Bool supported = False;
  x.detectable_repeat = XkbSetDetectableAutoRepeat(x.display, True, &supported) && supported;
  x11_init_randr();
  x11_load_keymap();
  x11_open_input_method();
  x11_suspend_screensaver();
  x11_find_monitor_at_pointer();
  return true;
}

X11State& x11() {
  // Never destroyed: a driver thread parked after a lost server still holds
  // the window's images and the connection through it when the process ends.
  static X11State& state = *new X11State;
  return state;
}

X11ErrorTrap::X11ErrorTrap() {
  XSync(x11().display, False);
  count_ = g_error_count.load();
}

X11ErrorTrap::~X11ErrorTrap() = default;

bool X11ErrorTrap::failed() {
  XSync(x11().display, False);
  return g_error_count.load() != count_;
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

void x11_thread_main() {
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  driver_thread::reset_last_resort();
  if (!x11_open_display(host_signal_connected)) return;
  if (x11_thread_init() != 0) {
    x11_release();
    x11_close_display();
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    window_host().active = 1;
    // A mode that asks for high priority has it from its first pass, not
    // only after a focus change.
    if (window_host().flags & kModeHighPriority) x11_set_high_priority(true);
  }
  x11().started = true;
  host_signal_started();
  while (host_running()) {
    const auto pass_start = Clock::now();
    last_resort_if_due();
    update_pass();
    wait_for_pass(pass_start);
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    window_host().mouse_clipped = 0;
  }
  x11_release();
  x11_close_display();
}

}  // namespace qz
