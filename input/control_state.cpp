#include "input/control_state.h"

#include "input/key_translate.h"

namespace qz {

std::int32_t control_state_of(const HeldModifiers& held, const std::array<bool, 256>& vk_down) {
  std::int32_t result = 0;
  if (held.shift) result |= kShift;
  if (held.ctrl) result |= vk_down[vk::kRControl] && !vk_down[vk::kLControl] ? kRightCtrl : kLeftCtrl;
  if (held.alt) result |= vk_down[vk::kRMenu] && !vk_down[vk::kLMenu] ? kRightAlt : kLeftAlt;
  // AltGr reads as left Ctrl with right Alt, as the keyboard reports it elsewhere.
  if (held.level3) result |= kLeftCtrl | kRightAlt;
  return result;
}

bool alt_without_ctrl(std::int32_t control_state) {
  return (control_state & (kLeftAlt | kRightAlt)) && !(control_state & (kLeftCtrl | kRightCtrl));
}

bool is_mode_switch(std::uint16_t virtual_key, std::int32_t control_state) {
  return virtual_key == vk::kReturn && alt_without_ctrl(control_state);
}

}  // namespace qz
