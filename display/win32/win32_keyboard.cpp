// Keyboard facts the window procedure needs from Windows: the modifier word
// of a key message, the character the layout gives for a key, and a virtual
// key's unshifted character.

#include <windows.h>

#include "display/win32/win32_host.h"
#include "input/key_translate.h"

namespace qz {

namespace {
bool down(const BYTE* keyboard, int key) { return (keyboard[key] & 0x80) != 0; }
}  // namespace

std::int32_t win32_control_state(const BYTE* keyboard, LPARAM lparam) {
  std::int32_t state = 0;
  if (down(keyboard, VK_SHIFT) || down(keyboard, VK_LSHIFT) || down(keyboard, VK_RSHIFT)) state |= kShift;
  if (down(keyboard, VK_CONTROL) || down(keyboard, VK_LCONTROL)) state |= kLeftCtrl;
  if (down(keyboard, VK_RCONTROL)) state |= kRightCtrl;
  if (down(keyboard, VK_MENU) || down(keyboard, VK_LMENU)) state |= kLeftAlt;
  if (down(keyboard, VK_RMENU)) state |= kRightAlt;
  if (lparam & (1 << 24)) state |= kEnhancedKey;
  return state;
}

std::uint8_t win32_key_character(UINT virtual_key, LPARAM lparam, const BYTE* keyboard) {
  // Dead keys are left alone so that their accent reaches the next character.
  if (MapVirtualKeyA(virtual_key, MAPVK_VK_TO_CHAR) & 0x80000000u) return 0;
  WORD out[2] = {};
  UINT scan = UINT((lparam >> 16) & 0xFF);
  return ToAscii(virtual_key, scan, keyboard, out, 0) == 1 ? std::uint8_t(out[0] & 0xFF) : 0;
}

std::uint16_t win32_base_character(std::uint16_t virtual_key) {
  return std::uint16_t(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_CHAR) & 0xFFFF);
}

}  // namespace qz
