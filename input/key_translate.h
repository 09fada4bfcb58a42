#pragma once

#include <cstdint>

namespace qz {

// Key codes: 1..255 a code page 437 character; E * 256 + 255 the extended
// code E (function keys, cursor keys, Alt combinations); 0 nothing.
constexpr std::int32_t kNoKey = -1;
constexpr std::int32_t kCloseCode = 0x6BFF;  // extended "k": the window was asked to close
constexpr std::int32_t extended_key(int e) { return e * 256 + 255; }

// Modifier bits handed to translate_key.
enum ControlState : std::int32_t {
  kRightAlt = 0x0001,
  kLeftAlt = 0x0002,
  kRightCtrl = 0x0004,
  kLeftCtrl = 0x0008,
  kShift = 0x0010,
  kEnhancedKey = 0x0100,
};

// Virtual keys (the platform-neutral numbering the tables are written in).
namespace vk {
constexpr std::uint16_t kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10,
                        kControl = 0x11, kMenu = 0x12, kPause = 0x13, kCapital = 0x14,
                        kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21, kNext = 0x22,
                        kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27,
                        kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E, kLWin = 0x5B,
                        kRWin = 0x5C, kApps = 0x5D, kNumpad0 = 0x60, kMultiply = 0x6A,
                        kAdd = 0x6B, kSubtract = 0x6D, kDecimal = 0x6E, kDivide = 0x6F,
                        kF1 = 0x70, kF10 = 0x79, kF11 = 0x7A, kF12 = 0x7B, kNumlock = 0x90,
                        kScroll = 0x91, kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2,
                        kRControl = 0xA3, kLMenu = 0xA4, kRMenu = 0xA5, kOem1 = 0xBA,
                        kOemPlus = 0xBB, kOemComma = 0xBC, kOemMinus = 0xBD,
                        kOemPeriod = 0xBE, kOem2 = 0xBF, kOem3 = 0xC0, kOem4 = 0xDB,
                        kOem5 = 0xDC, kOem6 = 0xDD, kOem7 = 0xDE;
}  // namespace vk

// The unshifted character of a virtual key (what the US layout prints on it),
// 0 when it has none. The platform's window layer may supply a better one.
using BaseCharFn = std::uint16_t (*)(std::uint16_t virtual_key);
std::uint16_t us_base_character(std::uint16_t virtual_key);

// One key press with its modifiers → a key code, or kNoKey.
std::int32_t translate_key(std::uint8_t character, std::uint16_t scan_code,
                           std::uint16_t virtual_key, std::int32_t control_state,
                           BaseCharFn base_character = us_base_character);

// The scan code of the first row naming the virtual key, 0 when none does.
std::uint16_t scan_code_for_key(std::uint16_t virtual_key);

struct ScanCodeRow {
  std::uint8_t scan_code;
  std::uint8_t first_key;
  std::uint8_t second_key;
};
// 87 rows in table order (the end row is not included).
extern const ScanCodeRow kScanCodeTable[87];

}  // namespace qz
