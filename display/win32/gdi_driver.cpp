// The GDI driver record: init and exit, and the operations that act on the
// window, each handed to the driver thread (which owns the window).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/gdi_state.h"
#include "display/window_host.h"
#include "input/window_input.h"

namespace qz {

namespace {

void refuse_because(const char* reason) {
  if (*driver_failure_reason() == '\0') set_driver_failure_reason(reason);
}

std::int32_t platform_version() {
  // GetVersionEx reports what the manifest allows; the kernel's own call
  // reports the real version.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (HMODULE ntdll = GetModuleHandleA("ntdll.dll")) {
    auto get = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (get && get(&info) == 0) return std::int32_t(info.dwMajorVersion * 256 + info.dwMinorVersion);
  }
  return 0x0600;
}

template <typename Fn>
void look_up(HMODULE user32, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

int gdi_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (flags & kModeOpengl) {
    refuse_because("the GDI back end has no OpenGL windows");
    return -1;
  }
  host_reset();
  WindowHost& host = window_host();
  host.width = width;
  host.height = height;
  host.depth = std::max(depth, 8);
  host.refresh = refresh;
  host.flags = flags;
  std::snprintf(host.class_name, sizeof host.class_name, "qzgfxclass_%p", static_cast<void*>(&host));
  host.thread_init = gdi_thread_init;
  host.release = gdi_release;
  host.confine_cursor = gdi_confine_cursor;
  host.free_cursor = gdi_free_cursor;
  host.nearest_monitor = gdi_nearest_monitor;
  host.set_high_priority = gdi_set_high_priority;

  GdiState& g = gdi();
  g = GdiState{};
  g.os_version = platform_version();
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32) {
    look_up(user32, "SetLayeredWindowAttributes", g.set_layered_window_attributes);
    look_up(user32, "MonitorFromWindow", g.monitor_from_window);
    look_up(user32, "MonitorFromPoint", g.monitor_from_point);
    look_up(user32, "TrackMouseEvent", g.track_mouse_event);
    look_up(user32, "GetMonitorInfoA", g.get_monitor_info);
    look_up(user32, "ChangeDisplaySettingsExA", g.change_display_settings_ex);
  }
  POINT cursor{};
  if (g.monitor_from_point && GetCursorPos(&cursor)) g.monitor = g.monitor_from_point(cursor, MONITOR_DEFAULTTONEAREST);

  // The screen saver stays off while the window lives: through the driver
  // thread's execution state where the system has it, which ends with the
  // thread even when the process dies; else through the desktop-wide switch,
  // put back on every orderly way out.
  if (HMODULE kernel32 = GetModuleHandleA("kernel32.dll"))
    look_up(kernel32, "SetThreadExecutionState", g.set_thread_execution_state);
  if (!g.set_thread_execution_state && SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &g.saved_screensaver, 0)) {
    g.screensaver_saved = true;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
  }
  g.instance = GetModuleHandleA(nullptr);
  g.title = title ? title : "";
  g.class_name = host.class_name;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = window_procedure;
  wc.hInstance = g.instance;
  wc.hIcon = LoadIconA(g.instance, "QZ_PROGRAM_ICON");
  if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = g.class_name.c_str();
  g.window_class = RegisterClassA(&wc);
  if (!g.window_class) {
    refuse_because("the window class could not be registered");
    return -1;
  }
  if (host_start(gdi_thread_main) != 0) {
    refuse_because("the window could not be created");
    return -1;
  }
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = host.refresh_rate.load();
  return 0;
}

void gdi_exit() {
  host_stop();
  GdiState& g = gdi();
  if (g.screensaver_saved) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, g.saved_screensaver, nullptr, 0);
    g.screensaver_saved = false;
  }
  if (g.window_class) {
    UnregisterClassA(g.class_name.c_str(), g.instance);
    g.window_class = 0;
  }
  if (window_host().mouse_clipped) {
    ClipCursor(nullptr);
    window_host().mouse_clipped = 0;
  }
}

void gdi_set_mouse(int x, int y, int visibility, int clip) {
  host_call([=] {
    GdiState& g = gdi();
    if (!g.window) return;
    WindowHost& host = window_host();
    WindowInput& input = window_input();
    if (x != kNotGiven || y != kNotGiven) {
      POINT p{std::clamp(x == kNotGiven ? input.pointer_x : x, 0, std::max(host.width - 1, 0)),
              std::clamp(y == kNotGiven ? input.pointer_y : y, 0, std::max(host.height - 1, 0))};
      if (!(host.flags & kModeFullscreen)) ClientToScreen(g.window, &p);
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
        gdi_confine_cursor();
      else
        gdi_free_cursor();
    }
  });
}

void gdi_set_window_title(const char* title) {
  // Set on the window's own thread: a cross-thread SetWindowText would wait
  // for a pass while the program may hold the host lock.
  const std::string copy = title ? title : "";
  host_call([&copy] {
    gdi().title = copy;
    if (gdi().window) SetWindowTextA(gdi().window, copy.c_str());
  });
}

int gdi_set_window_pos(int x, int y) {
  int result = 0;
  host_call([&] {
    GdiState& g = gdi();
    if (!g.window || (window_host().flags & kModeFullscreen)) return;
    if (x == kNotGiven && y == kNotGiven) {
      RECT r{};
      if (GetWindowRect(g.window, &r)) result = (r.left & 0xFFFF) + r.top * 65536;
      return;
    }
    SetWindowPos(g.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
  });
  return result;
}

std::vector<std::int32_t> gdi_fetch_modes(int depth) {
  auto family = [](int d) { return d == 15 ? 16 : d == 24 ? 32 : d; };
  std::vector<std::int32_t> modes;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
    if (family(int(mode.dmBitsPerPel)) == family(depth))
      modes.push_back(std::int32_t(mode.dmPelsWidth * 65536 + mode.dmPelsHeight));
  return modes;
}

}  // namespace

extern const DisplayDriver gdi_driver = {
    "GDI",          gdi_init,        gdi_exit,        host_lock,      host_unlock,
    host_set_palette, host_wait_vsync, host_get_mouse, gdi_set_mouse,  gdi_set_window_title,
    gdi_set_window_pos, gdi_fetch_modes, nullptr,      nullptr,
};

}  // namespace qz
