// The X11 window host: the driver thread, its window setup and teardown,
// and the presentation pass.
//
// Threads and locks
// - The driver thread owns the X connection and the window: it opens the
//   display, and every Xlib call of this back end runs on it (XInitThreads is
//   called first all the same). The program's thread reaches the window only
//   through host_call (title, mouse, window position, mode list).
// - The host lock (a recursive mutex) is held by the presentation pass, about
//   every 10 ms: calls handed over, palette, the band of marked rows, clearing
//   of all marks, key_state, event dispatch. The drawing side holds it between
//   the outermost screen_lock and screen_unlock (the driver's lock/unlock).
// - dirty_rows is set under it by drawing and cleared under it by the pass;
//   the key queue and the event ring are written only under it (the event
//   handlers run inside the pass).
// - The pass XSyncs before it releases the lock, so the server has read the
//   pixels of the band before drawing may change them.
// - The thread never reads mode->driver (written by the mode set after init
//   returns); it works from its own record and state.

#include <X11/Xlib.h>
#include <X11/XKBlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_driver.h"
#include "display/x11/x11_state.h"
#include "input/window_input.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// Errors of our connection are counted, never fatal: Xlib's default handler
// would end the whole process for one refused request.
std::atomic<Display*> g_our_display{nullptr};
std::atomic<int> g_error_count{0};
XErrorHandler g_previous_handler = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  if (display == g_our_display.load()) {
    g_error_count.fetch_add(1);
    return 0;
  }
  return g_previous_handler ? g_previous_handler(display, error) : 0;
}

// A broken connection (the server went away): where Xlib lets this handler
// return, the pass turns the loss into a close request; Xlib 1.8 ends the
// process itself right after it (status 1, with its own one-line message).
void on_connection_lost(Display*, void*) { x11().connection_lost = true; }

int x11_thread_init() {
  X11State& x = x11();
  WindowHost& host = window_host();
  if ((host.flags & kModeFullscreen) && x11_set_fullscreen_mode(host.width, host.height, host.refresh) != 0)
    return -1;
  if (x11_create_window() != 0) return -1;
  if (x11_setup_presentation() != 0) return -1;
  host.refresh_rate = x11_refresh_rate();
  x11_create_input_context();
  XMapRaised(x.display, x.window);
  XFlush(x.display);
  return 0;
}

void x11_release() {
  X11State& x = x11();
  if (!x.display) return;
  x11_release_presentation();
  x11_destroy_input_context();
  x11_destroy_window();
  x11_restore_mode();
  if (!x.connection_lost) XSync(x.display, False);
}

void x11_set_high_priority(bool high) {
#if defined(__linux__)
  // Raising needs a privilege most users lack; then the thread stays as it is.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), high ? -5 : 0);
#else
  (void)high;
#endif
}

void mark_rows(ScreenMode& mode) { std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{1}); }

void update_pass() {
  const auto start = std::chrono::steady_clock::now();
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  host_run_calls();
  X11State& x = x11();
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!mode) return;
  if (x.connection_lost) {
    // Once: nobody can press a key or close the window any more.
    if (x.window) {
      x.window = 0;
      close_steps();
    }
    return;
  }
  // On X11 the palette is applied by converting the rows again.
  if (host.palette_changed) {
    host.palette_changed = false;
    mark_rows(*mode);
  }
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
  if (host.active) x11_refresh_key_state(mode->key_state.data());
  x11_dispatch_events();
  x11_keep_screensaver_away();
  if (!x.connection_lost) XFlush(x.display);
  host_record_pass(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

void close_display() {
  X11State& x = x11();
  if (!x.display) return;
  x11_close_input_method();
  x11_resume_screensaver();
  XCloseDisplay(x.display);
  x.display = nullptr;
  g_our_display = nullptr;
  XSetErrorHandler(g_previous_handler);
}

bool open_display() {
  X11State& x = x11();
  x.display = XOpenDisplay(x.display_name.c_str());
  if (!x.display) {
    x.failure = "cannot open display \"" + x.display_name + "\"";
    return false;
  }
  g_our_display = x.display;
  g_previous_handler = XSetErrorHandler(on_x_error);
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
  x.shm_extension = XQueryExtension(x.display, "MIT-SHM", &opcode, &event_base, &error_base) &&
                    XShmQueryVersion(x.display, &major, &minor, &pixmaps) == True;
  Bool supported = False;
  x.detectable_repeat = XkbSetDetectableAutoRepeat(x.display, True, &supported) && supported;
  x11_init_randr();
  x11_load_keymap();
  x11_open_input_method();
  x11_suspend_screensaver();
  x11_find_monitor_at_pointer();
  return true;
}

}  // namespace

X11State& x11() {
  static X11State state;
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
}

void x11_thread_main() {
  if (!open_display()) return;
  if (x11_thread_init() != 0) {
    x11_release();
    close_display();
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    window_host().active = 1;
  }
  host_signal_started();
  while (host_running()) {
    update_pass();
    host_wait_between_passes();
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    window_host().mouse_clipped = 0;
  }
  x11_release();
  close_display();
}
