#pragma once

// The keyboard as the key tables see it, for back ends whose keyboards speak
// X key symbols and XKB key names (X11 and, through xkbcommon, Wayland):
// PC scan codes by the keys' XKB names (which stay the same whatever keycode
// numbers the server uses), other enhanced keys by their key symbol; the key
// symbol of level 0 gives the virtual key and the key's base character.

#include <array>
#include <cstdint>

namespace qz {

struct KeysymKey {
  std::uint16_t scan_code = 0;  // with kEnhancedKey in bit 8 for enhanced keys
  std::uint16_t virtual_key = 0;
};

// Scan code of an XKB key name such as "ESC", "AE01" or "UP" (enhanced keys
// with kEnhancedKey), 0 for names a PC keyboard lacks.
std::uint16_t scan_code_of_key_name(const char* name);
// The scan code of a keycode when the keyboard has no key names (keycode - 8
// for scan codes 1..88), else 0.
std::uint16_t scan_code_of_keycode(unsigned keycode);
// Left and right modifier keys as the generic Shift, Ctrl and Alt keys.
std::uint16_t generic_virtual_key(std::uint16_t virtual_key);
// Keys whose text the libraries give but the keyboard's character path does
// not: Delete types nothing.
bool keysym_types_nothing(std::uint32_t keysym);

// Keys by keycode (0..255), built once per keymap; read by the thread that
// built it.
class KeysymKeyTable {
 public:
  // `keysym` is the key's level-0 symbol (0 for none), `scan_code` what its
  // name or keycode says (0: unknown; enhanced keys are then found by symbol).
  void add(unsigned keycode, std::uint32_t keysym, std::uint16_t scan_code);
  void clear() { *this = KeysymKeyTable{}; }
  KeysymKey key(unsigned keycode) const { return keycode < 256 ? keys_[keycode] : KeysymKey{}; }
  // What a key shows unshifted, as translate_key's BaseCharFn (US layout
  // until a keymap was added).
  std::uint16_t base_character(std::uint16_t virtual_key) const;
  // The held keycodes as key_state (by scan code of the key tables).
  void fill_key_state(const std::array<bool, 256>& keycode_down, std::uint8_t* key_state) const;

 private:
  std::array<KeysymKey, 256> keys_{};
  std::array<std::uint8_t, 256> base_characters_{};
  bool loaded_ = false;
};

}  // namespace qz
