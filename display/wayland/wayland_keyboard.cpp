// The keyboard through xkbcommon: the compositor's keymap read into the
// shared key table (input/keysym_keys.h) by the keys' XKB names, so that a
// key gives the same codes as under X11; the text of a press from the key's
// symbol with the modifiers held, dead keys and compose sequences through the
// locale's compose table (as the X input method does); and the repeat of a
// held key, which on Wayland is the client's, at the rate and delay the
// compositor announces.

#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cstdlib>

#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "input/control_state.h"

namespace qz {

namespace {

// xkbcommon numbers keys as X does: the kernel's key code + 8.
constexpr std::uint32_t kEvdevOffset = 8;

std::uint16_t base_character(std::uint16_t virtual_key) { return wayland().keys.base_character(virtual_key); }

bool modifier_active(const WaylandState& w, xkb_mod_index_t index) {
  return index != XKB_MOD_INVALID && xkb_state_mod_index_is_active(w.key_state, index, XKB_STATE_MODS_EFFECTIVE) > 0;
}

// The keymap's state says which modifiers are held.
std::int32_t control_state_of(const WaylandState& w) {
  if (!w.key_state) return 0;
  const HeldModifiers held{modifier_active(w, w.shift_index), modifier_active(w, w.ctrl_index),
                           modifier_active(w, w.alt_index), modifier_active(w, w.level3_index)};
  return qz::control_state_of(held, w.vk_down);
}

// The key's text with the modifiers held (0: none): Delete types nothing,
// Shift+Tab is a tab.
char32_t text_of(const WaylandState& w, std::uint32_t keycode) {
  const xkb_keysym_t keysym = xkb_state_key_get_one_sym(w.key_state, keycode);
  if (keysym_types_nothing(keysym)) return 0;
  if (keysym == XKB_KEY_ISO_Left_Tab) return U'\t';
  return xkb_state_key_get_utf32(w.key_state, keycode);
}

// The text of a press after the compose sequence has seen it: none while a
// sequence goes on or when it breaks off, the sequence's result when it ends.
char32_t composed_text(WaylandState& w, std::uint32_t keycode, char32_t text) {
  if (!w.compose || xkb_compose_state_feed(w.compose, xkb_state_key_get_one_sym(w.key_state, keycode)) ==
                        XKB_COMPOSE_FEED_IGNORED)
    return text;
  switch (xkb_compose_state_get_status(w.compose)) {
    case XKB_COMPOSE_COMPOSING: return 0;
    case XKB_COMPOSE_CANCELLED: xkb_compose_state_reset(w.compose); return 0;
    case XKB_COMPOSE_COMPOSED: {
      // One character, as every key gives; longer results have no symbol.
      const char32_t result = xkb_keysym_to_utf32(xkb_compose_state_get_one_sym(w.compose));
      xkb_compose_state_reset(w.compose);
      return result;
    }
    default: return text;
  }
}

// The compose table of the user's locale, as the C library would pick it
// (the library reads the variables and changes no locale of the program's).
xkb_compose_state* new_compose_state(xkb_context* context) {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
    if (const char* value = std::getenv(name); !locale && value && *value) locale = value;
  xkb_compose_table* table = xkb_compose_table_new_from_locale(context, locale ? locale : "C", XKB_COMPOSE_COMPILE_NO_FLAGS);
  if (!table) return nullptr;
  xkb_compose_state* state = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
  xkb_compose_table_unref(table);
  return state;
}

void set_key_down(WaylandState& w, std::uint32_t keycode, bool down) {
  w.keycode_down[keycode] = down;
  if (const std::uint16_t virtual_key = w.keys.key(keycode).virtual_key) w.vk_down[virtual_key] = down;
}

void arm_repeat(WaylandState& w, std::uint32_t keycode) {
  if (w.repeat_timer < 0) return;
  itimerspec timer{};
  if (keycode && w.repeat_rate > 0) {
    const long interval_ns = 1000000000L / w.repeat_rate;
    timer.it_interval = {interval_ns / 1000000000L, interval_ns % 1000000000L};
    timer.it_value = {w.repeat_delay / 1000, long(w.repeat_delay % 1000) * 1000000L};
    if (timer.it_value.tv_sec == 0 && timer.it_value.tv_nsec == 0) timer.it_value.tv_nsec = 1;
  } else {
    keycode = 0;
  }
  w.repeat_keycode = keycode;
  timerfd_settime(w.repeat_timer, 0, &timer, nullptr);
}

void key_press(std::uint32_t keycode, bool repeat) {
  WaylandState& w = wayland();
  const KeysymKey key = w.keys.key(keycode);
  set_key_down(w, keycode, true);
  std::int32_t control_state = control_state_of(w);
  if (key.scan_code & kEnhancedKey) control_state |= kEnhancedKey;
  const std::uint16_t virtual_key = generic_virtual_key(key.virtual_key);
  if (is_mode_switch(virtual_key, control_state) && window_host().active) {
    // Only the first press switches: holding the keys must not flicker.
    // The switch makes a new window, so it waits until the dispatch of this
    // event has returned (wayland_host.cpp).
    if (!repeat) w.switch_due = true;
    return;
  }
  // A repeat does not step through a sequence again.
  const char32_t text = repeat ? text_of(w, keycode) : composed_text(w, keycode, text_of(w, keycode));
  KeyMessage message;
  message.character = text <= 0xFF ? std::uint8_t(text) : 0;
  message.scan_code = key.scan_code & 0xFF;
  message.virtual_key = virtual_key;
  message.control_state = control_state;
  message.down = true;
  message.repeat = repeat;
  key_steps(message, base_character);
  // With Alt alone the key is a menu key, not text; AltGr counts as Ctrl+Alt and types.
  if (text && !alt_without_ctrl(control_state)) character_steps(text, 1);
}

void key_release(std::uint32_t keycode) {
  WaylandState& w = wayland();
  const KeysymKey key = w.keys.key(keycode);
  set_key_down(w, keycode, false);
  if (w.repeat_keycode == keycode) arm_repeat(w, 0);
  const char32_t text = text_of(w, keycode);
  KeyMessage message;
  message.character = text <= 0xFF ? std::uint8_t(text) : 0;
  message.scan_code = key.scan_code & 0xFF;
  message.virtual_key = generic_virtual_key(key.virtual_key);
  message.control_state = control_state_of(w) | (key.scan_code & kEnhancedKey ? kEnhancedKey : 0);
  message.down = false;
  key_steps(message, base_character);
}

void load_keymap(WaylandState& w, xkb_keymap* keymap) {
  if (w.key_state) xkb_state_unref(w.key_state);
  if (w.keymap) xkb_keymap_unref(w.keymap);
  w.keymap = keymap;
  w.key_state = xkb_state_new(keymap);
  w.shift_index = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
  w.ctrl_index = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
  w.alt_index = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_ALT);
  // AltGr (ISO_Level3_Shift) sets Mod5 in the keymaps compositors send.
  w.level3_index = xkb_keymap_mod_get_index(keymap, "Mod5");
  w.keys.clear();
  const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap), 255);
  for (xkb_keycode_t code = std::max<xkb_keycode_t>(xkb_keymap_min_keycode(keymap), 1); code <= last; ++code) {
    const xkb_keysym_t* symbols = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &symbols);
    const char* name = xkb_keymap_key_get_name(keymap, code);
    w.keys.add(code, count > 0 ? symbols[0] : 0, name ? scan_code_of_key_name(name) : 0);
  }
}

void on_keymap(void*, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
  WaylandState& w = wayland();
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
    close(fd);
    return;
  }
  void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (text == MAP_FAILED) return;
  xkb_keymap* keymap = xkb_keymap_new_from_buffer(w.xkb, static_cast<const char*>(text), size - 1,
                                                  XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  munmap(text, size);
  if (keymap) load_keymap(w, keymap);
}

void on_enter(void*, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array* keys) {
  WaylandState& w = wayland();
  if (surface != w.surface) return;
  w.keycode_down.fill(false);
  w.vk_down.fill(false);
  // Keys pressed elsewhere and still held.
  const auto* held = static_cast<const std::uint32_t*>(keys->data);
  for (std::size_t i = 0; i < keys->size / sizeof(std::uint32_t); ++i)
    if (held[i] + kEvdevOffset < 256) set_key_down(w, held[i] + kEvdevOffset, true);
  if (!window_host().active) activation_steps(true, false);
}

void on_leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {
  WaylandState& w = wayland();
  arm_repeat(w, 0);
  w.keycode_down.fill(false);
  w.vk_down.fill(false);
  if (window_host().active) activation_steps(false, false);
}

void on_key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
  WaylandState& w = wayland();
  const std::uint32_t keycode = key + kEvdevOffset;
  if (keycode >= 256 || !w.key_state) return;
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
    const bool repeat = w.keycode_down[keycode];
    key_press(keycode, repeat);
    if (!repeat && xkb_keymap_key_repeats(w.keymap, keycode)) arm_repeat(w, keycode);
  } else {
    key_release(keycode);
  }
}

void on_modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                  std::uint32_t locked, std::uint32_t group) {
  WaylandState& w = wayland();
  if (w.key_state) xkb_state_update_mask(w.key_state, depressed, latched, locked, 0, 0, group);
}

void on_repeat_info(void*, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
  WaylandState& w = wayland();
  w.repeat_rate = rate > 0 ? std::min(rate, 1000) : 0;
  w.repeat_delay = delay > 0 ? delay : 0;
}

const wl_keyboard_listener kKeyboardListener = {on_keymap, on_enter, on_leave, on_key, on_modifiers, on_repeat_info};

}  // namespace

void wayland_bind_keyboard() {
  WaylandState& w = wayland();
  if (!w.xkb) w.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (w.xkb && !w.compose) w.compose = new_compose_state(w.xkb);
  if (w.repeat_timer < 0) w.repeat_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  w.keyboard = wl_seat_get_keyboard(w.seat);
  wl_keyboard_add_listener(w.keyboard, &kKeyboardListener, nullptr);
}

void wayland_release_keyboard() {
  WaylandState& w = wayland();
  if (w.keyboard) {
    if (w.seat_version >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
      wl_keyboard_release(w.keyboard);
    else
      wl_keyboard_destroy(w.keyboard);
  }
  if (w.key_state) xkb_state_unref(w.key_state);
  if (w.keymap) xkb_keymap_unref(w.keymap);
  if (w.compose) xkb_compose_state_unref(w.compose);
  if (w.xkb) xkb_context_unref(w.xkb);
  if (w.repeat_timer >= 0) close(w.repeat_timer);
  w.keyboard = nullptr;
  w.key_state = nullptr;
  w.keymap = nullptr;
  w.compose = nullptr;
  w.xkb = nullptr;
  w.repeat_timer = -1;
  w.repeat_keycode = 0;
  w.keys.clear();
}

void wayland_repeat_key() {
  WaylandState& w = wayland();
  std::uint64_t expirations = 0;
  if (w.repeat_timer < 0 || read(w.repeat_timer, &expirations, sizeof expirations) != sizeof expirations) return;
  // A pass late by several intervals repeats once: a held key never floods the queue.
  if (w.repeat_keycode && w.keycode_down[w.repeat_keycode] && w.key_state) key_press(w.repeat_keycode, true);
}

void wayland_refresh_key_state(std::uint8_t* key_state) {
  const WaylandState& w = wayland();
  w.keys.fill_key_state(w.keycode_down, key_state);
}

}  // namespace qz
