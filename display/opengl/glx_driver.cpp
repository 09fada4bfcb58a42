// The OpenGL back end on X11: its platform parts for the GL host
// (display/gl_host.h) and the driver record. The connection is opened on the
// program's thread, which creates the context and the window and keeps the
// context current; the window, keyboard, monitor and display-mode code is the
// X11 back end's (one window back end at a time), with the same key codes.

#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "display/display_name.h"
#include "display/gl_host.h"
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

// The swap interval of the mode: 1 waits for the retrace when the mode asked
// for a refresh rate, 0 swaps at once.
int g_swap_interval = -1;

bool answered_at_once() { return true; }

// Why the X11 code failed, as it wrote it down.
int refuse_as_x11_says() {
  const std::string& reason = x11().failure;
  note_driver_refusal(reason.empty() ? "the OpenGL window could not be set up" : reason);
  return -1;
}

// The server went away under the program's thread, which cannot come back
// from Xlib: the process ends here with one line, as Xlib itself would end it.
[[noreturn]] void on_connection_lost(Display*, void*) {
  char message[200];
  std::snprintf(message, sizeof message, "%s: lost the connection to the X server (%s)",
                program_invocation_short_name, printable_display_name(x11().display_name).c_str());
  request_fault_termination(1, message);
  end_process_now(1);
}

int glx_open(const char* title, int width, int height, int depth, int refresh, int flags) {
  // A fresh X11 state first: whatever the last mode left there is not ours.
  x11_begin_window(x11_display_name(), title, width, height, depth, refresh, flags);
  X11State& x = x11();
  if (!x11_open_display(answered_at_once)) return refuse_as_x11_says();
  XSetIOErrorExitHandler(x.display, on_connection_lost, nullptr);
  g_swap_interval = refresh > 0 ? 1 : 0;
  return glx_create_context(x.display, x.screen);
}

void glx_close() {
  glx_destroy_context();
  x11_close_display();
  x11().started = false;
}

// The context outlives the window, on the same visual.
int glx_make_window(int (*prepare)()) {
  XVisualInfo* visual = glx_visual();
  if (x11_show_window(visual->visual, visual->depth, prepare) == 0) return 0;
  return refuse_as_x11_says();
}

void glx_destroy_window() {
  x11_take_down_window([] {});
}

int glx_attach() { return glx_make_current(x11().window, g_swap_interval); }

const GlPlatform kGlxPlatform = {
    glx_open,          glx_close,         glx_make_window,    glx_destroy_window,
    glx_attach,        glx_release_current, x11_take_events,  glx_swap_buffers,
    x11_confine_cursor, x11_free_cursor,  x11_find_monitor_of_window,
};

void wait_until_shown() {
  X11State& x = x11();
  const auto until = std::chrono::steady_clock::now() + kMapLimit;
  while (!x.window_mapped && std::chrono::steady_clock::now() < until) {
    pollfd watch{ConnectionNumber(x.display), POLLIN, 0};
    poll(&watch, 1, 10);
    gl_host_poll_events();
  }
}

int glx_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  // The other back ends take every mode without OpenGL.
  if (!(flags & kModeOpengl) || !x11_display_name()) return -1;
  if (gl_host_open(kGlxPlatform, title, width, height, depth, refresh, flags) != 0) return -1;
  x11().started = true;
  wait_until_shown();
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = window_host().refresh_rate.load();
  // Up all the same: the mode changed but cannot be put back after a crash.
  if (const std::string note = x11_take_mode_guard_note(); !note.empty()) set_error_message(note.c_str());
  return 0;
}

// Nothing to exclude without a second thread; the palette has no pixels to
// reach and is only kept.
void glx_set_mouse(int x, int y, int visibility, int clip) {
  if (gl_host_running()) x11_change_mouse(x, y, visibility, clip);
}

void glx_set_window_title(const char* title) {
  if (gl_host_running()) x11_apply_title(title ? title : "");
}

int glx_set_window_pos(int x, int y) { return gl_host_running() ? x11_window_position(x, y) : 0; }

std::vector<std::int32_t> glx_fetch_modes(int depth) {
  return gl_host_running() ? x11_list_modes(depth) : std::vector<std::int32_t>{};
}

}  // namespace

const DisplayDriver opengl_driver = {
    // No second thread to exclude: the screen lock has nothing to take.
    "OpenGL",          glx_init,        gl_host_close,    nullptr,           nullptr,
    host_set_palette,  host_wait_vsync, host_get_mouse,   glx_set_mouse,     glx_set_window_title,
    glx_set_window_pos, glx_fetch_modes, gl_host_flip,    gl_host_poll_events,
};

}  // namespace qz
