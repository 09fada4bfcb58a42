// The pointer for the mouse operations: position in the window, buttons
// (with double clicks by the platform's usual limits) and the wheel in
// notches. Positions come in logical surface units and are taken in the
// window's buffer pixels. The cursor's image is wayland_cursor.cpp's,
// confinement wayland_confine.cpp's.

#include <linux/input-event-codes.h>

#include <cstdlib>
#include <utility>

#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

namespace {

// Axis movement of one wheel notch where the compositor sends no steps
// (the value most send per step), and a notch in axis_value120's units.
constexpr double kNotch = 10.0;
constexpr int kSteps120 = 120;

std::int32_t button_bit(std::uint32_t button) {
  switch (button) {
    case BTN_LEFT: return kButtonLeft;
    case BTN_RIGHT: return kButtonRight;
    case BTN_MIDDLE: return kButtonMiddle;
    case BTN_SIDE: return kButtonX1;
    case BTN_EXTRA: return kButtonX2;
    default: return 0;
  }
}

void on_enter(void*, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  WaylandState& w = wayland();
  w.pointer_on_content = surface == w.surface;
  w.pointer_on_bar = wayland_frame_owns(surface);
  w.bar_pointer_x = wl_fixed_to_int(x);
  w.bar_pointer_y = wl_fixed_to_int(y);
  w.pointer_serial = serial;
  // The title bar shows the arrow whatever the program asked.
  if (w.pointer_on_bar) wayland_show_cursor(true);
  if (!w.pointer_on_content) return;
  wayland_show_cursor(window_input().cursor_visible != 0);
  const PicturePoint at = wayland_buffer_point(x, y);
  // Kept before the entry is posted, which carries it. Wayland tells no
  // screen position: the window's own stands for it.
  pointer_position_steps(at.x, at.y, at.x, at.y);
  window_input().cursor_in_client = 1;
  if (window_host().active && !window_input().pointer_inside) pointer_entry();
}

void on_leave(void*, wl_pointer*, std::uint32_t, wl_surface*) {
  wayland().pointer_on_bar = false;
  if (!std::exchange(wayland().pointer_on_content, false)) return;
  pointer_leave_steps();
}

void on_motion(void*, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  WaylandState& w = wayland();
  if (w.pointer_on_bar) {
    w.bar_pointer_x = wl_fixed_to_int(x);
    w.bar_pointer_y = wl_fixed_to_int(y);
  }
  if (!w.pointer_on_content) return;
  const PicturePoint at = wayland_buffer_point(x, y);
  pointer_move_steps(at.x, at.y, at.x, at.y);
}

void on_button(void*, wl_pointer*, std::uint32_t serial, std::uint32_t time, std::uint32_t button,
               std::uint32_t state) {
  WaylandState& w = wayland();
  if (w.pointer_on_bar) {
    wayland_frame_button(button, state == WL_POINTER_BUTTON_STATE_PRESSED, serial, w.bar_pointer_x, w.bar_pointer_y);
    return;
  }
  const std::int32_t bit = button_bit(button);
  if (!bit || !w.pointer_on_content) return;
  if (state != WL_POINTER_BUTTON_STATE_PRESSED) {
    button_steps(bit, false, false);
    return;
  }
  const WindowInput& input = window_input();
  button_steps(bit, true, w.clicks.press(button, time, input.pointer_x, input.pointer_y));
}

// Sends the whole notches of an axis (0 vertical, 1 horizontal) one at a
// time, as a wheel sends them; positive values scroll down and right, the
// wheel counts up for away from the user.
void send_notches(std::size_t axis, int notches) {
  for (int i = 0; i < std::abs(notches); ++i) {
    if (axis == 0)
      wheel_steps(notches > 0 ? -1 : 1);
    else
      hwheel_steps(notches > 0 ? 1 : -1);
  }
}

// The notches of a pointer frame: its wheel steps where it has them, else
// its continuous movement (a touchpad's, or a compositor's without steps).
void take_axis_frame(std::size_t axis) {
  WaylandState& w = wayland();
  WaylandState::AxisFrame& frame = w.axis_frame[axis];
  int notches = 0;
  if (frame.stepped) {
    w.steps120_left[axis] += frame.steps120;
    notches = w.steps120_left[axis] / kSteps120;
    w.steps120_left[axis] -= notches * kSteps120;
    // The movement that came with the steps is theirs.
    w.axis_left[axis] = 0;
  } else {
    w.axis_left[axis] += frame.value;
    notches = int(w.axis_left[axis] / kNotch);
    w.axis_left[axis] -= notches * kNotch;
  }
  frame = {};
  if (w.pointer_on_content) send_notches(axis, notches);
}

std::size_t axis_index(std::uint32_t axis) { return axis == WL_POINTER_AXIS_HORIZONTAL_SCROLL ? 1 : 0; }
bool known_axis(std::uint32_t axis) {
  return axis == WL_POINTER_AXIS_VERTICAL_SCROLL || axis == WL_POINTER_AXIS_HORIZONTAL_SCROLL;
}

void on_axis(void*, wl_pointer*, std::uint32_t, std::uint32_t axis, wl_fixed_t value) {
  WaylandState& w = wayland();
  if (!known_axis(axis)) return;
  w.axis_frame[axis_index(axis)].value += wl_fixed_to_double(value);
  // Before frames (seat version 5) each event stands alone.
  if (w.seat_version < WL_POINTER_FRAME_SINCE_VERSION) take_axis_frame(axis_index(axis));
}

void add_steps(std::uint32_t axis, int steps120) {
  if (!known_axis(axis)) return;
  WaylandState::AxisFrame& frame = wayland().axis_frame[axis_index(axis)];
  frame.steps120 += steps120;
  frame.stepped = true;
}
void on_axis_discrete(void*, wl_pointer*, std::uint32_t axis, std::int32_t discrete) {
  add_steps(axis, discrete * kSteps120);
}
#if defined(WL_POINTER_AXIS_VALUE120_SINCE_VERSION)
void on_axis_value120(void*, wl_pointer*, std::uint32_t axis, std::int32_t value120) { add_steps(axis, value120); }
#endif

void on_frame(void*, wl_pointer*) {
  take_axis_frame(0);
  take_axis_frame(1);
}
void on_axis_source(void*, wl_pointer*, std::uint32_t) {}
void on_axis_stop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}

// Events of later seat versions than the one bound never come.
const wl_pointer_listener kPointerListener = [] {
  wl_pointer_listener l{};
  l.enter = on_enter;
  l.leave = on_leave;
  l.motion = on_motion;
  l.button = on_button;
  l.axis = on_axis;
  l.frame = on_frame;
  l.axis_source = on_axis_source;
  l.axis_stop = on_axis_stop;
  l.axis_discrete = on_axis_discrete;
#if defined(WL_POINTER_AXIS_VALUE120_SINCE_VERSION)
  l.axis_value120 = on_axis_value120;
#endif
  return l;
}();

}  // namespace

void wayland_bind_pointer() {
  WaylandState& w = wayland();
  w.pointer = wl_seat_get_pointer(w.seat);
  wl_pointer_add_listener(w.pointer, &kPointerListener, nullptr);
  wayland_renew_confinement();
}

void wayland_release_pointer() {
  WaylandState& w = wayland();
  // Both refer to the pointer; a new pointer is confined again.
  wayland_drop_confinement();
  wayland_release_cursor();
  if (w.pointer) {
    if (w.seat_version >= WL_POINTER_RELEASE_SINCE_VERSION)
      wl_pointer_release(w.pointer);
    else
      wl_pointer_destroy(w.pointer);
  }
  w.pointer = nullptr;
}

}  // namespace qz
