// The window procedure's steps that every platform shares. They run on the
// driver thread inside its locked pass, so the key queue, the event ring's
// indexes, dirty_rows and WindowInput are all written under the host lock.

#include "display/window_input.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "input/key_queue.h"

namespace qz {

namespace {

WindowInput g_input;

// Code page 437, bytes 0x80..0xFF, as Unicode.
static constexpr std::array<char16_t, 128> kCp437Upper{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void mark_all_rows() {
  ScreenMode* mode = current_mode();
  if (mode) std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
}

// The kept pointer place in picture rows, for the events that carry it.
int picture_row(int y) {
  const ScreenMode* mode = current_mode();
  return mode && mode->scanline_size > 1 ? y / mode->scanline_size : y;
}

WindowEvent event_of(std::int32_t type, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0,
                     std::int32_t d = 0) {
  return WindowEvent{type, a, b, c, d};
}

}  // namespace

WindowInput& window_input() { return g_input; }

void window_input_reset() {
  g_input.cursor_visible = 1;
  g_input.last_screen_x = kNoScreenPosition;
  g_input.wheel = 0;
  g_input.buttons = 0;
  g_input.buttons_before = 0;
  g_input.cursor_in_client = 0;
}

void post_event(const WindowEvent& event) {
  ScreenMode* mode = current_mode();
  if (!mode) return;
  mode->event_guard.acquire();
  mode->event_ring[std::size_t(mode->event_write)] = event;
  const std::int32_t next = (mode->event_write + 1) % kEventRingSize;
  if (next == mode->event_read) mode->event_read = (next + 1) % kEventRingSize;
  mode->event_write = next;
  mode->event_guard.release();
}

bool key_steps(const KeyMessage& key, BaseCharFn base_character) {
  const std::int32_t code =
      translate_key(key.character, key.scan_code, key.virtual_key, key.control_state, base_character);
  WindowEvent event;
  if (key.down) {
    event.type = key.repeat ? kEventKeyRepeat : kEventKeyDown;
    // Characters arrive through character_steps; only extended codes here.
    if (code > 255)
      for (int i = 0; i < key.repeat_count; ++i) key_queue_put(code);
  } else {
    event.type = kEventKeyUp;
  }
  event.a = scan_code_for_key(key.virtual_key);
  event.b = code >= 0 && code <= 255 ? code : 0;
  if (key.virtual_key == vk::kF10 || key.virtual_key == vk::kMenu || code == kCloseCode) return true;
  post_event(event);
  return false;
}

std::uint8_t cp437_from_unicode(char32_t character) {
  if (character < 0x80) return static_cast<std::uint8_t>(character);
  for (std::size_t i = 0; i < kCp437Upper.size(); ++i)
    if (kCp437Upper[i] == character) return static_cast<std::uint8_t>(0x80 + i);
  return '?';
}

void character_steps(char32_t character, int repeat_count) {
  const std::uint8_t b = character == 0 ? 0 : cp437_from_unicode(character);
  for (int i = 0; i < repeat_count; ++i) key_queue_put(b);
}

void close_steps() {
  key_queue_put(kCloseCode);
  post_event(event_of(kEventCloseRequest));
}

void pointer_entry() {
  const WindowHost& host = window_host();
  g_input.pointer_inside = 1;
  if (host.mouse_clipped && host.confine_cursor) host.confine_cursor();
  post_event(event_of(kEventPointerEnter, g_input.pointer_x, picture_row(g_input.pointer_y)));
}

void pointer_position_steps(int x, int y, int screen_x, int screen_y) {
  const WindowHost& host = window_host();
  g_input.cursor_in_client = x >= 0 && y >= 0 && x < host.window_width && y < host.window_height;
  const PicturePoint at = host_picture_point(x, y);
  g_input.pointer_x = at.x;
  g_input.pointer_y = at.y;
  g_input.last_screen_x = screen_x;
  g_input.last_screen_y = screen_y;
}

void pointer_move_steps(int x, int y, int screen_x, int screen_y) {
  const WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  const int scanline = mode && mode->scanline_size > 0 ? mode->scanline_size : 1;
  const bool had_position = g_input.last_screen_x != kNoScreenPosition;
  int dx = 0, dy = 0;
  if (had_position) {
    dx = screen_x - g_input.last_screen_x;
    dy = screen_y - g_input.last_screen_y;
  }
  pointer_position_steps(x, y, screen_x, screen_y);
  x = g_input.pointer_x;
  y = g_input.pointer_y;
  if (scanline != 1) {
    y /= scanline;
    dy /= scanline;
  }
  if (host.active && !g_input.pointer_inside) {
    pointer_entry();
  } else if (host.active && had_position && (dx != 0 || dy != 0)) {
    post_event(event_of(kEventPointerMove, x, y, dx, dy));
  }
}

void pointer_leave_steps() {
  g_input.cursor_in_client = 0;
  if (!window_host().active) return;
  post_event(event_of(kEventPointerLeave));
  g_input.pointer_inside = 0;
}

void button_steps(std::int32_t button_bit, bool down, bool is_double) {
  if (down) {
    g_input.buttons_before = g_input.buttons;
    g_input.buttons |= button_bit;
    post_event(event_of(is_double ? kEventButtonDouble : kEventButtonDown, button_bit, g_input.pointer_x,
                        picture_row(g_input.pointer_y)));
  } else {
    g_input.buttons_before = g_input.buttons;
    g_input.buttons &= ~button_bit;
    post_event(event_of(kEventButtonUp, button_bit, g_input.pointer_x, picture_row(g_input.pointer_y)));
  }
}

void wheel_steps(int notches) {
  g_input.wheel += notches > 0 ? 1 : -1;
  post_event(event_of(kEventWheelTurn, g_input.wheel));
}

void hwheel_steps(int notches) {
  g_input.hwheel += notches > 0 ? 1 : -1;
  post_event(event_of(kEventHwheelTurn, g_input.hwheel));
}

void activation_steps(bool activated, bool minimised) {
  WindowHost& host = window_host();
  host.active = activated && !minimised ? 1 : 0;
  if (host.set_high_priority && (host.flags & kModeHighPriority)) host.set_high_priority(host.active != 0);
  if (ScreenMode* mode = current_mode()) mode->key_state.fill(0);
  g_input.buttons = 0;
  mark_all_rows();
  if (!host.active) {
    if (g_input.pointer_inside) {
      post_event(event_of(kEventPointerLeave));
      g_input.pointer_inside = 0;
    }
    if (!(activated && minimised)) post_event(event_of(kEventFocusLost));
    if (host.mouse_clipped && host.free_cursor) host.free_cursor();
    return;
  }
  post_event(event_of(kEventFocusGained));
  if (!g_input.cursor_in_client) {
    if (host.mouse_clipped && host.confine_cursor) host.confine_cursor();
  } else if (!g_input.pointer_inside) {
    pointer_entry();
  }
}

void paint_steps(int top, int bottom) {
  ScreenMode* mode = current_mode();
  if (!mode || bottom <= top) return;
  const int scanline = std::max(mode->scanline_size, 1);
  const int first = std::max(top / scanline, 0);
  const int last = std::min((bottom - 1) / scanline, mode->height - 1);
  if (first <= last) std::memset(mode->dirty_rows.data() + first, 1, std::size_t(last - first + 1));
}

bool switch_window_mode() {
  WindowHost& host = window_host();
  if (g_input.pointer_inside) post_event(event_of(kEventPointerLeave));
  if (host.flags & kModeNoMaximize) return false;
  if (host.nearest_monitor) host.nearest_monitor();
  if (host.mouse_clipped && host.free_cursor) host.free_cursor();
  host.release();
  const std::int32_t before = host.flags;
  constexpr std::int32_t kAnyFullscreen = kModeFullscreen | kModeDesktopFullscreen;
  host.flags = (before & kAnyFullscreen) ? before & ~kAnyFullscreen : before | host.fullscreen_kind;
  if (host.thread_init() != 0) {
    // Back to what worked before; its result cannot be improved on.
    host.release();
    host.flags = before;
    host.thread_init();
  }
  if (const ScreenMode* mode = current_mode()) {
    for (int i = 0; i < 256; ++i) {
      const std::uint32_t e = mode->device_palette[std::size_t(i)];
      host_set_palette(i, int(e & 0xFF), int((e >> 8) & 0xFF), int((e >> 16) & 0xFF));
    }
  }
  mark_all_rows();
  host.active = 1;
  g_input.pointer_inside = 0;
  return true;
}

}  // namespace qz
