// The X11 driver record: init and exit, and the operations that act on the
// window, each handed to the driver thread (which owns the connection).

#include "display/x11/x11_driver.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "display/x11/x11_mode_guardian.h"
#include "display/x11/x11_state.h"
#include "runtime/error_message.h"
#include "runtime/exit_path.h"
#include "runtime/termination.h"

namespace qz {

namespace {

// How long the server may take to answer a new connection. Local and remote
// servers answer within milliseconds; the limit keeps every way of failing
// to connect within two seconds.
constexpr auto kAnswerLimit = std::chrono::milliseconds(1500);

// A server that could not be reached in this driver selection is not asked
// again by its later attempts (they only vary the fullscreen bit and the
// refresh rate): one refusal, one line, one wait for a silent server.
bool g_unreachable = false;

int x11_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (refuse_unsupported_window_flags("X11", flags)) return -1;
  const char* display = x11_display_name();
  if (!display) return -1;
  // The mode set clears the reason before each selection.
  if (*driver_failure_reason() == '\0') g_unreachable = false;
  if (g_unreachable) return -1;
  // Filled before the thread starts, so the thread sees it without a lock.
  x11_begin_window(display, title, width, height, depth, refresh, flags);
  x11_install_host_routines();
  X11State& x = x11();
  // The connection attempt's own record, filled before its thread starts;
  // the thread keeps it while it runs, also after it was given up on.
  const auto attempt = std::make_shared<X11Attempt>();
  attempt->display_name = x.display_name;

  const int started = host_start([attempt] { x11_thread_main(attempt); }, kAnswerLimit);
  if (started == -2) {
    x11_abandon_connection();
    // The connect stays blocked inside the X libraries' process-wide lock,
    // which their clean-up at exit would destroy under it.
    end_without_library_cleanup();
    g_unreachable = true;
    note_driver_refusal("the X server at \"" + printable_display_name(x.display_name) + "\" does not answer");
    runtime_poll_termination();
    return -1;
  }
  if (started != 0) {
    // The thread has ended: a connection that failed left its reason in the
    // attempt, a window that failed after the connection in the state.
    g_unreachable = attempt->unreachable;
    const std::string& failure = attempt->failure.empty() ? x.failure : attempt->failure;
    note_driver_refusal(failure.empty() ? "the X11 window could not be set up" : failure);
    return -1;
  }
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = window_host().refresh_rate.load();
  // Up all the same: the mode changed but cannot be put back after a crash.
  if (const std::string note = x11_take_mode_guard_note(); !note.empty()) set_error_message(note.c_str());
  return 0;
}

void x11_exit() { host_stop(); }

void x11_set_mouse(int x, int y, int visibility, int clip) {
  host_call([=] { x11_change_mouse(x, y, visibility, clip); });
}

void x11_set_window_title(const char* title) {
  // A copy goes to the thread: the caller's buffer may change meanwhile.
  const std::string copy = title ? title : "";
  host_call([&copy] { x11_apply_title(copy); });
}

int x11_set_window_pos(int x, int y) {
  int result = 0;
  host_call([&] { result = x11_window_position(x, y); });
  return result;
}

std::vector<std::int32_t> x11_fetch_modes(int depth) {
  std::vector<std::int32_t> modes;
  host_call([&] { modes = x11_list_modes(depth); });
  return modes;
}

}  // namespace

void x11_begin_window(const char* display, const char* title, int width, int height, int depth, int refresh,
                      int flags) {
  static std::once_flag threads_once;
  std::call_once(threads_once, [] { XInitThreads(); });
  host_prepare(width, height, depth, refresh, flags);
  X11State& x = x11();
  x = X11State{};
  x.display_name = display;
  x.title = title ? title : "";
}

const char* x11_display_name() {
  const char* display = std::getenv("DISPLAY");
  if (display && *display) return display;
  note_driver_refusal("DISPLAY is not set");
  return nullptr;
}

const DisplayDriver x11_driver = {
    "X11",           x11_init,        x11_exit,         host_lock,           host_unlock,
    host_set_palette, host_wait_vsync, host_get_mouse,   x11_set_mouse,       x11_set_window_title,
    x11_set_window_pos, x11_fetch_modes, nullptr,       nullptr,
};

}  // namespace qz
