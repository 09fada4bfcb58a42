// The GDI driver record: the window host of every Windows system, presenting
// through GDI. Its operations are the shared window host's.

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/gdi_present.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"

namespace qz {

namespace {

int gdi_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  // OpenGL windows are the OpenGL back end's, which says why when it refuses.
  if (flags & kModeOpengl) return -1;
  return win32_host_start(gdi_presenter, title, width, height, depth, refresh, flags);
}

}  // namespace

extern const DisplayDriver gdi_driver = {
    "GDI",           gdi_init,        win32_host_exit, host_lock,       host_unlock,
    host_set_palette, host_wait_vsync, host_get_mouse,  win32_set_mouse, win32_set_window_title,
    win32_set_window_pos, win32_fetch_modes, nullptr,  nullptr,
};

}  // namespace qz
