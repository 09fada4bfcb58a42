#pragma once

#include <cstdint>

namespace qz {

// A record of what happened to the window, kept in the mode's event ring.
// The payload fields mean what `type` says (key: scancode, ascii; pointer:
// x, y, dx, dy; entry: x, y; buttons: button bits, x, y; wheels: position).
struct WindowEvent {
  std::int32_t type = 0;
  std::int32_t a = 0;
  std::int32_t b = 0;
  std::int32_t c = 0;
  std::int32_t d = 0;
};

enum WindowEventType : std::int32_t {
  kEventKeyDown = 1,
  kEventKeyUp = 2,
  kEventKeyRepeat = 3,
  kEventPointerMove = 4,
  kEventButtonDown = 5,
  kEventButtonUp = 6,
  kEventButtonDouble = 7,
  kEventWheelTurn = 8,
  kEventPointerEnter = 9,
  kEventPointerLeave = 10,
  kEventFocusGained = 11,
  kEventFocusLost = 12,
  kEventCloseRequest = 13,
  kEventHwheelTurn = 14,
  kEventDisplayLost = 15,  // the window system went away; no payload
};

constexpr int kEventRingSize = 128;

}  // namespace qz
