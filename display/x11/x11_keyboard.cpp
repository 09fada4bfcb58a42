// The keyboard as the key tables see it: X keycodes become PC scan codes by
// the keys' XKB names, which stay the same whatever keycode numbers the
// server uses (without names: keycode - 8 for scan codes 1..88), other
// enhanced keys by their key symbol; the key symbol of level 0 becomes the
// virtual key and the key's base character, and the text of a key press
// comes from the input method (dead keys and compose sequences included).

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

namespace qz {

namespace {

constexpr unsigned int kFirstScanKeycode = 9;   // scan code 1
constexpr unsigned int kLastScanKeycode = 96;   // scan code 88
constexpr unsigned int kKeycodeOffset = 8;
constexpr std::uint16_t kVkClear = 0x0C, kVkSnapshot = 0x2C, kVkOem102 = 0xE2;

struct KeysymKey {
  KeySym keysym;
  std::uint16_t virtual_key;
};

// Virtual keys of the key symbols that are not letters, digits or F keys.
static constexpr KeysymKey kVirtualKeys[] = {
    {XK_BackSpace, vk::kBack}, {XK_Tab, vk::kTab}, {XK_ISO_Left_Tab, vk::kTab}, {XK_Return, vk::kReturn},
    {XK_Pause, vk::kPause}, {XK_Escape, vk::kEscape}, {XK_space, vk::kSpace}, {XK_Prior, vk::kPrior},
    {XK_Next, vk::kNext}, {XK_End, vk::kEnd}, {XK_Home, vk::kHome}, {XK_Left, vk::kLeft}, {XK_Up, vk::kUp},
    {XK_Right, vk::kRight}, {XK_Down, vk::kDown}, {XK_Print, kVkSnapshot}, {XK_Insert, vk::kInsert},
    {XK_Delete, vk::kDelete}, {XK_Menu, vk::kApps}, {XK_Super_L, vk::kLWin}, {XK_Super_R, vk::kRWin},
    {XK_Caps_Lock, vk::kCapital}, {XK_Num_Lock, vk::kNumlock}, {XK_Scroll_Lock, vk::kScroll},
    {XK_Shift_L, vk::kLShift}, {XK_Shift_R, vk::kRShift}, {XK_Control_L, vk::kLControl},
    {XK_Control_R, vk::kRControl}, {XK_Alt_L, vk::kLMenu}, {XK_Meta_L, vk::kLMenu}, {XK_Alt_R, vk::kRMenu},
    {XK_Meta_R, vk::kRMenu}, {XK_ISO_Level3_Shift, vk::kRMenu}, {XK_Mode_switch, vk::kRMenu},
    {XK_KP_Home, vk::kHome}, {XK_KP_Up, vk::kUp}, {XK_KP_Prior, vk::kPrior}, {XK_KP_Left, vk::kLeft},
    {XK_KP_Begin, kVkClear}, {XK_KP_Right, vk::kRight}, {XK_KP_End, vk::kEnd}, {XK_KP_Down, vk::kDown},
    {XK_KP_Next, vk::kNext}, {XK_KP_Insert, vk::kInsert}, {XK_KP_Delete, vk::kDelete},
    {XK_KP_Multiply, vk::kMultiply}, {XK_KP_Add, vk::kAdd}, {XK_KP_Subtract, vk::kSubtract},
    {XK_KP_Decimal, vk::kDecimal}, {XK_KP_Divide, vk::kDivide}, {XK_KP_Enter, vk::kReturn},
    {XK_semicolon, vk::kOem1}, {XK_equal, vk::kOemPlus}, {XK_comma, vk::kOemComma}, {XK_minus, vk::kOemMinus},
    {XK_period, vk::kOemPeriod}, {XK_slash, vk::kOem2}, {XK_grave, vk::kOem3}, {XK_bracketleft, vk::kOem4},
    {XK_backslash, vk::kOem5}, {XK_bracketright, vk::kOem6}, {XK_apostrophe, vk::kOem7}, {XK_less, kVkOem102},
};

struct EnhancedKey {
  KeySym keysym;
  std::uint16_t scan_code;
};

// Keys that a PC keyboard sends with the E0 prefix, by their level-0 symbol.
static constexpr EnhancedKey kEnhancedKeys[] = {
    {XK_KP_Enter, 28}, {XK_Control_R, 29}, {XK_KP_Divide, 53}, {XK_Print, 55}, {XK_Alt_R, 56},
    {XK_ISO_Level3_Shift, 56}, {XK_Home, 71}, {XK_Up, 72}, {XK_Prior, 73}, {XK_Left, 75}, {XK_Right, 77},
    {XK_End, 79}, {XK_Down, 80}, {XK_Next, 81}, {XK_Insert, 82}, {XK_Delete, 83}, {XK_Super_L, 91},
    {XK_Super_R, 92}, {XK_Menu, 93},
};

struct NamedKey {
  char name[XkbKeyNameLength + 1];
  std::uint16_t scan_code;
};

// PC scan codes by XKB key name; the enhanced ones carry kEnhancedKey.
static constexpr NamedKey kNamedKeys[] = {
    {"ESC", 1}, {"AE01", 2}, {"AE02", 3}, {"AE03", 4}, {"AE04", 5}, {"AE05", 6}, {"AE06", 7}, {"AE07", 8},
    {"AE08", 9}, {"AE09", 10}, {"AE10", 11}, {"AE11", 12}, {"AE12", 13}, {"BKSP", 14}, {"TAB", 15},
    {"AD01", 16}, {"AD02", 17}, {"AD03", 18}, {"AD04", 19}, {"AD05", 20}, {"AD06", 21}, {"AD07", 22},
    {"AD08", 23}, {"AD09", 24}, {"AD10", 25}, {"AD11", 26}, {"AD12", 27}, {"RTRN", 28}, {"LCTL", 29},
    {"AC01", 30}, {"AC02", 31}, {"AC03", 32}, {"AC04", 33}, {"AC05", 34}, {"AC06", 35}, {"AC07", 36},
    {"AC08", 37}, {"AC09", 38}, {"AC10", 39}, {"AC11", 40}, {"TLDE", 41}, {"LFSH", 42}, {"BKSL", 43},
    {"AC12", 43}, {"AB01", 44}, {"AB02", 45}, {"AB03", 46}, {"AB04", 47}, {"AB05", 48}, {"AB06", 49},
    {"AB07", 50}, {"AB08", 51}, {"AB09", 52}, {"AB10", 53}, {"RTSH", 54}, {"KPMU", 55}, {"LALT", 56},
    {"SPCE", 57}, {"CAPS", 58}, {"FK01", 59}, {"FK02", 60}, {"FK03", 61}, {"FK04", 62}, {"FK05", 63},
    {"FK06", 64}, {"FK07", 65}, {"FK08", 66}, {"FK09", 67}, {"FK10", 68}, {"NMLK", 69}, {"SCLK", 70},
    {"KP7", 71}, {"KP8", 72}, {"KP9", 73}, {"KPSU", 74}, {"KP4", 75}, {"KP5", 76}, {"KP6", 77},
    {"KPAD", 78}, {"KP1", 79}, {"KP2", 80}, {"KP3", 81}, {"KP0", 82}, {"KPDL", 83}, {"LVL3", 84},
    {"LSGT", 86}, {"FK11", 87}, {"FK12", 88},
    {"KPEN", 28 | kEnhancedKey}, {"RCTL", 29 | kEnhancedKey}, {"KPDV", 53 | kEnhancedKey},
    {"PRSC", 55 | kEnhancedKey}, {"RALT", 56 | kEnhancedKey}, {"HOME", 71 | kEnhancedKey},
    {"UP", 72 | kEnhancedKey}, {"PGUP", 73 | kEnhancedKey}, {"LEFT", 75 | kEnhancedKey},
    {"RGHT", 77 | kEnhancedKey}, {"END", 79 | kEnhancedKey}, {"DOWN", 80 | kEnhancedKey},
    {"PGDN", 81 | kEnhancedKey}, {"INS", 82 | kEnhancedKey}, {"DELE", 83 | kEnhancedKey},
    {"LWIN", 91 | kEnhancedKey}, {"RWIN", 92 | kEnhancedKey}, {"COMP", 93 | kEnhancedKey},
    {"MENU", 93 | kEnhancedKey},
};

struct KeyboardMap {
  std::array<X11Key, 256> keys{};                  // by keycode
  std::array<std::uint8_t, 256> base_characters{};  // by virtual key
  bool loaded = false;
};
// Built and read on the driver thread only.
KeyboardMap g_map;

std::uint16_t virtual_key_of(KeySym keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return std::uint16_t('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return std::uint16_t(keysym);
  if (keysym >= XK_0 && keysym <= XK_9) return std::uint16_t(keysym);
  if (keysym >= XK_F1 && keysym <= XK_F24) return std::uint16_t(vk::kF1 + (keysym - XK_F1));
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return std::uint16_t(vk::kNumpad0 + (keysym - XK_KP_0));
  for (const KeysymKey& k : kVirtualKeys)
    if (k.keysym == keysym) return k.virtual_key;
  return 0;
}

// The character a key symbol stands for in Latin-1, control keys included.
std::uint8_t character_of(KeySym keysym) {
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return std::uint8_t(keysym);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return std::uint8_t('0' + (keysym - XK_KP_0));
  switch (keysym) {
    case XK_BackSpace: return 8;
    case XK_Tab: case XK_ISO_Left_Tab: case XK_KP_Tab: return 9;
    case XK_Return: case XK_KP_Enter: return 13;
    case XK_Escape: return 27;
    case XK_KP_Space: return ' ';
    case XK_KP_Multiply: return '*';
    case XK_KP_Add: return '+';
    case XK_KP_Subtract: return '-';
    case XK_KP_Decimal: return '.';
    case XK_KP_Divide: return '/';
    default: return 0;
  }
}

// Keys whose text Xlib gives but the keyboard's character path does not:
// Delete types nothing.
bool types_nothing(KeySym keysym) { return keysym == XK_Delete || keysym == XK_KP_Delete; }

// The virtual key of the row that names a scan code first.
std::uint16_t virtual_key_at(std::uint16_t scan_code) {
  for (const ScanCodeRow& row : kScanCodeTable)
    if (row.scan_code == scan_code) return row.first_key;
  return 0;
}

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
      for (const NamedKey& k : kNamedKeys)
        if (std::strncmp(name, k.name, XkbKeyNameLength) == 0) scan_codes[code] = k.scan_code;
    }
  }
  XkbFreeKeyboard(keyboard, 0, True);
  return scan_codes;
}

}  // namespace

void x11_load_keymap() {
  X11State& x = x11();
  g_map = KeyboardMap{};
  int min_code = 0, max_code = 0;
  XDisplayKeycodes(x.display, &min_code, &max_code);
  const std::array<std::uint16_t, 256> named = scan_codes_by_name(x.display);
  const bool have_names = std::any_of(named.begin(), named.end(), [](std::uint16_t s) { return s != 0; });
  for (int code = std::max(min_code, 1); code <= std::min(max_code, 255); ++code) {
    const KeySym keysym = XkbKeycodeToKeysym(x.display, KeyCode(code), 0, 0);
    X11Key& key = g_map.keys[std::size_t(code)];
    if (have_names)
      key.scan_code = named[std::size_t(code)];
    else if (unsigned(code) >= kFirstScanKeycode && unsigned(code) <= kLastScanKeycode)
      key.scan_code = std::uint16_t(unsigned(code) - kKeycodeOffset);
    // A second key of the same symbol (a multimedia keyboard's own Print key)
    // is that enhanced key too.
    if (!key.scan_code)
      for (const EnhancedKey& e : kEnhancedKeys)
        if (e.keysym == keysym) key.scan_code = std::uint16_t(e.scan_code | kEnhancedKey);
    key.virtual_key = virtual_key_of(keysym);
    // A symbol without a virtual key of its own (a letter of another
    // alphabet) takes the one of its position on the PC keyboard.
    if (!key.virtual_key && keysym != NoSymbol && !(key.scan_code & kEnhancedKey))
      key.virtual_key = virtual_key_at(key.scan_code);
    std::uint8_t base = character_of(keysym);
    if (base >= 'a' && base <= 'z') base = std::uint8_t(base - 'a' + 'A');
    if (key.virtual_key && !g_map.base_characters[key.virtual_key]) g_map.base_characters[key.virtual_key] = base;
  }
  x.level3_mask = level3_mask_of(x.display);
  g_map.loaded = true;
}

X11Key x11_key_of(unsigned int keycode) { return keycode < 256 ? g_map.keys[keycode] : X11Key{}; }

std::uint16_t x11_generic_key(std::uint16_t virtual_key) {
  switch (virtual_key) {
    case vk::kLShift: case vk::kRShift: return vk::kShift;
    case vk::kLControl: case vk::kRControl: return vk::kControl;
    case vk::kLMenu: case vk::kRMenu: return vk::kMenu;
    default: return virtual_key;
  }
}

std::uint16_t x11_base_character(std::uint16_t virtual_key) {
  if (!g_map.loaded) return us_base_character(virtual_key);
  return virtual_key < 256 ? g_map.base_characters[virtual_key] : 0;
}

void x11_take_keymap(const char (&key_vector)[32]) {
  X11State& x = x11();
  x.vk_down.fill(false);
  for (unsigned code = 0; code < 256; ++code) {
    const bool down = static_cast<unsigned char>(key_vector[code / 8]) & (1u << (code % 8));
    x.keycode_down[code] = down;
    if (down && g_map.keys[code].virtual_key) x.vk_down[g_map.keys[code].virtual_key] = true;
  }
}

void x11_refresh_key_state(std::uint8_t* key_state) {
  const X11State& x = x11();
  std::array<bool, 256> down{};
  for (unsigned code = 0; code < 256; ++code) {
    if (!x.keycode_down[code]) continue;
    const std::uint16_t virtual_key = g_map.keys[code].virtual_key;
    if (!virtual_key) continue;
    down[virtual_key] = true;
    down[x11_generic_key(virtual_key)] = true;
  }
  for (const ScanCodeRow& row : kScanCodeTable)
    key_state[row.scan_code] = down[row.first_key] || (row.second_key && down[row.second_key]) ? 1 : 0;
}

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
  if (types_nothing(keysym)) return 0;
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
  if (event.keycode != 0 && types_nothing(keysym)) return {};
  if (text.empty() && keysym == XK_ISO_Left_Tab) text.push_back(U'\t');
  return text;
}

}  // namespace qz
