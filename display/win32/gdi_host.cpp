// The GDI window host: the driver thread, its window setup and teardown,
// and the presentation pass.
//
// Threads and locks
// - The driver thread creates and owns the window and its message queue; the
//   window procedure runs only there, inside the pass. The program's thread
//   reaches the window only through host_call (title, mouse, position).
// - The host lock (a recursive mutex) is held by the presentation pass, about
//   every 10 ms: calls handed over, palette, the band of marked rows, clearing
//   of all marks, key_state, message dispatch. The drawing side holds it
//   between the outermost screen_lock and screen_unlock.
// - dirty_rows is set under it by drawing and cleared under it by the pass;
//   the key queue and the event ring are written only under it.
// - The thread never reads mode->driver; it works from its own state.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/win32/gdi_state.h"
#include "display/window_host.h"
#include "input/key_translate.h"
#include "input/window_input.h"

namespace qz {

namespace {

constexpr DWORD kLayeredKey32 = 0xFF00FF;  // magenta is transparent in layered windows

RECT monitor_rect() {
  GdiState& g = gdi();
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (g.get_monitor_info && g.monitor && g.get_monitor_info(g.monitor, &info)) return info.rcMonitor;
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The device name of the monitor, for a display change on that monitor only.
std::string monitor_device() {
  GdiState& g = gdi();
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  if (g.get_monitor_info && g.monitor && g.get_monitor_info(g.monitor, reinterpret_cast<MONITORINFO*>(&info)))
    return info.szDevice;
  return {};
}

int change_display_mode() {
  GdiState& g = gdi();
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
  GdiState& g = gdi();
  if (!g.display_changed) return;
  std::string device = monitor_device();
  if (g.change_display_settings_ex)
    g.change_display_settings_ex(device.empty() ? nullptr : device.c_str(), nullptr, nullptr, 0, nullptr);
  else
    ChangeDisplaySettingsA(nullptr, 0);
  g.display_changed = false;
}

int create_host_window(DWORD style, DWORD ex_style, int x, int y, int width, int height) {
  GdiState& g = gdi();
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

BITMAPINFO* bitmap_header() { return reinterpret_cast<BITMAPINFO*>(gdi().bitmap_info.data()); }

// Chooses the row conversion: 16-bit modes show through a 15-bit bitmap,
// layered 32-bit windows need the top byte cleared, and rows that are not
// whole DWORDs or repeat need a copy.
int choose_blitter(const ScreenMode& mode) {
  GdiState& g = gdi();
  WindowHost& host = window_host();
  host.blitter = nullptr;
  bool buffered = true;
  if (host.depth == 32 && (host.flags & kModeLayered))
    host.blitter = blit_layered_copy;
  else if (host.depth == 16)
    host.blitter = select_blitter(15, ChannelOrder::kStandard);
  else if (mode.width % 4 == 0 && mode.scanline_size == 1)
    buffered = false;
  else
    host.blitter = select_blitter(host.depth, ChannelOrder::kStandard);
  if (!buffered) return 0;
  if (!host.blitter) return -1;
  g.conversion_step = (mode.pitch + 3) & ~3;
  g.conversion_buffer.assign(std::size_t(g.conversion_step) * std::size_t(host.height), 0);
  return 0;
}

void copy_band(HDC dc, const std::uint8_t* bits, int first_row, int rows) {
  // Each band gets its own top-down header: a full-height header would count
  // the source row from the bottom of the bitmap.
  BITMAPINFO* header = bitmap_header();
  const LONG full_height = header->bmiHeader.biHeight;
  header->bmiHeader.biHeight = -rows;
  SetDIBitsToDevice(dc, 0, first_row, DWORD(window_host().width), DWORD(rows), 0, 0, 0, UINT(rows), bits, header,
                    DIB_RGB_COLORS);
  header->bmiHeader.biHeight = full_height;
}

void apply_palette(HDC dc) {
  GdiState& g = gdi();
  WindowHost& host = window_host();
  RGBQUAD* table = bitmap_header()->bmiColors;
  PALETTEENTRY entries[256];
  for (int i = 0; i < 256; ++i) {
    const auto& e = host.palette_entries[std::size_t(i)];
    table[i] = RGBQUAD{e[2], e[1], e[0], 0};
    entries[i] = PALETTEENTRY{e[0], e[1], e[2], PC_NOCOLLAPSE};
  }
  if (g.palette_object) {
    SetPaletteEntries(g.palette_object, 0, 256, entries);
    SelectPalette(dc, g.palette_object, FALSE);
    RealizePalette(dc);
  }
  host.palette_changed = false;
}

void refresh_key_state(ScreenMode& mode) {
  BYTE keys[256];
  if (!GetKeyboardState(keys)) return;
  mode.key_state.fill(0);
  for (const ScanCodeRow& row : kScanCodeTable) {
    bool down = (keys[row.first_key] & 0x80) || (row.second_key && (keys[row.second_key] & 0x80));
    mode.key_state[row.scan_code] = down ? 1 : 0;
  }
}

void pump_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void update_pass() {
  const auto start = std::chrono::steady_clock::now();
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  host_run_calls();
  GdiState& g = gdi();
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!mode || !g.window) return;
  HDC dc = GetDC(g.window);
  if (host.palette_changed) apply_palette(dc);
  const int rows = std::min(mode->height, int(mode->dirty_rows.size()));
  const std::uint8_t* flags = mode->dirty_rows.data();
  int first = 0;
  while (first < rows && !flags[first]) ++first;
  if (first < rows) {
    int last = rows - 1;
    while (!flags[last]) --last;
    const int scanline = mode->scanline_size;
    if (host.blitter) {
      host.blitter(g.conversion_buffer.data(), g.conversion_step);
      copy_band(dc, g.conversion_buffer.data() + std::size_t(first) * scanline * g.conversion_step, first * scanline,
                (last - first + 1) * scanline);
    } else {
      copy_band(dc, mode->visible_framebuffer + std::size_t(first) * mode->pitch, first, last - first + 1);
    }
  }
  ReleaseDC(g.window, dc);
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{0});
  if (host.active) refresh_key_state(*mode);
  pump_messages();
  host_record_pass(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

GdiState& gdi() {
  static GdiState state;
  return state;
}

int gdi_thread_init() {
  GdiState& g = gdi();
  WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  if (!mode) return -1;
  RECT area = monitor_rect();
  DWORD style, ex_style = 0;
  int x, y, width = host.width, height = host.height;
  if (host.flags & kModeFullscreen) {
    if (change_display_mode() != 0) return -1;
    style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    x = g.monitor ? area.left : 0;
    y = g.monitor ? area.top : 0;
  } else {
    style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    if (host.flags & kModeNoMaximize) style &= ~DWORD(WS_MAXIMIZEBOX);
    if (host.flags & kModeFrameless) style = WS_POPUP;
    if (host.flags & kModeLayered) {
      if (g.os_version <= 0x4FF) return -1;
      ex_style |= WS_EX_LAYERED;
    }
    RECT r{0, 0, host.width, host.height};
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
    width = r.right - r.left;
    height = r.bottom - r.top;
    x = area.left + ((area.right - area.left - width) >> 1);
    y = area.top + ((area.bottom - area.top - height) >> 1);
  }
  if (create_host_window(style, ex_style, x, y, width, height) != 0) return -1;
  if (host.flags & kModeLayered) {
    if (!g.set_layered_window_attributes) return -1;
    g.set_layered_window_attributes(g.window, host.depth > 8 ? kLayeredKey32 : 0, 0, LWA_COLORKEY);
  }
  g.bitmap_info.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER& h = bitmap_header()->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = host.width;
  h.biHeight = -host.height;
  h.biPlanes = 1;
  h.biBitCount = WORD(host.depth);
  h.biCompression = BI_RGB;
  h.biClrUsed = 256;
  if (choose_blitter(*mode) != 0) return -1;
  HDC dc = GetDC(g.window);
  host.refresh_rate = GetDeviceCaps(dc, VREFRESH);
  ReleaseDC(g.window, dc);
  struct {
    WORD version, count;
    PALETTEENTRY entries[256];
  } logical{0x300, 256, {}};
  for (int i = 0; i < 256; ++i) {
    const auto& e = host.palette_entries[std::size_t(i)];
    logical.entries[i] = PALETTEENTRY{e[0], e[1], e[2], PC_NOCOLLAPSE};
  }
  g.palette_object = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
  host.palette_changed = true;
  ShowWindow(g.window, SW_SHOWNORMAL);
  return 0;
}

void gdi_release() {
  GdiState& g = gdi();
  g.conversion_buffer.clear();
  g.conversion_buffer.shrink_to_fit();
  g.bitmap_info.clear();
  if (g.window) {
    DestroyWindow(g.window);
    g.window = nullptr;
  }
  restore_display_mode();
  if (g.palette_object) {
    DeleteObject(g.palette_object);
    g.palette_object = nullptr;
  }
  g.tracking_leave = false;
}

void gdi_repaint() {
  GdiState& g = gdi();
  const WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  if (!mode || !g.window || g.bitmap_info.empty()) return;
  HDC dc = GetDC(g.window);
  if (g.palette_object) {
    SelectPalette(dc, g.palette_object, FALSE);
    RealizePalette(dc);
  }
  if (host.blitter)
    copy_band(dc, g.conversion_buffer.data(), 0, host.height);
  else
    copy_band(dc, mode->visible_framebuffer, 0, host.height);
  ReleaseDC(g.window, dc);
}

void gdi_confine_cursor() {
  GdiState& g = gdi();
  if (!g.window) return;
  RECT r{};
  GetClientRect(g.window, &r);
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  ClientToScreen(g.window, &corners[0]);
  ClientToScreen(g.window, &corners[1]);
  RECT screen{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  ClipCursor(&screen);
}

void gdi_free_cursor() { ClipCursor(nullptr); }

void gdi_nearest_monitor() {
  GdiState& g = gdi();
  g.monitor = g.monitor_from_window && g.window ? g.monitor_from_window(g.window, MONITOR_DEFAULTTONEAREST) : nullptr;
}

void gdi_set_high_priority(bool high) {
  SetThreadPriority(GetCurrentThread(), high ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_NORMAL);
}

void gdi_thread_main() {
  WindowHost& host = window_host();
  GdiState& g = gdi();
  {
    // The set-up writes fields (blitter, active) that the program's thread
    // reads under the host lock.
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    if (gdi_thread_init() != 0) {
      gdi_release();
      return;
    }
    if (host.flags & kModeHighPriority) gdi_set_high_priority(true);
    host.active = 1;
  }
  if (g.set_thread_execution_state) g.set_thread_execution_state(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
  host_signal_started();
  while (host_running()) {
    update_pass();
    host_wait_between_passes();
  }
  if (g.set_thread_execution_state) g.set_thread_execution_state(ES_CONTINUOUS);
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  gdi_release();
}

}  // namespace qz
