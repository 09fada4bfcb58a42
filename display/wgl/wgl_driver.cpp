// The OpenGL driver record on Windows: a window whose WGL context the program
// draws into on its own thread. No driver thread: flip swaps the buffers and
// poll_events, and flip after its swap, dispatch the window's messages (keys,
// mouse, close) on the program's thread through the shared window procedure.

#include <mutex>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/wgl/wgl_context.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"

namespace qz {

namespace {

int wgl_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (!(flags & kModeOpengl)) {
    note_driver_refusal("the OpenGL back end takes only OpenGL modes");
    return -1;
  }
  if (wgl_load() != 0) {
    note_driver_refusal("opengl32.dll or one of its WGL entry points is missing");
    return -1;
  }
  if (win32_window_open(wgl_presenter, title, width, height, depth, refresh, flags) == 0) return 0;
  wgl_delete_context();
  return -1;
}

void wgl_exit() {
  win32_host_exit();  // the context is detached before the window goes
  wgl_delete_context();
  wgl_unload();
}

void wgl_poll_events() {
  ScreenMode* mode = current_mode();
  if (!mode || !win32_window().window) return;
  // The key queue and the event ring are written under the host lock, as
  // with the other back ends.
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  win32_take_input(*mode);
}

// A loop that only draws and flips still answers its window: the close box,
// keys and the system's own messages are taken after each swap.
void wgl_flip() {
  wgl_swap_buffers();
  wgl_poll_events();
}

}  // namespace

// lock, unlock and set_palette are left empty: no other thread reads the
// framebuffer, and the program's own GL drawing is what is shown.
extern const DisplayDriver opengl_driver = {
    "OpenGL",  wgl_init,        wgl_exit,       nullptr,         nullptr,
    nullptr,   host_wait_vsync, host_get_mouse, win32_set_mouse, win32_set_window_title,
    win32_set_window_pos, win32_fetch_modes, wgl_flip, wgl_poll_events,
};

}  // namespace qz
