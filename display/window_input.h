#pragma once

// The platform-neutral steps of the window procedure. A back end turns its
// platform's messages into these calls on the driver thread, with the host
// lock held: key and character steps fill the key queue, pointer, button,
// wheel and activation steps keep WindowInput and post WindowEvents, and the
// mode switch rebuilds the window through the host's routines.

#include <cstdint>

#include "input/key_translate.h"
#include "input/window_event.h"

namespace qz {

constexpr std::int32_t kNoScreenPosition = 0xFFFF;

// Pointer, button and wheel state of the current window. Written on the
// driver thread; read by the mouse query under the host lock.
struct WindowInput {
  std::int32_t pointer_x = 0;  // client x of the last movement
  std::int32_t pointer_y = 0;  // client y, in window rows
  std::int32_t last_screen_x = kNoScreenPosition;
  std::int32_t last_screen_y = 0;
  std::int32_t buttons = 0;  // 0x01 left, 0x02 right, 0x04 middle, 0x08 X1, 0x10 X2
  std::int32_t buttons_before = 0;
  std::int32_t wheel = 0;
  std::int32_t hwheel = 0;
  std::int32_t pointer_inside = 0;
  std::int32_t cursor_in_client = 0;
  std::int32_t cursor_visible = 1;
};

enum MouseButtonBit : std::int32_t {
  kButtonLeft = 0x01,
  kButtonRight = 0x02,
  kButtonMiddle = 0x04,
  kButtonX1 = 0x08,
  kButtonX2 = 0x10,
};

WindowInput& window_input();
// The reset of a new window: cursor shown, no movement seen, wheel and
// buttons cleared; the pointer's place and the horizontal wheel carry over.
void window_input_reset();

// Appends to the current mode's event ring; a full ring loses its oldest.
void post_event(const WindowEvent& event);

// One key message. `character` is what the layout gives for the key with
// the modifiers held (0 for none, dead keys untranslated).
struct KeyMessage {
  std::uint8_t character = 0;
  std::uint16_t scan_code = 0;
  std::uint16_t virtual_key = 0;
  std::int32_t control_state = 0;
  bool down = true;
  bool repeat = false;  // the key was already down
  int repeat_count = 1;
};
// Queues the extended code of a key-down and posts its event. Character
// codes (1..255) are left to character_steps. Returns true when the key is
// consumed (F10, Alt, the close code): nothing posted, no default handling.
bool key_steps(const KeyMessage& key, BaseCharFn base_character);

// The text a key press produced, one character at a time: queued in code
// page 437, "?" where it has no such character.
void character_steps(char32_t character, int repeat_count);
std::uint8_t cp437_from_unicode(char32_t character);

// The window was asked to close: queue the close code, post close_request.
void close_steps();

// Pointer movement in client coordinates (y in window rows) and the
// cursor's screen position.
void pointer_move_steps(int x, int y, int screen_x, int screen_y);
// The pointer's place as an event other than a movement tells it (an entry,
// a button, a query when the window appears): kept, nothing posted.
void pointer_position_steps(int x, int y, int screen_x, int screen_y);
// The pointer entered the client area (leave notification is the back end's);
// the event carries the place last kept.
void pointer_entry();
// The pointer left the client area.
void pointer_leave_steps();

void button_steps(std::int32_t button_bit, bool down, bool is_double);
void wheel_steps(int notches);
void hwheel_steps(int notches);

// Activation change; `minimised` is set for an activation while minimised.
void activation_steps(bool activated, bool minimised);

// Rows [top, bottom) of the window need painting: mark their framebuffer rows.
void paint_steps(int top, int bottom);

// Windowed <-> fullscreen through the host's release and thread_init.
// Returns false when the mode forbids it (no_maximize).
bool switch_window_mode();

}  // namespace qz
