// The OpenGL back end on X11: the driver record. Everything runs on the
// program's thread: init opens the connection, creates the context and the
// window and leaves the context current; poll_events takes the window's
// events (as the X11 back end's pass does, with the same key codes); flip
// swaps the buffers. The window, keyboard, monitor and display-mode code is
// the X11 back end's, on its state record (one window back end at a time).

#include <X11/Xlib.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "display/display_name.h"
#include "display/opengl/glx_context.h"
#include "display/opengl/opengl_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_driver.h"
#include "display/x11/x11_mode_guardian.h"
#include "display/x11/x11_state.h"
#include "runtime/error_message.h"
#include "runtime/exit_path.h"
#include "runtime/termination.h"

namespace qz {

namespace {

// How long init waits for the window to be shown, so that the first frame
// drawn reaches the screen; a window manager that maps later is not waited for.
constexpr auto kMapLimit = std::chrono::milliseconds(1000);

// Whether the X11 state's connection is this back end's (the X11 back end's
// thread may hold one of its own after a refused attempt).
bool g_open = false;
// The swap interval of the mode: 1 waits for the retrace when the mode asked
// for a refresh rate, 0 swaps at once.
int g_swap_interval = -1;

bool answered_at_once() { return true; }

// The server went away under the program's thread, which cannot come back
// from Xlib: the process ends here with one line, as Xlib itself would end it.
[[noreturn]] void on_connection_lost(Display*, void*) {
  char message[200];
  std::snprintf(message, sizeof message, "%s: lost the connection to the X server (%s)",
                program_invocation_short_name, printable_display_name(x11().display_name).c_str());
  request_fault_termination(1, message);
  end_process_now(1);
}

int attach_context() { return glx_attach_window(g_swap_interval); }

// The host's window routines (the mode switch rebuilds the window through
// them); the context outlives the window, on the same visual.
int show_window() {
  XVisualInfo* visual = glx_visual();
  return x11_show_window(visual->visual, visual->depth, attach_context);
}

void take_down_window() { x11_take_down_window(glx_detach_window); }

void glx_poll_events() {
  if (!g_open) return;
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  x11_take_events();
}

void wait_until_shown() {
  X11State& x = x11();
  const auto until = std::chrono::steady_clock::now() + kMapLimit;
  while (!x.window_mapped && std::chrono::steady_clock::now() < until) {
    pollfd watch{ConnectionNumber(x.display), POLLIN, 0};
    poll(&watch, 1, 10);
    glx_poll_events();
  }
}

void glx_exit() {
  if (!g_open) return;
  take_down_window();
  glx_destroy_context();
  x11_close_display();
  x11().started = false;
  g_open = false;
}

int refuse(const std::string& reason) {
  note_driver_refusal(reason.empty() ? "the OpenGL window could not be set up" : reason);
  glx_exit();
  return -1;
}

int glx_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  // The other back ends take every mode without OpenGL.
  if (!(flags & kModeOpengl)) return -1;
  const char* display = x11_display_name();
  if (!display) return -1;
  x11_begin_window(display, title, width, height, depth, refresh, flags);
  WindowHost& host = window_host();
  host.thread_init = show_window;
  host.release = take_down_window;
  host.confine_cursor = x11_confine_cursor;
  host.free_cursor = x11_free_cursor;
  host.nearest_monitor = x11_find_monitor_of_window;

  X11State& x = x11();
  if (!x11_open_display(answered_at_once)) return refuse(x.failure);
  g_open = true;
  XSetIOErrorExitHandler(x.display, on_connection_lost, nullptr);
  g_swap_interval = refresh > 0 ? 1 : 0;
  if (glx_create_context() != 0 || show_window() != 0) return refuse(x.failure);
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    host.active = 1;
  }
  x.started = true;
  wait_until_shown();
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = host.refresh_rate.load();
  // Up all the same: the mode changed but cannot be put back after a crash.
  if (const std::string note = x11_take_mode_guard_note(); !note.empty()) set_error_message(note.c_str());
  return 0;
}

// A GL program's loop may flip without ever waiting or reading a key: the
// window's events (the close box among them) are taken after the swap, and
// a termination request is taken up here as well, so that the window closes
// and a fullscreen mode is put back rather than left to the watchdog.
void glx_flip() {
  if (g_open) glx_swap_buffers();
  glx_poll_events();
  runtime_poll_termination();
}

// Nothing to exclude without a second thread; the palette has no pixels to
// reach and is only kept.
void glx_set_mouse(int x, int y, int visibility, int clip) {
  if (g_open) x11_change_mouse(x, y, visibility, clip);
}

void glx_set_window_title(const char* title) {
  if (g_open) x11_apply_title(title ? title : "");
}

int glx_set_window_pos(int x, int y) { return g_open ? x11_window_position(x, y) : 0; }

std::vector<std::int32_t> glx_fetch_modes(int depth) {
  return g_open ? x11_list_modes(depth) : std::vector<std::int32_t>{};
}

}  // namespace

const DisplayDriver opengl_driver = {
    // No second thread to exclude: the screen lock has nothing to take.
    "OpenGL",          glx_init,        glx_exit,         nullptr,           nullptr,
    host_set_palette,  host_wait_vsync, host_get_mouse,   glx_set_mouse,     glx_set_window_title,
    glx_set_window_pos, glx_fetch_modes, glx_flip,        glx_poll_events,
};

}  // namespace qz
