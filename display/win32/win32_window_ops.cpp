// The window's mouse, title and position, run on the window's own thread,
// and the driver operations the Windows window back ends share: those handed
// to the driver thread (which owns the window), and the display modes the
// system lists.

#include <windows.h>

#include <algorithm>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

void win32_change_mouse(int x, int y, int visibility, int clip) {
  Win32Window& g = win32_window();
  if (!g.window) return;
  WindowHost& host = window_host();
  WindowInput& input = window_input();
  if (x != kNotGiven || y != kNotGiven) {
    POINT p{std::clamp(x == kNotGiven ? input.pointer_x : x, 0, std::max(host.width - 1, 0)),
            std::clamp(y == kNotGiven ? input.pointer_y : y, 0, std::max(host.height - 1, 0))};
    // Fullscreen too: the window sits at its monitor's corner, which is
    // not the desktop's origin on a second monitor.
    ClientToScreen(g.window, &p);
    SetCursorPos(p.x, p.y);
    input.cursor_in_client = 1;
  }
  if (visibility >= 0) {
    input.cursor_visible = visibility > 0 ? 1 : 0;
    PostMessageA(g.window, WM_SETCURSOR, WPARAM(g.window), HTCLIENT);
  }
  if (clip >= 0) {
    host.mouse_clipped = clip > 0 ? 1 : 0;
    if (host.mouse_clipped)
      win32_confine_cursor();
    else
      win32_free_cursor();
  }
}

void win32_apply_title(const char* title) {
  Win32Window& g = win32_window();
  g.title = title ? title : "";
  if (g.window) SetWindowTextA(g.window, g.title.c_str());
}

int win32_window_position(int x, int y) {
  Win32Window& g = win32_window();
  if (!g.window || (window_host().flags & kModeFullscreen)) return 0;
  if (x == kNotGiven && y == kNotGiven) {
    RECT r{};
    return GetWindowRect(g.window, &r) ? (r.left & 0xFFFF) + r.top * 65536 : 0;
  }
  SetWindowPos(g.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
  return 0;
}

void win32_set_mouse(int x, int y, int visibility, int clip) {
  host_call([=] { win32_change_mouse(x, y, visibility, clip); });
}

void win32_set_window_title(const char* title) {
  // Set on the window's own thread: a cross-thread SetWindowText would wait
  // for a pass while the program may hold the host lock.
  const std::string copy = title ? title : "";
  host_call([&copy] { win32_apply_title(copy.c_str()); });
}

int win32_set_window_pos(int x, int y) {
  int result = 0;
  host_call([&] { result = win32_window_position(x, y); });
  return result;
}

std::vector<std::int32_t> win32_fetch_modes(int depth) {
  auto family = [](int d) { return d == 15 ? 16 : d == 24 ? 32 : d; };
  std::vector<std::int32_t> modes;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
    if (family(int(mode.dmBitsPerPel)) == family(depth))
      modes.push_back(std::int32_t(mode.dmPelsWidth * 65536 + mode.dmPelsHeight));
  return modes;
}

}  // namespace qz
