// The window procedure: Windows messages turned into the shared window
// steps. It runs on the window's thread (the driver thread inside the locked
// pass, or the OpenGL program's thread as it polls) with the host lock held.

#include <windows.h>
#include <windowsx.h>

#include "display/screen_mode.h"
#include "display/win32/win32_host.h"
#include "display/win32/win32_scaled_picture.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

namespace {

constexpr UINT_PTR kLeaveTimer = 2;
constexpr UINT kLeavePollMs = 100;

bool cursor_in_client(HWND window, POINT* cursor) {
  RECT r{};
  GetClientRect(window, &r);
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  ClientToScreen(window, &corners[0]);
  ClientToScreen(window, &corners[1]);
  GetCursorPos(cursor);
  return cursor->x >= corners[0].x && cursor->x < corners[1].x && cursor->y >= corners[0].y &&
         cursor->y < corners[1].y;
}

// Asks for a leave notification, by the platform or by polling.
void track_leave(HWND window) {
  Win32Window& g = win32_window();
  if (g.tracking_leave) return;
  if (g.track_mouse_event) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window, 0};
    g.track_mouse_event(&track);
  } else {
    SetTimer(window, kLeaveTimer, kLeavePollMs, nullptr);
  }
  g.tracking_leave = true;
}

void leave_poll(HWND window) {
  POINT cursor;
  if (!cursor_in_client(window, &cursor) || WindowFromPoint(cursor) != window) {
    KillTimer(window, kLeaveTimer);
    PostMessageA(window, WM_MOUSELEAVE, 0, 0);
  }
}

LRESULT key_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  BYTE keyboard[256];
  GetKeyboardState(keyboard);
  KeyMessage key;
  key.virtual_key = std::uint16_t(wparam);
  key.scan_code = std::uint16_t((lparam >> 16) & 0xFF);
  key.control_state = win32_control_state(keyboard, lparam);
  key.character = win32_key_character(UINT(wparam), lparam, keyboard);
  key.down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  key.repeat = (lparam & (1 << 30)) != 0;
  key.repeat_count = int(lparam & 0xFFFF);
  // System key-downs (keys with Alt) are handled like any key-down, so that
  // Alt combinations reach the key queue as on every platform; the
  // platform's own handling of Alt, F10 and Alt+F4 is suppressed.
  if (key_steps(key, win32_base_character)) return 0;
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Window& g = win32_window();
  WindowHost& host = window_host();
  WindowInput& input = window_input();
  POINT cursor{};
  input.cursor_in_client = cursor_in_client(window, &cursor) ? 1 : 0;

  switch (message) {
    case WM_SIZE:
      // Minimising a fullscreen window gives the desktop back; a window that
      // is not fullscreen stays as it is.
      if (host.active && wparam == SIZE_MINIMIZED && (host.flags & kModeFullscreen) && switch_window_mode()) return 0;
      if (wparam != SIZE_MINIMIZED) win32_client_resized(LOWORD(lparam), HIWORD(lparam));
      break;
    case WM_ACTIVATE:
      activation_steps(LOWORD(wparam) != WA_INACTIVE, HIWORD(wparam) != 0);
      if (!host.active) {
        KillTimer(window, kLeaveTimer);
        g.tracking_leave = false;
      } else if (input.pointer_inside) {
        track_leave(window);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      // Scaled, a window row is no picture row, and the bars need showing too.
      if (host_picture_scaled())
        paint_steps(0, host.height);
      else
        paint_steps(paint.rcPaint.top, paint.rcPaint.bottom);
      if (g.presenter && g.presenter->repaint) g.presenter->repaint();
      EndPaint(window, &paint);
      break;
    }
    case WM_CLOSE:
      close_steps();
      return 0;
    case WM_SETCURSOR:
      SetCursor(input.cursor_in_client && !input.cursor_visible
                    ? nullptr
                    : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
      return TRUE;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      if (g.window_width > 0 && !(host.flags & kModeResizable)) {
        info->ptMaxSize = info->ptMinTrackSize = info->ptMaxTrackSize = POINT{g.window_width, g.window_height};
      }
      return 0;
    }
    case WM_DISPLAYCHANGE:
      if (g.presenter && g.presenter->repaint) g.presenter->repaint();
      paint_steps(0, host.height);
      break;
    case WM_CHAR:
      if (wparam <= 255) {
        char byte = char(wparam);
        wchar_t wide = 0;
        if (byte == 0 || MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) == 1)
          character_steps(char32_t(wide), int(lparam & 0xFFFF));
      }
      break;
    case WM_SYSKEYDOWN:
      // Alt+Enter switches once per press: a held key's repeats (bit 30, the
      // key was down already) would rebuild the window and the display mode
      // on every repeat.
      if (host.active && wparam == VK_RETURN && (lparam & (1 << 29))) {
        if (!(lparam & (1 << 30))) switch_window_mode();
        return 0;
      }
      return key_message(window, message, wparam, lparam);
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
      return key_message(window, message, wparam, lparam);
    case WM_MOUSEMOVE: {
      bool entering = host.active && !input.pointer_inside;
      pointer_move_steps(GET_X_LPARAM(lparam) & 0xFFFF, GET_Y_LPARAM(lparam) & 0xFFFF, cursor.x, cursor.y);
      if (entering && input.pointer_inside) track_leave(window);
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
      SetCapture(window);
      const std::int32_t bit = message <= WM_LBUTTONDBLCLK ? kButtonLeft : message <= WM_RBUTTONDBLCLK ? kButtonRight : kButtonMiddle;
      const bool is_double = message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
      button_steps(bit, true, is_double);
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const std::int32_t bit = message == WM_LBUTTONUP ? kButtonLeft : message == WM_RBUTTONUP ? kButtonRight : kButtonMiddle;
      button_steps(bit, false, false);
      if (input.buttons == 0 && GetCapture() == window) ReleaseCapture();
      break;
    }
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
    case WM_XBUTTONUP: {
      if (g.os_version < 0x0500) break;
      const std::int32_t held = std::int32_t((wparam >> 2) & 0x18);  // MK_XBUTTON1 0x20, MK_XBUTTON2 0x40
      if (message == WM_XBUTTONUP) {
        const std::int32_t released = input.buttons & ~held & (kButtonX1 | kButtonX2);
        if (released) button_steps(released, false, false);
        if (input.buttons == 0 && GetCapture() == window) ReleaseCapture();
      } else {
        SetCapture(window);
        const std::int32_t pressed = held & ~input.buttons;
        if (pressed) button_steps(pressed, true, message == WM_XBUTTONDBLCLK);
      }
      break;
    }
    case WM_MOUSEWHEEL:
      if (g.os_version >= 0x040A) wheel_steps(GET_WHEEL_DELTA_WPARAM(wparam) > 0 ? 1 : -1);
      break;
    case WM_MOUSEHWHEEL:
      if (g.os_version >= 0x0500) hwheel_steps(GET_WHEEL_DELTA_WPARAM(wparam) > 0 ? 1 : -1);
      break;
    case WM_MOVING:
      if (host.mouse_clipped) ClipCursor(nullptr);
      break;
    case WM_TIMER:
      if (wparam == kLeaveTimer) {
        leave_poll(window);
        return 0;
      }
      break;
    case WM_MOUSELEAVE:
      g.tracking_leave = false;
      if (host.active) {
        pointer_leave_steps();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace qz
