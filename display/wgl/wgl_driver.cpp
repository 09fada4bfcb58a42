// The OpenGL back end on Windows: its platform parts for the GL host
// (display/gl_host.h) and the driver record. The window is the Windows
// host's, built on the program's thread, which takes its messages (keys,
// mouse, close) through the shared window procedure as it polls and flips.

#include "display/display_driver.h"
#include "display/gl_host.h"
#include "display/screen_mode.h"
#include "display/wgl/wgl_context.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"

namespace qz {

namespace {

int wgl_open(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (wgl_load() != 0) {
    note_driver_refusal("opengl32.dll or one of its WGL entry points is missing");
    return -1;
  }
  return win32_prepare_window(nullptr, title, width, height, depth, refresh, flags);
}

void wgl_close() {
  wgl_delete_context();
  win32_finish_window();
  wgl_unload();
}

int wgl_make_window(int (*prepare)()) {
  if (win32_create_window() != 0) {
    note_driver_refusal("the window could not be created");
    return -1;
  }
  if (prepare() != 0) return -1;
  ShowWindow(win32_window().window, SW_SHOWNORMAL);
  return 0;
}

// The program's thread takes only its window's messages.
void wgl_pump_events() {
  ScreenMode* mode = current_mode();
  if (!mode || !win32_window().window) return;
  if (window_host().active) win32_refresh_key_state(*mode);
  win32_dispatch_messages(true);
}

const GlPlatform kWglPlatform = {
    wgl_open,        wgl_close,           wgl_make_window, win32_destroy_window,
    wgl_make_current, wgl_release_current, wgl_pump_events, wgl_swap_buffers,
    win32_confine_cursor, win32_free_cursor, win32_nearest_monitor,
};

int wgl_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (!(flags & kModeOpengl)) {
    note_driver_refusal("the OpenGL back end takes only OpenGL modes");
    return -1;
  }
  return gl_host_open(kWglPlatform, title, width, height, depth, refresh, flags);
}

}  // namespace

// lock, unlock and set_palette are left empty: no other thread reads the
// framebuffer, and the program's own GL drawing is what is shown.
extern const DisplayDriver opengl_driver = {
    "OpenGL",  wgl_init,        gl_host_close,  nullptr,            nullptr,
    nullptr,   host_wait_vsync, host_get_mouse, win32_change_mouse, win32_apply_title,
    win32_window_position, win32_fetch_modes, gl_host_flip, gl_host_poll_events,
};

}  // namespace qz
