// Key translation: one key press with its modifiers becomes a key code.
//
// The tables are indexed by PC scan code (set 1 make codes). Entries below
// 256 in key_code_table are the US-layout characters of the key; they only
// mark "no extended code here" and never become a result themselves.

#include "input/key_translate.h"

#include <array>
#include <cctype>

namespace qz {

namespace {

// Extended code E as stored in the tables.
constexpr std::uint16_t X(int e) { return static_cast<std::uint16_t>(e * 256); }

struct KeyCodeRow {
  std::uint16_t plain, shift, ctrl, alt;
};

// 89 rows, scan codes 0..88.
static constexpr std::array<KeyCodeRow, 89> key_code_table{{
    {0, 0, 0, 0},                    // 0
    {27, 27, 27, X(1)},              // 1 Escape
    {'1', '!', 0, X(120)},           // 2
    {'2', '@', X(3), X(121)},        // 3
    {'3', '#', 0, X(122)},           // 4
    {'4', '$', 0, X(123)},           // 5
    {'5', '%', 0, X(124)},           // 6
    {'6', '^', 30, X(125)},          // 7
    {'7', '&', 0, X(126)},           // 8
    {'8', '*', 0, X(127)},           // 9
    {'9', '(', 0, X(128)},           // 10
    {'0', ')', 0, X(129)},           // 11
    {'-', '_', 31, X(130)},          // 12
    {'=', '+', 0, X(131)},           // 13
    {8, 8, 127, X(224)},             // 14 Backspace
    {9, X(15), X(148), X(15)},       // 15 Tab
    {'q', 'Q', 17, X(16)},           // 16
    {'w', 'W', 23, X(17)},           // 17
    {'e', 'E', 5, X(18)},            // 18
    {'r', 'R', 18, X(19)},           // 19
    {'t', 'T', 20, X(20)},           // 20
    {'y', 'Y', 25, X(21)},           // 21
    {'u', 'U', 21, X(22)},           // 22
    {'i', 'I', 9, X(23)},            // 23
    {'o', 'O', 15, X(24)},           // 24
    {'p', 'P', 16, X(25)},           // 25
    {'[', '{', 27, X(26)},           // 26
    {']', '}', 29, X(27)},           // 27
    {13, 13, 10, X(28)},             // 28 Enter
    {0, 0, 0, 0},                    // 29 Ctrl
    {'a', 'A', 1, X(30)},            // 30
    {'s', 'S', 19, X(31)},           // 31
    {'d', 'D', 4, X(32)},            // 32
    {'f', 'F', 6, X(33)},            // 33
    {'g', 'G', 7, X(34)},            // 34
    {'h', 'H', 8, X(35)},            // 35
    {'j', 'J', 10, X(36)},           // 36
    {'k', 'K', 11, X(37)},           // 37
    {'l', 'L', 12, X(38)},           // 38
    {';', ':', 0, X(39)},            // 39
    {'\'', '"', 0, X(40)},           // 40
    {'`', '~', 0, X(41)},            // 41
    {0, 0, 0, 0},                    // 42 left Shift
    {'\\', '|', 28, 0},              // 43
    {'z', 'Z', 26, X(44)},           // 44
    {'x', 'X', 24, X(45)},           // 45
    {'c', 'C', 3, X(46)},            // 46
    {'v', 'V', 22, X(47)},           // 47
    {'b', 'B', 2, X(48)},            // 48
    {'n', 'N', 14, X(49)},           // 49
    {'m', 'M', 13, X(50)},           // 50
    {',', '<', 0, X(51)},            // 51
    {'.', '>', 0, X(52)},            // 52
    {'/', '?', 0, X(53)},            // 53
    {0, 0, 0, 0},                    // 54 right Shift
    {'*', '*', 0, 0},                // 55 keypad *
    {0, 0, 0, 0},                    // 56 Alt
    {' ', ' ', ' ', ' '},            // 57 Space
    {0, 0, 0, 0},                    // 58 Caps Lock
    {X(59), X(84), X(94), X(104)},   // 59 F1
    {X(60), X(85), X(95), X(105)},   // 60 F2
    {X(61), X(86), X(96), X(106)},   // 61 F3
    {X(62), X(87), X(97), X(107)},   // 62 F4 (Alt: the close code's value)
    {X(63), X(88), X(98), X(108)},   // 63 F5
    {X(64), X(89), X(99), X(109)},   // 64 F6
    {X(65), X(90), X(100), X(110)},  // 65 F7
    {X(66), X(91), X(101), X(111)},  // 66 F8
    {X(67), X(92), X(102), X(112)},  // 67 F9
    {X(68), X(93), X(103), X(113)},  // 68 F10
    {0, 0, 0, 0},                    // 69 Num Lock
    {0, 0, 0, 0},                    // 70 Scroll Lock
    {X(71), '7', X(119), 0},         // 71 keypad 7 / Home
    {X(72), '8', X(141), 0},         // 72 keypad 8 / Up
    {X(73), '9', X(132), 0},         // 73 keypad 9 / Page Up
    {'-', '-', 0, 0},                // 74 keypad -
    {X(75), '4', X(115), 0},         // 75 keypad 4 / Left
    {X(76), '5', X(143), X(76)},     // 76 keypad 5
    {X(77), '6', X(116), 0},         // 77 keypad 6 / Right
    {'+', '+', 0, 0},                // 78 keypad +
    {X(79), '1', X(117), 0},         // 79 keypad 1 / End
    {X(80), '2', X(145), 0},         // 80 keypad 2 / Down
    {X(81), '3', X(118), 0},         // 81 keypad 3 / Page Down
    {X(82), '0', X(146), 0},         // 82 keypad 0 / Insert
    {X(83), '.', X(147), 0},         // 83 keypad . / Delete
    {0, 0, 0, 0},                    // 84
    {0, 0, 0, 0},                    // 85
    {0, 0, 0, 0},                    // 86
    {X(133), X(135), X(137), X(139)},  // 87 F11
    {X(134), X(136), X(138), X(140)},  // 88 F12
}};

struct EnhancedKeyRow {
  std::uint16_t scan_code;
  KeyCodeRow columns;
};

// Keys the keyboard reports as enhanced (grey cursor block, keypad Enter
// and /); here entries below 256 are characters and are returned as such.
static constexpr std::array<EnhancedKeyRow, 12> enhanced_key_table{{
    {28, 13, 13, 10, X(166)},                  // keypad Enter
    {53, 47, 63, X(149), X(164)},              // keypad /
    {71, X(71), X(71), X(119), X(151)},        // Home
    {72, X(72), X(72), X(141), X(152)},        // Up
    {73, X(73), X(73), X(132), X(153)},        // Page Up
    {75, X(75), X(75), X(115), X(155)},        // Left
    {77, X(77), X(77), X(116), X(157)},        // Right
    {79, X(79), X(79), X(117), X(159)},        // End
    {80, X(80), X(80), X(145), X(160)},        // Down
    {81, X(81), X(81), X(118), X(161)},        // Page Down
    {82, X(82), X(82), X(146), X(162)},        // Insert
    {83, X(83), X(83), X(147), X(163)},        // Delete
}};

// The US layout's unshifted character per virtual key (0: none). Letters
// map to their upper-case form, as the platform's own mapping does.
constexpr std::array<std::uint8_t, 256> make_us_base_characters() {
  std::array<std::uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<std::uint8_t>(c);
  for (int d = 0; d <= 9; ++d) t[vk::kNumpad0 + d] = static_cast<std::uint8_t>('0' + d);
  t[vk::kBack] = 8;
  t[vk::kTab] = 9;
  t[vk::kReturn] = 13;
  t[vk::kEscape] = 27;
  t[vk::kSpace] = ' ';
  t[vk::kMultiply] = '*';
  t[vk::kAdd] = '+';
  t[vk::kSubtract] = '-';
  t[vk::kDecimal] = '.';
  t[vk::kDivide] = '/';
  t[vk::kOem1] = ';';
  t[vk::kOemPlus] = '=';
  t[vk::kOemComma] = ',';
  t[vk::kOemMinus] = '-';
  t[vk::kOemPeriod] = '.';
  t[vk::kOem2] = '/';
  t[vk::kOem3] = '`';
  t[vk::kOem4] = '[';
  t[vk::kOem5] = '\\';
  t[vk::kOem6] = ']';
  t[vk::kOem7] = '\'';
  return t;
}
static constexpr std::array<std::uint8_t, 256> us_base_characters = make_us_base_characters();

constexpr bool alt_held(std::int32_t m) { return (m & (kLeftAlt | kRightAlt)) != 0; }
constexpr bool ctrl_held(std::int32_t m) { return (m & (kLeftCtrl | kRightCtrl)) != 0; }
constexpr bool shift_held(std::int32_t m) { return (m & kShift) != 0; }

// The column a modifier word selects: Alt first, then Ctrl, then Shift, so
// Ctrl+Alt (and AltGr, reported as left Ctrl + right Alt) takes Alt's.
std::uint16_t column_entry(const KeyCodeRow& row, std::int32_t m) {
  if (alt_held(m)) return row.alt;
  if (ctrl_held(m)) return row.ctrl;
  if (shift_held(m)) return row.shift;
  return row.plain;
}

std::int32_t translate_enhanced(std::uint16_t scan_code, std::int32_t m) {
  for (const EnhancedKeyRow& row : enhanced_key_table) {
    if (row.scan_code != scan_code) continue;
    const std::uint16_t entry = column_entry(row.columns, m);
    if (entry == 0) return kNoKey;
    return entry < 256 ? entry : entry | 0xFF;
  }
  return kNoKey;
}

// The C library's case swap under the current LC_CTYPE. Only single bytes
// are classified: the <cctype> functions are undefined for wider values.
int swap_case(int ch) {
  if (ch < 0 || ch > 255) return ch;
  if (std::isupper(ch)) return std::tolower(ch);
  if (std::islower(ch)) return std::toupper(ch);
  return ch;
}

}  // namespace

const ScanCodeRow kScanCodeTable[87] = {
    {1, vk::kEscape, 0},      {2, '1', 0},
    {3, '2', 0},              {4, '3', 0},
    {5, '4', 0},              {6, '5', 0},
    {7, '6', 0},              {8, '7', 0},
    {9, '8', 0},              {10, '9', 0},
    {11, '0', 0},             {12, vk::kOemMinus, vk::kSubtract},
    {13, vk::kOemPlus, 0},    {14, vk::kBack, 0},
    {15, vk::kTab, 0},        {16, 'Q', 0},
    {17, 'W', 0},             {18, 'E', 0},
    {19, 'R', 0},             {20, 'T', 0},
    {21, 'Y', 0},             {22, 'U', 0},
    {23, 'I', 0},             {24, 'O', 0},
    {25, 'P', 0},             {26, vk::kOem4, 0},
    {27, vk::kOem6, 0},       {28, vk::kReturn, 0},
    {29, vk::kControl, 0},    {30, 'A', 0},
    {31, 'S', 0},             {32, 'D', 0},
    {33, 'F', 0},             {34, 'G', 0},
    {35, 'H', 0},             {36, 'J', 0},
    {37, 'K', 0},             {38, 'L', 0},
    {39, vk::kOem1, 0},       {40, vk::kOem7, 0},
    {41, vk::kOem3, 0},       {42, vk::kShift, 0},
    {43, vk::kOem5, 0},       {44, 'Z', 0},
    {45, 'X', 0},             {46, 'C', 0},
    {47, 'V', 0},             {48, 'B', 0},
    {49, 'N', 0},             {50, 'M', 0},
    {51, vk::kOemComma, 0},   {52, vk::kOemPeriod, 0},
    {53, vk::kOem2, vk::kDivide}, {54, vk::kShift, 0},
    {55, vk::kMultiply, 0},   {56, vk::kMenu, 0},
    {57, vk::kSpace, 0},      {58, vk::kCapital, 0},
    {59, vk::kF1, 0},         {60, vk::kF1 + 1, 0},
    {61, vk::kF1 + 2, 0},     {62, vk::kF1 + 3, 0},
    {63, vk::kF1 + 4, 0},     {64, vk::kF1 + 5, 0},
    {65, vk::kF1 + 6, 0},     {66, vk::kF1 + 7, 0},
    {67, vk::kF1 + 8, 0},     {68, vk::kF10, 0},
    {69, vk::kNumlock, 0},    {70, vk::kScroll, 0},
    {71, vk::kHome, vk::kNumpad0 + 7}, {72, vk::kUp, vk::kNumpad0 + 8},
    {73, vk::kPrior, vk::kNumpad0 + 9}, {75, vk::kLeft, vk::kNumpad0 + 4},
    {76, vk::kNumpad0 + 5, 0}, {77, vk::kRight, vk::kNumpad0 + 6},
    {78, vk::kAdd, 0},        {79, vk::kEnd, vk::kNumpad0 + 1},
    {80, vk::kDown, vk::kNumpad0 + 2}, {81, vk::kNext, vk::kNumpad0 + 3},
    {82, vk::kInsert, vk::kNumpad0}, {83, vk::kDelete, vk::kDecimal},
    {87, vk::kF11, 0},        {88, vk::kF12, 0},
    {91, vk::kLWin, 0},       {92, vk::kRWin, 0},
    {93, vk::kApps, 0},
};

std::uint16_t us_base_character(std::uint16_t virtual_key) {
  return virtual_key < us_base_characters.size() ? us_base_characters[virtual_key] : 0;
}

std::int32_t translate_key(std::uint8_t character, std::uint16_t scan_code,
                           std::uint16_t virtual_key, std::int32_t control_state,
                           BaseCharFn base_character) {
  const std::int32_t m = control_state;
  if ((m & kEnhancedKey) != 0 && character == 0) return translate_enhanced(scan_code, m);

  if (scan_code < key_code_table.size()) {
    const KeyCodeRow& row = key_code_table[scan_code];
    const bool any_modifier = alt_held(m) || ctrl_held(m) || shift_held(m);
    // A character with no modifier held is just that character.
    if (any_modifier || character == 0) {
      const std::uint16_t entry = column_entry(row, m);
      // Only the key's own character (either case) turns into the extended
      // code; a layout's AltGr characters differ from it and pass through.
      const int base = base_character ? base_character(virtual_key) : 0;
      const int other = swap_case(base);
      if (entry >= 256 && (character == base || character == other)) return entry | 0xFF;
    }
  }
  return character != 0 ? character : kNoKey;
}

std::uint16_t scan_code_for_key(std::uint16_t virtual_key) {
  if (virtual_key == 0) return 0;  // 0 fills the empty second-key column
  for (const ScanCodeRow& row : kScanCodeTable) {
    if (row.first_key == virtual_key || row.second_key == virtual_key) return row.scan_code;
  }
  return 0;
}

}  // namespace qz
