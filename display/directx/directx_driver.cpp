// The DirectX driver record: DirectDraw presentation and the DirectInput
// keyboard, loaded at run time, on the shared window host.

#include "display/directx/directx_state.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"

namespace qz {

namespace {

// Loaded by init, freed by exit once the driver thread has let go of them.
// Never destroyed: a process that ends with the window up must not unload
// them under the driver thread.
LoadedLibrary& g_ddraw = *new LoadedLibrary;
LoadedLibrary& g_dinput = *new LoadedLibrary;

int directx_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (flags & kModeOpengl) return -1;  // the OpenGL back end's, as on the others
  if (flags & kModeLayered) {
    note_driver_refusal("the DirectX back end has no layered windows");
    return -1;
  }
  DirectXEntries& entries = directx_entries();
  g_ddraw = LoadedLibrary("ddraw.dll");
  g_dinput = LoadedLibrary("dinput.dll");
  if (!g_ddraw.look_up("DirectDrawCreate", entries.direct_draw_create) ||
      !g_ddraw.look_up("DirectDrawEnumerateExA", entries.direct_draw_enumerate_ex) ||
      !g_dinput.look_up("DirectInputCreateA", entries.direct_input_create)) {
    note_driver_refusal("ddraw.dll or dinput.dll (or an entry point of theirs) is missing");
    return -1;
  }
  return win32_host_start(ddraw_presenter, title, width, height, depth, refresh, flags);
}

void directx_exit() {
  win32_host_exit();
  directx_entries() = DirectXEntries{};
  g_dinput = LoadedLibrary();
  g_ddraw = LoadedLibrary();
}

// The display's blank where it has one; else the timed wait, so that the
// program keeps its pace where the blank wait comes back at once.
void directx_wait_vsync() {
  if (!ddraw_wait_vertical_blank()) host_wait_vsync();
}

}  // namespace

DirectXEntries& directx_entries() {
  static DirectXEntries entries;
  return entries;
}

extern const DisplayDriver directx_driver = {
    "DirectX",       directx_init,       directx_exit,   host_lock,       host_unlock,
    host_set_palette, directx_wait_vsync, host_get_mouse, win32_set_mouse, win32_set_window_title,
    win32_set_window_pos, win32_fetch_modes, nullptr,   nullptr,
};

}  // namespace qz
