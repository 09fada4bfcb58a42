// Event dispatch: each X event of the window becomes the window procedure's
// steps (display/window_input.h). Runs inside the presentation pass, so with
// the host lock held.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "display/x11/x11_state.h"
#include "input/control_state.h"

namespace qz {

namespace {


struct ButtonBinding {
  unsigned int x_button;
  std::int32_t bit;
};
static constexpr ButtonBinding kButtons[] = {
    {Button1, kButtonLeft}, {Button2, kButtonMiddle}, {Button3, kButtonRight}, {8, kButtonX1}, {9, kButtonX2},
};

std::int32_t button_bit(unsigned int button) {
  for (const ButtonBinding& b : kButtons)
    if (b.x_button == button) return b.bit;
  return 0;
}

// The event's state says which modifiers were held.
std::int32_t control_state_of(const X11State& x, unsigned int state) {
  const HeldModifiers held{(state & ShiftMask) != 0, (state & ControlMask) != 0, (state & Mod1Mask) != 0,
                           x.level3_mask && (state & x.level3_mask)};
  return qz::control_state_of(held, x.vk_down);
}

bool queued_as_extended_code(const KeyMessage& message) {
  return translate_key(message.character, message.scan_code, message.virtual_key, message.control_state,
                       x11_base_character) > 255;
}

void text_steps(XKeyEvent& event) {
  for (char32_t c : x11_key_text(event)) character_steps(c, 1);
}

void on_key_press(XKeyEvent& event, bool filtered) {
  X11State& x = x11();
  // Text the input method composed arrives on a key event of its own.
  if (event.keycode == 0) {
    if (!filtered) text_steps(event);
    return;
  }
  if (event.keycode > 255) return;
  const X11Key key = x11_key_of(event.keycode);
  // With detectable auto-repeat, a press of a key that did not come up is
  // the key repeating.
  const bool repeat = x.keycode_down[event.keycode];
  x.keycode_down[event.keycode] = true;
  if (key.virtual_key) x.vk_down[key.virtual_key] = true;
  std::int32_t control_state = control_state_of(x, event.state);
  if (key.scan_code & kEnhancedKey) control_state |= kEnhancedKey;
  const std::uint16_t virtual_key = generic_virtual_key(key.virtual_key);

  if (is_mode_switch(virtual_key, control_state) && window_host().active) {
    // Only the first press switches: holding the keys must not flicker.
    if (!repeat) switch_window_mode();
    return;
  }
  KeyMessage message;
  message.character = filtered ? 0 : x11_key_character(event);
  message.scan_code = key.scan_code & 0xFF;
  message.virtual_key = virtual_key;
  message.control_state = control_state;
  message.down = true;
  message.repeat = repeat;
  key_steps(message, x11_base_character);
  // With Alt alone the key is a menu key, not text (as the keyboard's
  // system keys give no characters); AltGr counts as Ctrl+Alt and types.
  // A press that became an extended code (Shift+Tab, Ctrl+Tab, Ctrl+2) was
  // queued as that code: its text would be the same key a second time.
  if (!filtered && !alt_without_ctrl(control_state) && !queued_as_extended_code(message)) text_steps(event);
}

void forget_key(unsigned int keycode) {
  X11State& x = x11();
  x.keycode_down[keycode] = false;
  if (const std::uint16_t virtual_key = x11_key_of(keycode).virtual_key) x.vk_down[virtual_key] = false;
}

void on_key_release(XKeyEvent& event) {
  X11State& x = x11();
  if (event.keycode == 0 || event.keycode > 255) return;
  // Without detectable auto-repeat a held key sends release and press with
  // the same time; the release is then no release.
  if (!x.detectable_repeat && XEventsQueued(x.display, QueuedAfterReading)) {
    XEvent next;
    XPeekEvent(x.display, &next);
    if (next.type == KeyPress && next.xkey.keycode == event.keycode && next.xkey.time == event.time) return;
  }
  const X11Key key = x11_key_of(event.keycode);
  forget_key(event.keycode);
  KeyMessage message;
  message.character = x11_key_character(event);
  message.scan_code = key.scan_code & 0xFF;
  message.virtual_key = generic_virtual_key(key.virtual_key);
  message.control_state = control_state_of(x, event.state) | (key.scan_code & kEnhancedKey ? kEnhancedKey : 0);
  message.down = false;
  key_steps(message, x11_base_character);
}

void on_button_press(XButtonEvent& event) {
  X11State& x = x11();
  // A press can come without a movement before it (the pointer was put
  // there by a window going away, or another grab ended).
  pointer_position_steps(event.x, event.y, event.x_root, event.y_root);
  switch (event.button) {
    case Button4: wheel_steps(1); return;
    case Button5: wheel_steps(-1); return;
    case 6: hwheel_steps(-1); return;
    case 7: hwheel_steps(1); return;
    default: break;
  }
  const std::int32_t bit = button_bit(event.button);
  if (!bit) return;
  // The server's time is a 32-bit millisecond count.
  button_steps(bit, true, x.clicks.press(event.button, std::uint32_t(event.time), event.x, event.y));
}

void on_button_release(XButtonEvent& event) {
  pointer_position_steps(event.x, event.y, event.x_root, event.y_root);
  if (const std::int32_t bit = button_bit(event.button)) button_steps(bit, false, false);
}

// Focus events that only move the focus inside the window, or come from a
// grab (a window manager's key binding), change nothing.
bool real_focus_change(const XFocusChangeEvent& event) {
  return event.detail != NotifyInferior && (event.mode == NotifyNormal || event.mode == NotifyWhileGrabbed);
}

void on_focus(XFocusChangeEvent& event, bool gained) {
  X11State& x = x11();
  if (!real_focus_change(event)) return;
  if (x.ic) {
    if (gained)
      XSetICFocus(x.ic);
    else
      XUnsetICFocus(x.ic);
  }
  if (gained != (window_host().active != 0)) activation_steps(gained, false);
}

void on_client_message(XClientMessageEvent& event) {
  X11State& x = x11();
  if (event.message_type != x.atoms.wm_protocols) return;
  const Atom protocol = Atom(event.data.l[0]);
  if (protocol == x.atoms.wm_delete_window) {
    // The window stays open; the program decides.
    close_steps();
  } else if (protocol == x.atoms.net_wm_ping) {
    XEvent reply{};
    reply.xclient = event;
    reply.xclient.window = x.root;
    XSendEvent(x.display, x.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &reply);
  }
}

bool iconified(X11State& x) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool iconic = false;
  if (XGetWindowProperty(x.display, x.window, x.atoms.wm_state, 0, 2, False, x.atoms.wm_state, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32 && count >= 1)
    iconic = reinterpret_cast<long*>(data)[0] == IconicState;
  if (data) XFree(data);
  return iconic;
}

// Iconifying the fullscreen window while it is active brings the desktop's
// mode back; a window that is already windowed stays as it is.
void on_property(XPropertyEvent& event) {
  X11State& x = x11();
  const WindowHost& host = window_host();
  if (event.atom != x.atoms.wm_state || event.state != PropertyNewValue) return;
  if (host.active && (host.flags & kModeFullscreen) && iconified(x)) switch_window_mode();
}

// Another client destroyed the window while our connection lives on (a
// window manager's kill, a tool): the program hears it as a close request,
// and nothing is asked of the window any more. The resources made with it
// (GC, cursors, colormap) are still ours and go at the usual teardown.
void on_destroyed() {
  X11State& x = x11();
  x.window = 0;
  x.confine_window = 0;
  x.window_mapped = false;
  if (window_input().pointer_inside) pointer_leave_steps();
  window_input().cursor_in_client = 0;
  if (window_host().active) activation_steps(false, false);
  close_steps();
}

// The window system sized the window anew (a resizable window, fullscreen):
// the picture is fitted to the new client area and shown again.
void on_configure(const XConfigureEvent& event) {
  WindowHost& host = window_host();
  if (event.width == host.window_width && event.height == host.window_height) return;
  x11_fit_picture(event.width, event.height);
  paint_steps(0, host.height);
  if (host.mouse_clipped) x11_confine_cursor();  // to the picture's new place
}

void dispatch(XEvent& event, bool filtered) {
  X11State& x = x11();
  switch (event.type) {
    case KeyPress: on_key_press(event.xkey, filtered); break;
    case KeyRelease: on_key_release(event.xkey); break;
    case ButtonPress: on_button_press(event.xbutton); break;
    case ButtonRelease: on_button_release(event.xbutton); break;
    case MotionNotify:
      pointer_move_steps(event.xmotion.x, event.xmotion.y, event.xmotion.x_root, event.xmotion.y_root);
      break;
    case EnterNotify:
      if (event.xcrossing.mode != NotifyNormal) break;
      // No movement follows when the pointer stays where it entered (a
      // window above ours went away): the entry's place is the pointer's.
      pointer_position_steps(event.xcrossing.x, event.xcrossing.y, event.xcrossing.x_root, event.xcrossing.y_root);
      window_input().cursor_in_client = 1;
      if (window_host().active && !window_input().pointer_inside) pointer_entry();
      break;
    case LeaveNotify:
      if (event.xcrossing.mode == NotifyNormal && event.xcrossing.detail != NotifyInferior) pointer_leave_steps();
      break;
    case FocusIn: on_focus(event.xfocus, true); break;
    case FocusOut: on_focus(event.xfocus, false); break;
    case Expose: {
      const WindowHost& host = window_host();
      // Scaled, a window row is no picture row; the bars need showing too.
      if (host_picture_scaled())
        paint_steps(0, host.height);
      else
        paint_steps(event.xexpose.y, event.xexpose.y + event.xexpose.height);
      break;
    }
    case ConfigureNotify: on_configure(event.xconfigure); break;
    case MapNotify:
      x.window_mapped = true;
      // A window manager may have placed it elsewhere than it was made.
      x11_query_pointer();
      paint_steps(0, window_host().height);
      x11_activate_window();
      if (window_host().mouse_clipped) x11_confine_cursor();
      break;
    case UnmapNotify: x.window_mapped = false; break;
    // Our own destruction of a window comes after x.window changed, so
    // never reaches here.
    case DestroyNotify: on_destroyed(); break;
    case ClientMessage: on_client_message(event.xclient); break;
    case PropertyNotify: on_property(event.xproperty); break;
    default: break;
  }
}

}  // namespace

void x11_dispatch_events() {
  X11State& x = x11();
  while (XPending(x.display) > 0) {
    XEvent event;
    XNextEvent(x.display, &event);
    const bool filtered = XFilterEvent(&event, None) == True;
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      x11_load_keymap();
      continue;
    }
    // Follows a focus or pointer entry of our window; it names no window.
    if (event.type == KeymapNotify) {
      if (x.window) x11_take_keymap(event.xkeymap.key_vector);
      continue;
    }
    // Events of a window replaced by a mode switch are stale, but a key
    // that comes up there (or on the root while no window has the focus)
    // is up all the same.
    if (event.xany.window != x.window || !x.window) {
      if (event.type == KeyRelease && event.xkey.keycode < 256) forget_key(event.xkey.keycode);
      continue;
    }
    dispatch(event, filtered);
  }
}

}  // namespace qz
