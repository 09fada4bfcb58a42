// The X keyboard: the server's keymap read into the shared key table
// (input/keysym_keys.h) by the keys' XKB names, and the text of a key press
// from the input method (dead keys and compose sequences included).

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "display/x11/x11_state.h"
#include "input/key_translate.h"
#include "input/keysym_keys.h"

namespace qz {

namespace {

// Built and read on the driver thread only.
KeysymKeyTable g_keys;

std::u32string decode_utf8(const char* text, int length) {
  std::u32string out;
  for (int i = 0; i < length;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || (extra > 0 && i + extra >= length)) {
      out.push_back(U'?');
      ++i;
      continue;
    }
    char32_t value = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out.push_back(value);
    i += extra + 1;
  }
  return out;
}

unsigned int level3_mask_of(Display* display) {
  XModifierKeymap* map = XGetModifierMapping(display);
  unsigned int mask = 0;
  for (int modifier = 0; modifier < 8 && map; ++modifier)
    for (int k = 0; k < map->max_keypermod; ++k) {
      const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
      if (!code) continue;
      const KeySym keysym = XkbKeycodeToKeysym(display, code, 0, 0);
      if (keysym == XK_ISO_Level3_Shift || keysym == XK_Mode_switch) mask |= 1u << modifier;
    }
  if (map) XFreeModifiermap(map);
  // Where AltGr is Alt itself there is nothing to tell apart.
  return mask == Mod1Mask ? 0 : mask & ~unsigned(Mod1Mask);
}

// Scan codes by keycode from the keyboard's XKB key names; all zero when
// the server gives no names.
std::array<std::uint16_t, 256> scan_codes_by_name(Display* display) {
  std::array<std::uint16_t, 256> scan_codes{};
  XkbDescPtr keyboard = XkbGetMap(display, 0, XkbUseCoreKbd);
  if (!keyboard) return scan_codes;
  if (XkbGetNames(display, XkbKeyNamesMask, keyboard) == Success && keyboard->names && keyboard->names->keys) {
    for (unsigned code = keyboard->min_key_code; code <= keyboard->max_key_code && code < 256; ++code) {
      const char* name = keyboard->names->keys[code].name;
      char terminated[XkbKeyNameLength + 1] = {};
      std::memcpy(terminated, name, XkbKeyNameLength);
      scan_codes[code] = scan_code_of_key_name(terminated);
    }
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return scan_codes;
}

}  // namespace

void x11_load_keymap() {
  X11State& x = x11();
  g_keys.clear();
  int min_code = 0, max_code = 0;
  XDisplayKeycodes(x.display, &min_code, &max_code);
  const std::array<std::uint16_t, 256> named = scan_codes_by_name(x.display);
  const bool have_names = std::any_of(named.begin(), named.end(), [](std::uint16_t s) { return s != 0; });
  for (int code = std::max(min_code, 1); code <= std::min(max_code, 255); ++code) {
    const KeySym keysym = XkbKeycodeToKeysym(x.display, KeyCode(code), 0, 0);
    g_keys.add(unsigned(code), std::uint32_t(keysym),
               have_names ? named[std::size_t(code)] : scan_code_of_keycode(unsigned(code)));
  }
  x.level3_mask = level3_mask_of(x.display);
}

X11Key x11_key_of(unsigned int keycode) { return g_keys.key(keycode); }

std::uint16_t x11_base_character(std::uint16_t virtual_key) { return g_keys.base_character(virtual_key); }

void x11_take_keymap(const char (&key_vector)[32]) {
  X11State& x = x11();
  x.vk_down.fill(false);
  for (unsigned code = 0; code < 256; ++code) {
    const bool down = static_cast<unsigned char>(key_vector[code / 8]) & (1u << (code % 8));
    x.keycode_down[code] = down;
    if (down && g_keys.key(code).virtual_key) x.vk_down[g_keys.key(code).virtual_key] = true;
  }
}

void x11_refresh_key_state(std::uint8_t* key_state) { g_keys.fill_key_state(x11().keycode_down, key_state); }

void x11_open_input_method() {
  X11State& x = x11();
  // The built-in method handles dead keys and compose sequences; an input
  // method server could hold keys back or answer slowly.
  XSetLocaleModifiers("@im=none");
  x.im = XOpenIM(x.display, nullptr, nullptr, nullptr);
}

void x11_close_input_method() {
  X11State& x = x11();
  if (x.im) XCloseIM(x.im);
  x.im = nullptr;
}

void x11_create_input_context() {
  X11State& x = x11();
  if (!x.im || !x.window) return;
  x.ic = XCreateIC(x.im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, x.window,
                   XNFocusWindow, x.window, nullptr);
}

void x11_destroy_input_context() {
  X11State& x = x11();
  if (x.ic) XDestroyIC(x.ic);
  x.ic = nullptr;
}

std::uint8_t x11_key_character(XKeyEvent& event) {
  char text[8] = {};
  KeySym keysym = NoSymbol;
  const int n = XLookupString(&event, text, sizeof text, &keysym, nullptr);
  if (keysym_types_nothing(keysym)) return 0;
  if (keysym == XK_ISO_Left_Tab) return 9;
  return n == 1 ? static_cast<std::uint8_t>(text[0]) : 0;
}

std::u32string x11_key_text(XKeyEvent& event) {
  X11State& x = x11();
  KeySym keysym = NoSymbol;
  std::u32string text;
  if (x.ic) {
    std::string buffer(32, '\0');
    Status status = 0;
    int n = Xutf8LookupString(x.ic, &event, buffer.data(), int(buffer.size()), &keysym, &status);
    if (status == XBufferOverflow) {
      buffer.resize(std::size_t(n) + 1);
      n = Xutf8LookupString(x.ic, &event, buffer.data(), int(buffer.size()), &keysym, &status);
    }
    if (status == XLookupChars || status == XLookupBoth) text = decode_utf8(buffer.data(), n);
  } else {
    char buffer[32] = {};
    const int n = XLookupString(&event, buffer, sizeof buffer, &keysym, nullptr);
    for (int i = 0; i < n; ++i) text.push_back(static_cast<unsigned char>(buffer[i]));
  }
  if (event.keycode != 0 && keysym_types_nothing(keysym)) return {};
  if (text.empty() && keysym == XK_ISO_Left_Tab) text.push_back(U'\t');
  return text;
}

}  // namespace qz
