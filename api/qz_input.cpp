// The public input calls: the key queue, key states, the mouse and the
// window's events.

#include <qzgfx/qzgfx.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "input/event_read.h"
#include "input/key_read.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"
#include "runtime/termination.h"

namespace {

using namespace qz;

// How often a wait for an event looks at the ring: the window's thread
// posts in passes a few milliseconds apart.
constexpr int kEventPollMs = 5;

const DisplayDriver* window_driver() {
  if (const char* why = window_unavailable_reason()) {
    fail_with(why);
    return nullptr;
  }
  return current_mode()->driver;
}

// The pointer moves in window rows, which differ from screen rows in the
// numbered modes that show each row twice.
int scanline_size() { return std::max(current_mode()->scanline_size, 1); }

int set_mouse(int x, int y, int visibility, int clip) {
  const DisplayDriver* driver = window_driver();
  if (!driver) return 1;
  if (!driver->set_mouse) {
    fail_with("the back end cannot move or change the pointer");
    return 1;
  }
  driver->set_mouse(x, y, visibility, clip);
  set_last_error(0);
  return 0;
}

qz_event public_event(const WindowEvent& e) {
  qz_event out{};
  out.type = static_cast<qz_event_type>(e.type);
  switch (e.type) {
    case kEventKeyDown:
    case kEventKeyUp:
    case kEventKeyRepeat:
      out.scan_code = e.a;
      out.character = e.b;
      break;
    case kEventPointerMove:
      out.x = e.a;
      out.y = e.b;
      out.dx = e.c;
      out.dy = e.d;
      break;
    case kEventPointerEnter:
      out.x = e.a;
      out.y = e.b;
      break;
    case kEventButtonDown:
    case kEventButtonUp:
    case kEventButtonDouble:
      out.buttons = e.a;
      out.x = e.b;
      out.y = e.c;
      break;
    case kEventWheelTurn:
    case kEventHwheelTurn:
      out.wheel = e.a;
      break;
    default:
      break;
  }
  return out;
}

bool take_public_event(qz_event* event) {
  WindowEvent e;
  if (!take_event(e)) return false;
  *event = public_event(e);
  return true;
}

}  // namespace

extern "C" {

int qz_read_key(void) {
  // Without a screen the key queue is the only source the header promises;
  // read_key would read the terminal instead.
  if (!current_mode()) {
    runtime_poll_termination();
    return 0;
  }
  const std::string bytes = read_key();
  int code = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 2; ++i) code |= int(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return code;
}

int qz_key_pending(void) { return current_mode() && key_pending() != 0 ? 1 : 0; }

int qz_wait_key(void) {
  runtime_poll_termination();
  if (!current_mode()) {
    fail_with("no key can come: no screen is open");
    return 0;
  }
  const int code = wait_key();
  if (code != 0) set_last_error(0);
  return code;
}

int qz_key_down(int scan_code) { return key_is_down(scan_code) != 0 ? 1 : 0; }

int qz_get_mouse(qz_mouse* mouse) {
  if (!mouse) {
    fail_with("qz_get_mouse: mouse is NULL");
    return 1;
  }
  const DisplayDriver* driver = window_driver();
  if (!driver) return 1;
  poll_window_events();
  qz_mouse m{};
  if (!driver->get_mouse || driver->get_mouse(&m.x, &m.y, &m.wheel, &m.buttons, &m.confined) != 0) {
    fail_with("the pointer is not over the window");
    return 1;
  }
  *mouse = m;
  set_last_error(0);
  return 0;
}

int qz_set_mouse(int x, int y) {
  if (!window_driver()) return 1;
  const ScreenMode& mode = *current_mode();
  // Clamped here as well: the driver reads kNotGiven as "leave it".
  const int to_x = std::clamp(x, 0, std::max(mode.width - 1, 0));
  const int to_y = std::clamp(y, 0, std::max(mode.height - 1, 0)) * scanline_size();
  return set_mouse(to_x, to_y, -1, -1);
}

int qz_show_mouse(int visible) { return set_mouse(kNotGiven, kNotGiven, visible ? 1 : 0, -1); }

int qz_confine_mouse(int confined) { return set_mouse(kNotGiven, kNotGiven, -1, confined ? 1 : 0); }

int qz_poll_event(qz_event* event) {
  if (!event) {
    fail_with("qz_poll_event: event is NULL");
    return 0;
  }
  *event = qz_event{};
  return take_public_event(event) ? 1 : 0;
}

int qz_wait_event(qz_event* event, int timeout_ms) {
  if (!event) {
    fail_with("qz_wait_event: event is NULL");
    return 0;
  }
  *event = qz_event{};
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    runtime_poll_termination();
    if (take_public_event(event)) return 1;
    // Events already queued are still taken after the window went away.
    if (const char* why = window_unavailable_reason()) {
      fail_with(why);
      return 0;
    }
    const auto now = Clock::now();
    if (timeout_ms >= 0 && now >= deadline) return 0;
    auto slice = std::chrono::milliseconds(kEventPollMs);
    if (timeout_ms >= 0)
      slice = std::min(slice, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    std::this_thread::sleep_for(slice);
  }
}

}  // extern "C"
