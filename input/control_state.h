#pragma once

// The modifier state translate_key expects, built the same way by every
// window system that reports which modifiers are held but not on which side.

#include <array>
#include <cstdint>

namespace qz {

struct HeldModifiers {
  bool shift = false, ctrl = false, alt = false;
  bool level3 = false;  // AltGr
};

// The side of Ctrl and Alt comes from the tracked keys: right only when the
// right key is down and the left one is not.
std::int32_t control_state_of(const HeldModifiers& held, const std::array<bool, 256>& vk_down);

// Alt without Ctrl: the key is a menu key, not text (AltGr counts as
// Ctrl+Alt and types).
bool alt_without_ctrl(std::int32_t control_state);

// Alt+Enter, which switches the window between windowed and fullscreen.
bool is_mode_switch(std::uint16_t virtual_key, std::int32_t control_state);

}  // namespace qz
