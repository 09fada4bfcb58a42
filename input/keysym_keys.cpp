// Key symbols, XKB key names and keycodes as the key tables see them.
// Key symbols have the same values in Xlib and xkbcommon.

#include "input/keysym_keys.h"

#include <X11/keysym.h>

#include <cstring>

#include "input/key_translate.h"

namespace qz {

namespace {

constexpr unsigned int kFirstScanKeycode = 9;   // scan code 1
constexpr unsigned int kLastScanKeycode = 96;   // scan code 88
constexpr unsigned int kKeycodeOffset = 8;
constexpr std::uint16_t kVkClear = 0x0C, kVkSnapshot = 0x2C, kVkOem102 = 0xE2;

struct KeysymVirtualKey {
  std::uint32_t keysym;
  std::uint16_t virtual_key;
};

// Virtual keys of the key symbols that are not letters, digits or F keys.
constexpr KeysymVirtualKey kVirtualKeys[] = {
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
  std::uint32_t keysym;
  std::uint16_t scan_code;
};

// Keys that a PC keyboard sends with the E0 prefix, by their level-0 symbol.
constexpr EnhancedKey kEnhancedKeys[] = {
    {XK_KP_Enter, 28}, {XK_Control_R, 29}, {XK_KP_Divide, 53}, {XK_Print, 55}, {XK_Alt_R, 56},
    {XK_ISO_Level3_Shift, 56}, {XK_Home, 71}, {XK_Up, 72}, {XK_Prior, 73}, {XK_Left, 75}, {XK_Right, 77},
    {XK_End, 79}, {XK_Down, 80}, {XK_Next, 81}, {XK_Insert, 82}, {XK_Delete, 83}, {XK_Super_L, 91},
    {XK_Super_R, 92}, {XK_Menu, 93},
};

struct NamedKey {
  char name[5];  // XKB key names have at most four letters
  std::uint16_t scan_code;
};

// PC scan codes by XKB key name; the enhanced ones carry kEnhancedKey.
constexpr NamedKey kNamedKeys[] = {
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

std::uint16_t virtual_key_of(std::uint32_t keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return std::uint16_t('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return std::uint16_t(keysym);
  if (keysym >= XK_0 && keysym <= XK_9) return std::uint16_t(keysym);
  if (keysym >= XK_F1 && keysym <= XK_F24) return std::uint16_t(vk::kF1 + (keysym - XK_F1));
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return std::uint16_t(vk::kNumpad0 + (keysym - XK_KP_0));
  for (const KeysymVirtualKey& k : kVirtualKeys)
    if (k.keysym == keysym) return k.virtual_key;
  return 0;
}

// The character a key symbol stands for in Latin-1, control keys included.
std::uint8_t character_of(std::uint32_t keysym) {
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

// The virtual key of the row that names a scan code first.
std::uint16_t virtual_key_at(std::uint16_t scan_code) {
  for (const ScanCodeRow& row : kScanCodeTable)
    if (row.scan_code == scan_code) return row.first_key;
  return 0;
}

}  // namespace

std::uint16_t scan_code_of_key_name(const char* name) {
  for (const NamedKey& k : kNamedKeys)
    if (std::strncmp(name, k.name, sizeof k.name) == 0) return k.scan_code;
  return 0;
}

std::uint16_t generic_virtual_key(std::uint16_t virtual_key) {
  switch (virtual_key) {
    case vk::kLShift: case vk::kRShift: return vk::kShift;
    case vk::kLControl: case vk::kRControl: return vk::kControl;
    case vk::kLMenu: case vk::kRMenu: return vk::kMenu;
    default: return virtual_key;
  }
}

bool keysym_types_nothing(std::uint32_t keysym) { return keysym == XK_Delete || keysym == XK_KP_Delete; }

std::uint16_t scan_code_of_keycode(unsigned keycode) {
  return keycode >= kFirstScanKeycode && keycode <= kLastScanKeycode ? std::uint16_t(keycode - kKeycodeOffset) : 0;
}

void KeysymKeyTable::add(unsigned keycode, std::uint32_t keysym, std::uint16_t scan_code) {
  if (keycode >= 256) return;
  KeysymKey& key = keys_[keycode];
  key.scan_code = scan_code;
  // A second key of the same symbol (a multimedia keyboard's own Print key)
  // is that enhanced key too.
  if (!key.scan_code)
    for (const EnhancedKey& e : kEnhancedKeys)
      if (e.keysym == keysym) key.scan_code = std::uint16_t(e.scan_code | kEnhancedKey);
  key.virtual_key = virtual_key_of(keysym);
  // A symbol without a virtual key of its own (a letter of another
  // alphabet) takes the one of its position on the PC keyboard.
  if (!key.virtual_key && keysym != 0 && !(key.scan_code & kEnhancedKey))
    key.virtual_key = virtual_key_at(key.scan_code);
  std::uint8_t base = character_of(keysym);
  if (base >= 'a' && base <= 'z') base = std::uint8_t(base - 'a' + 'A');
  if (key.virtual_key && !base_characters_[key.virtual_key]) base_characters_[key.virtual_key] = base;
  loaded_ = true;
}

std::uint16_t KeysymKeyTable::base_character(std::uint16_t virtual_key) const {
  if (!loaded_) return us_base_character(virtual_key);
  return virtual_key < 256 ? base_characters_[virtual_key] : 0;
}

void KeysymKeyTable::fill_key_state(const std::array<bool, 256>& keycode_down, std::uint8_t* key_state) const {
  std::array<bool, 256> down{};
  for (unsigned code = 0; code < 256; ++code) {
    if (!keycode_down[code]) continue;
    const std::uint16_t virtual_key = keys_[code].virtual_key;
    if (!virtual_key) continue;
    down[virtual_key] = true;
    down[generic_virtual_key(virtual_key)] = true;
  }
  for (const ScanCodeRow& row : kScanCodeTable)
    key_state[row.scan_code] = down[row.first_key] || (row.second_key && down[row.second_key]) ? 1 : 0;
}

}  // namespace qz
