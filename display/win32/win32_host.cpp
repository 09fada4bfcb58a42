// The Windows window host: init and exit shared by the window back ends, the
// driver thread, its window setup and teardown, and the pass that hands the
// marked rows to the back end's presenter.
//
// Threads and locks
// - The driver thread creates and owns the window and its message queue; the
//   window procedure runs only there, inside the pass. The program's thread
//   reaches the window only through host_call (title, mouse, position).
// - The host lock (a recursive mutex) is held by the pass, at least every
//   10 ms and sooner when a message, a call or a pass request (an unlock, a
//   palette change) arrives: calls handed over, palette, the band of marked
//   rows, clearing of the marks, key_state, message dispatch. A presenter's
//   wait for the display comes after it, without the lock. The drawing side
//   holds it between the outermost screen_lock and screen_unlock.
// - The OpenGL back end runs no driver thread (display/gl_host.h): it builds
//   the window here on the program's thread, which then owns it and takes its
//   messages only when it polls.
// - dirty_rows is set under it by drawing and cleared under it by the pass;
//   the key queue and the event ring are written only under it.
// - The thread never reads mode->driver; it works from its own state.

#include "display/win32/win32_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/win32_scaled_picture.h"
#include "display/window_host.h"
#include "input/key_translate.h"

namespace qz {

namespace {

constexpr DWORD kPassIntervalMs = 10;
// The driver thread, for wake() (0 while none runs).
std::atomic<DWORD> g_thread_id{0};

template <typename Fn>
void look_up(HMODULE module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The monitor's whole area, or with `work` the part that taskbars leave.
RECT monitor_rect(bool work = false) {
  Win32Window& g = win32_window();
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (g.get_monitor_info && g.monitor && g.get_monitor_info(g.monitor, &info)) return work ? info.rcWork : info.rcMonitor;
  if (RECT area{}; work && SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return area;
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The client area of a framed window: the picture's size, or a multiple of
// it for a scaled window or a HiDPI monitor (auto: the largest whose window,
// frame included, fits the work area).
// OpenGL windows are the program's drawing and layered ones are shaped by
// their pixels: both stay 1:1.
// The monitor's resolution as a whole factor (96 dpi: 1). Its effective DPI
// where the system tells it per monitor, else the desktop's.
int monitor_dpi_factor() {
  using MonitorDpiFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  LoadedLibrary shcore("shcore.dll");
  MonitorDpiFn monitor_dpi = nullptr;
  UINT dpi_x = 0, dpi_y = 0;
  if (const HMONITOR monitor = win32_window().monitor;
      monitor && shcore.look_up("GetDpiForMonitor", monitor_dpi) && monitor_dpi(monitor, 0, &dpi_x, &dpi_y) == S_OK)
    return dpi_factor(dpi_x);
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi_factor(dpi);
}

WindowSize client_size(DWORD style, DWORD ex_style) {
  const WindowHost& host = window_host();
  if (host.flags & (kModeOpengl | kModeLayered)) return {host.width, host.height};
  const RECT work = monitor_rect(true);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  return window_size_at_dpi(host.width, host.height, host.scale, monitor_dpi_factor(),
                            (work.right - work.left) - (frame.right - frame.left),
                            (work.bottom - work.top) - (frame.bottom - frame.top));
}

// Per-monitor DPI awareness, so that the system never stretches the window
// (it would blur every pixel): the newest call the system has. Only when a
// window opens: a library leaves the process as it found it until then.
void declare_dpi_awareness() {
  using ContextFn = BOOL(WINAPI*)(HANDLE);
  using AwarenessFn = HRESULT(WINAPI*)(int);
  using AwareFn = BOOL(WINAPI*)();
  const auto kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(-4);  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  constexpr int kPerMonitorAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
  HMODULE user32 = GetModuleHandleA("user32.dll");
  ContextFn set_context = nullptr;
  if (user32) look_up(user32, "SetProcessDpiAwarenessContext", set_context);
  // Refused when the process is aware already (a manifest, an earlier window).
  if (set_context && (set_context(kPerMonitorAwareV2) || GetLastError() == ERROR_ACCESS_DENIED)) return;
  LoadedLibrary shcore("shcore.dll");
  AwarenessFn set_awareness = nullptr;
  if (shcore.look_up("SetProcessDpiAwareness", set_awareness)) {
    set_awareness(kPerMonitorAware);
    return;
  }
  AwareFn set_aware = nullptr;
  if (user32) look_up(user32, "SetProcessDPIAware", set_aware);
  if (set_aware) set_aware();
}

// The device name of the monitor, for a display change on that monitor only.
std::string monitor_device() {
  Win32Window& g = win32_window();
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  if (g.get_monitor_info && g.monitor && g.get_monitor_info(g.monitor, reinterpret_cast<MONITORINFO*>(&info)))
    return info.szDevice;
  return {};
}

int change_display_mode() {
  Win32Window& g = win32_window();
  const WindowHost& host = window_host();
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmBitsPerPel = DWORD(host.depth);
  mode.dmPelsWidth = DWORD(host.width);
  mode.dmPelsHeight = DWORD(host.height);
  mode.dmDisplayFrequency = DWORD(host.refresh);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | (host.refresh > 0 ? DM_DISPLAYFREQUENCY : 0);
  std::string device = monitor_device();
  LONG result = g.change_display_settings_ex
                    ? g.change_display_settings_ex(device.empty() ? nullptr : device.c_str(), &mode, nullptr,
                                                   CDS_FULLSCREEN, nullptr)
                    : ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
  if (result != DISP_CHANGE_SUCCESSFUL) return -1;
  g.display_changed = true;
  return 0;
}

void restore_display_mode() {
  Win32Window& g = win32_window();
  if (!g.display_changed) return;
  std::string device = monitor_device();
  if (g.change_display_settings_ex)
    g.change_display_settings_ex(device.empty() ? nullptr : device.c_str(), nullptr, nullptr, 0, nullptr);
  else
    ChangeDisplaySettingsA(nullptr, 0);
  g.display_changed = false;
}

int create_host_window(DWORD style, DWORD ex_style, int x, int y, int width, int height) {
  Win32Window& g = win32_window();
  g.window_width = width;
  g.window_height = height;
  g.window = CreateWindowExA(ex_style, g.class_name.c_str(), g.title.c_str(), style, x, y, width, height, nullptr,
                             nullptr, g.instance, nullptr);
  if (!g.window) return -1;
  if (window_host().flags & kModeTopmost)
    SetWindowPos(g.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOSENDCHANGING);
  SetForegroundWindow(g.window);
  return 0;
}

}  // namespace

void win32_refresh_key_state(ScreenMode& mode) {
  BYTE keys[256];
  if (!GetKeyboardState(keys)) return;
  mode.key_state.fill(0);
  for (const ScanCodeRow& row : kScanCodeTable) {
    bool down = (keys[row.first_key] & 0x80) || (row.second_key && (keys[row.second_key] & 0x80));
    mode.key_state[row.scan_code] = down ? 1 : 0;
  }
}

// The driver thread takes every message of its own thread (its wakes are
// thread messages). The program's thread takes only its window's: its
// WM_QUIT and its own thread messages are the application's.
void win32_dispatch_messages(bool window_only) {
  const Win32Window& g = win32_window();
  MSG message;
  for (;;) {
    // Read again each time: a fullscreen switch builds a new window.
    const HWND only = window_only ? g.window : nullptr;
    if (window_only && !only) return;
    if (!PeekMessageA(&message, only, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
      // Returned whatever the filter: put back for the application's loop.
      PostQuitMessage(int(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

namespace {

// Refreshes key_state and dispatches the thread's messages.
void take_input(ScreenMode& mode) {
  const Win32Presenter& presenter = *win32_window().presenter;
  if (window_host().active) {
    if (presenter.read_keys)
      presenter.read_keys(mode);
    else
      win32_refresh_key_state(mode);
  }
  win32_dispatch_messages(false);
}

// The part of a pass that needs the host lock: calls handed over, the
// marked rows shown, key_state and the window's messages.
void locked_pass() {
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  // Taken first: an unlock from now on asks for (and wakes) the next pass.
  host_take_pass_request();
  host_run_calls();
  Win32Window& g = win32_window();
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!mode || !g.window) return;
  const int rows = std::min(mode->height, int(mode->dirty_rows.size()));
  const std::uint8_t* marks = mode->dirty_rows.data();
  int first = 0, last = rows - 1;
  while (first < rows && !marks[first]) ++first;
  while (last > first && !marks[last]) --last;
  if (host.palette_changed && g.presenter->converts_through_palette) {
    // Indexed pixels are converted through the palette: every row changes.
    host.palette_changed = false;
    if (mode->depth == 8) first = 0, last = rows - 1;
  }
  const bool shown = first < rows || host.palette_changed ? g.presenter->present(*mode, first, last) : true;
  // What was not shown is shown whole by a later pass (a target or surface
  // built again has nothing of the old picture).
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t(shown ? 0 : 1));
  take_input(*mode);
}

void update_pass() {
  const auto start = std::chrono::steady_clock::now();
  locked_pass();
  // Waits for the display (a vertical blank) happen here, where the drawing
  // side is not kept waiting for the host lock.
  if (const auto finish = win32_window().presenter->finish_unlocked) finish();
  host_record_pass(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

int win32_create_window() {
  Win32Window& g = win32_window();
  WindowHost& host = window_host();
  if (!current_mode()) return -1;
  const bool sets_display_mode = g.presenter && g.presenter->sets_display_mode;
  const bool updates_layered_window = g.presenter && g.presenter->updates_layered_window;
  RECT area = monitor_rect();
  DWORD style, ex_style = 0;
  int x, y, width = host.width, height = host.height;
  WindowSize client{host.width, host.height};
  if ((host.flags & kModeFullscreen) && !sets_display_mode && change_display_mode() != 0 &&
      !host_fullscreen_at_desktop_mode())
    return -1;
  if ((host.flags & kModeDesktopFullscreen) && !(host.flags & kModeOpengl)) {
    // The monitor covered at the desktop's own mode, the picture fitted. An
    // OpenGL window (never scaled) opens as a window instead, as on X11.
    style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    x = area.left;
    y = area.top;
    width = client.width = area.right - area.left;
    height = client.height = area.bottom - area.top;
  } else if (host.flags & kModeFullscreen) {
    style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    x = g.monitor ? area.left : 0;
    y = g.monitor ? area.top : 0;
  } else {
    style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    if (host.flags & kModeNoMaximize) style &= ~DWORD(WS_MAXIMIZEBOX);
    if (host.flags & kModeFrameless) style = WS_POPUP;
    if (host.flags & kModeResizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    if (host.flags & kModeLayered) {
      if (g.os_version <= 0x4FF) return -1;
      ex_style |= WS_EX_LAYERED;
    }
    client = client_size(style, ex_style);
    RECT r{0, 0, client.width, client.height};
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
    width = r.right - r.left;
    height = r.bottom - r.top;
    x = area.left + ((area.right - area.left - width) >> 1);
    y = area.top + ((area.bottom - area.top - height) >> 1);
  }
  // Fitted first: the WM_SIZE of the creation then finds nothing new.
  host_fit_picture(client.width, client.height);
  if (create_host_window(style, ex_style, x, y, width, height) != 0) return -1;
  if ((host.flags & kModeLayered) && !updates_layered_window) {
    if (!g.set_layered_window_attributes) return -1;
    g.set_layered_window_attributes(g.window, host.depth > 8 ? kLayeredKey32 : 0, 0, LWA_COLORKEY);
  }
  HDC dc = GetDC(g.window);
  host.refresh_rate = GetDeviceCaps(dc, VREFRESH);
  ReleaseDC(g.window, dc);
  return 0;
}

void win32_destroy_window() {
  Win32Window& g = win32_window();
  if (g.window) {
    DestroyWindow(g.window);
    g.window = nullptr;
  }
  restore_display_mode();
  g.tracking_leave = false;
}

namespace {

int thread_init() {
  Win32Window& g = win32_window();
  if (win32_create_window() != 0 || g.presenter->setup(*current_mode()) != 0) return -1;
  window_host().palette_changed = true;
  ShowWindow(g.window, SW_SHOWNORMAL);
  return 0;
}

void release() {
  win32_window().presenter->release();
  win32_destroy_window();
}

void set_high_priority(bool high) {
  SetThreadPriority(GetCurrentThread(), high ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_NORMAL);
}

void thread_main() {
  WindowHost& host = window_host();
  Win32Window& g = win32_window();
  g_thread_id = GetCurrentThreadId();
  {
    // The set-up writes fields (blitter, active) that the program's thread
    // reads under the host lock.
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    if (thread_init() != 0) {
      release();
      g_thread_id = 0;
      return;
    }
    if (host.flags & kModeHighPriority) set_high_priority(true);
    host.active = 1;
  }
  if (g.set_thread_execution_state) g.set_thread_execution_state(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
  host_signal_started();
  while (host_running()) {
    update_pass();
    // Up to 10 ms, ended early by a window message or by wake().
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPassIntervalMs, QS_ALLINPUT);
  }
  if (g.set_thread_execution_state) g.set_thread_execution_state(ES_CONTINUOUS);
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  release();
  g_thread_id = 0;
}

// Ends the driver thread's wait between passes: a call, a stop or a pass
// is waiting. Any thread.
void wake() {
  if (const DWORD id = g_thread_id.load()) PostThreadMessageA(id, WM_NULL, 0, 0);
}

}  // namespace

Win32Window& win32_window() {
  // Never destroyed: made on first use, possibly after the exit path's
  // at-exit teardown was registered, whose host stop still reads it.
  static Win32Window& state = *new Win32Window;
  return state;
}

std::int32_t win32_platform_version() {
  // GetVersionEx reports what the manifest allows; the kernel's own call
  // reports the real version.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (HMODULE ntdll = GetModuleHandleA("ntdll.dll")) {
    RtlGetVersionFn get = nullptr;
    look_up(ntdll, "RtlGetVersion", get);
    if (get && get(&info) == 0) return std::int32_t(info.dwMajorVersion * 256 + info.dwMinorVersion);
  }
  return 0x0600;
}

int win32_display_refresh_rate() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  return EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) ? int(mode.dmDisplayFrequency) : 0;
}

void win32_nearest_monitor() {
  Win32Window& g = win32_window();
  g.monitor = g.monitor_from_window && g.window ? g.monitor_from_window(g.window, MONITOR_DEFAULTTONEAREST) : nullptr;
}

void win32_confine_cursor() {
  Win32Window& g = win32_window();
  if (!g.window) return;
  RECT r{};
  GetClientRect(g.window, &r);
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  ClientToScreen(g.window, &corners[0]);
  ClientToScreen(g.window, &corners[1]);
  RECT screen{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  ClipCursor(&screen);
}

void win32_free_cursor() { ClipCursor(nullptr); }

int win32_prepare_window(const Win32Presenter* presenter, const char* title, int width, int height, int depth,
                         int refresh, int flags) {
  host_prepare(width, height, std::max(depth, 8), refresh, flags);
  WindowHost& host = window_host();
  host.thread_init = thread_init;
  host.release = release;
  host.confine_cursor = win32_confine_cursor;
  host.free_cursor = win32_free_cursor;
  host.nearest_monitor = win32_nearest_monitor;
  host.set_high_priority = set_high_priority;
  host.wake = wake;

  Win32Window& g = win32_window();
  g = Win32Window{};
  g.presenter = presenter;
  g.os_version = win32_platform_version();
  declare_dpi_awareness();
  if (HMODULE user32 = GetModuleHandleA("user32.dll")) {
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
  wc.lpfnWndProc = presenter && presenter->window_procedure ? presenter->window_procedure : window_procedure;
  wc.hInstance = g.instance;
  wc.hIcon = LoadIconA(g.instance, "QZ_PROGRAM_ICON");
  if (!wc.hIcon) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = g.class_name.c_str();
  g.window_class = RegisterClassA(&wc);
  if (!g.window_class) {
    note_driver_refusal("the window class could not be registered");
    return -1;
  }
  return 0;
}

int win32_host_start(const Win32Presenter& presenter, const char* title, int width, int height, int depth,
                     int refresh, int flags) {
  if (win32_prepare_window(&presenter, title, width, height, depth, refresh, flags) != 0) return -1;
  if (host_start(thread_main) != 0) {
    note_driver_refusal("the window could not be created");
    return -1;
  }
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = window_host().refresh_rate.load();
  return 0;
}

void win32_host_exit() {
  host_stop();
  win32_finish_window();
}

void win32_finish_window() {
  Win32Window& g = win32_window();
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

}  // namespace qz
