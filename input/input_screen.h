#pragma once

// The screen as input sees it: the key states and the event ring the
// window's thread fills, and what the display layer lends input to wait on
// the window. The display layer owns it (its mode record extends it) and
// makes it current; null while no screen is open.

#include <array>
#include <cstdint>
#include <semaphore>

#include "input/window_event.h"

namespace qz {

struct InputScreen {
  std::array<std::uint8_t, 128> key_state{};  // by scan code, non-zero while down
  std::array<WindowEvent, kEventRingSize> event_ring{};
  std::int32_t event_read = 0;
  std::int32_t event_write = 0;
  std::binary_semaphore event_guard{1};
  // The display's: takes the window's events on the program's thread (for a
  // back end without a window thread), and why no input can come (null while
  // the window works). Either may be null.
  void (*poll_events)() = nullptr;
  const char* (*unavailable_reason)() = nullptr;
};

InputScreen* current_input();
void set_current_input(InputScreen* screen);

// The current screen's poll_events, if any.
void poll_input_events();
// Why no key or event can come: no screen, or the display's reason; null
// while the window works.
const char* input_unavailable_reason();

}  // namespace qz
