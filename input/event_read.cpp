#include "input/event_read.h"

#include "input/input_screen.h"

namespace qz {

// The window's thread posts under event_guard (post_event), without the host
// lock on some paths; the same guard orders this read against it.
bool take_event(WindowEvent& out) {
  InputScreen* input = current_input();
  if (!input) return false;
  poll_input_events();
  input->event_guard.acquire();
  const bool have = input->event_read != input->event_write;
  if (have) {
    out = input->event_ring[std::size_t(input->event_read)];
    input->event_read = (input->event_read + 1) % kEventRingSize;
  }
  input->event_guard.release();
  return have;
}

}  // namespace qz
