#pragma once

// State of the GDI back end, kept beside the shared WindowHost. Written on the
// driver thread (the window's owner) except where noted.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

struct GdiState {
  // Set by init on the program's thread before the driver thread starts.
  HINSTANCE instance = nullptr;
  std::string title;
  std::string class_name;
  ATOM window_class = 0;
  std::int32_t os_version = 0;  // major * 256 + minor
  HMONITOR monitor = nullptr;   // under the cursor at start; nearest after a switch
  BOOL saved_screensaver = FALSE;
  bool screensaver_saved = false;

  HWND window = nullptr;
  int window_width = 0;  // outer size, for WM_GETMINMAXINFO
  int window_height = 0;
  bool tracking_leave = false;
  bool display_changed = false;  // the display mode was changed for fullscreen

  // Presentation: header + 256 colour-table entries, the converted rows when
  // a blitter is set, the palette object.
  std::vector<std::uint8_t> bitmap_info;
  std::vector<std::uint8_t> conversion_buffer;
  int conversion_step = 0;
  HPALETTE palette_object = nullptr;

  // Optional entry points of user32, looked up at every start.
  BOOL(WINAPI* set_layered_window_attributes)(HWND, COLORREF, BYTE, DWORD) = nullptr;
  HMONITOR(WINAPI* monitor_from_window)(HWND, DWORD) = nullptr;
  HMONITOR(WINAPI* monitor_from_point)(POINT, DWORD) = nullptr;
  BOOL(WINAPI* track_mouse_event)(LPTRACKMOUSEEVENT) = nullptr;
  BOOL(WINAPI* get_monitor_info)(HMONITOR, LPMONITORINFO) = nullptr;
  LONG(WINAPI* change_display_settings_ex)(LPCSTR, DEVMODEA*, HWND, DWORD, LPVOID) = nullptr;
  EXECUTION_STATE(WINAPI* set_thread_execution_state)(EXECUTION_STATE) = nullptr;
};

GdiState& gdi();

// Window procedure of the host's window class.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Thread body, window setup and teardown, full repaint (driver thread).
void gdi_thread_main();
int gdi_thread_init();
void gdi_release();
void gdi_repaint();
void gdi_confine_cursor();
void gdi_free_cursor();
void gdi_nearest_monitor();
void gdi_set_high_priority(bool high);

// Keyboard: the modifier word of a key message, the layout's character for
// it, and a virtual key's unshifted character.
std::int32_t win32_control_state(const BYTE* keyboard, LPARAM lparam);
std::uint8_t win32_key_character(UINT virtual_key, LPARAM lparam, const BYTE* keyboard);
std::uint16_t win32_base_character(std::uint16_t virtual_key);

}  // namespace qz
