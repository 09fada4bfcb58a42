#include "input/event_read.h"

#include "display/display_driver.h"
#include "display/screen_mode.h"

namespace qz {

// The window's thread posts under event_guard (post_event), without the host
// lock on some paths; the same guard orders this read against it.
bool take_event(WindowEvent& out) {
  ScreenMode* mode = current_mode();
  if (!mode) return false;
  poll_window_events();
  mode->event_guard.acquire();
  const bool have = mode->event_read != mode->event_write;
  if (have) {
    out = mode->event_ring[std::size_t(mode->event_read)];
    mode->event_read = (mode->event_read + 1) % kEventRingSize;
  }
  mode->event_guard.release();
  return have;
}

}  // namespace qz
