#include "input/key_translate.h"

#include <gtest/gtest.h>

using namespace qz;

namespace {

struct TranslateCase {
  const char* name;
  std::uint8_t character;
  std::uint16_t scan_code;
  std::uint16_t virtual_key;
  std::int32_t control_state;
  std::int32_t expected;
};

constexpr std::int32_t kAltGr = kLeftCtrl | kRightAlt;

static constexpr TranslateCase kTranslateCases[] = {
    {"F1", 0, 59, vk::kF1, 0, 0x3BFF},
    {"Shift+F1", 0, 59, vk::kF1, kShift, 0x54FF},
    {"Ctrl+F1", 0, 59, vk::kF1, kLeftCtrl, 0x5EFF},
    {"Alt+F1", 0, 59, vk::kF1, kLeftAlt, 0x68FF},
    {"Alt+F4 is the close code", 0, 62, vk::kF1 + 3, kLeftAlt, kCloseCode},
    {"Up", 0, 72, vk::kUp, kEnhancedKey, 0x48FF},
    {"Ctrl+Up", 0, 72, vk::kUp, kEnhancedKey | kLeftCtrl, 0x8DFF},
    {"Alt+Up", 0, 72, vk::kUp, kEnhancedKey | kLeftAlt, 0x98FF},
    {"Ctrl+Alt+Up takes Alt", 0, 72, vk::kUp, kEnhancedKey | kLeftAlt | kLeftCtrl, 0x98FF},
    {"keypad 8, Num Lock off", 0, 72, vk::kUp, 0, 0x48FF},
    {"keypad 8, Num Lock on", '8', 72, vk::kNumpad0 + 8, 0, '8'},
    {"Escape", 27, 1, vk::kEscape, 0, 27},
    {"Shift+Tab", 9, 15, vk::kTab, kShift, 0x0FFF},
    {"Ctrl+A", 1, 30, 'A', kLeftCtrl, 1},
    {"Alt+a", 'a', 30, 'A', kLeftAlt, 0x1EFF},
    {"Alt+A with Shift", 'A', 30, 'A', kLeftAlt | kShift, 0x1EFF},
    {"Shift+a is the letter", 'A', 30, 'A', kShift, 'A'},
    {"AltGr+Q gives its character", '@', 16, 'Q', kAltGr, '@'},
    {"AltGr+E gives a high byte", 0x80, 18, 'E', kAltGr, 0x80},
    {"Ctrl+Alt+Q without a character", 0, 16, 'Q', kAltGr, -1},
    {"Alt+Space has no extended code", ' ', 57, vk::kSpace, kLeftAlt, ' '},
    {"Shift alone", 0, 42, vk::kShift, kShift, kNoKey},
    {"scan code above 88 with a character", 'x', 91, vk::kLWin, 0, 'x'},
    {"scan code above 88 without one", 0, 91, vk::kLWin, kLeftAlt, kNoKey},
    {"keypad Enter with its character", 13, 28, vk::kReturn, kEnhancedKey, 13},
    {"keypad Enter, no character", 0, 28, vk::kReturn, kEnhancedKey, 13},
    {"Ctrl+keypad Enter", 0, 28, vk::kReturn, kEnhancedKey | kLeftCtrl, 10},
    {"Alt+keypad Enter", 0, 28, vk::kReturn, kEnhancedKey | kLeftAlt, 0xA6FF},
    {"Shift+keypad /", 0, 53, vk::kDivide, kEnhancedKey | kShift, '?'},
    {"enhanced key without a row", 0, 29, vk::kRControl, kEnhancedKey | kRightCtrl, kNoKey},
};

TEST(KeyTranslate, TableOfPresses) {
  for (const TranslateCase& c : kTranslateCases) {
    EXPECT_EQ(translate_key(c.character, c.scan_code, c.virtual_key, c.control_state), c.expected)
        << c.name;
  }
}

std::uint16_t latin1_a_umlaut_key(std::uint16_t) { return 0xC4; }  // 'Ä'
std::uint16_t wide_character_key(std::uint16_t) { return 0x0430; }

TEST(KeyTranslate, BaseCharacterComesFromTheLayout) {
  // The layout's own character of the key decides, not the US one.
  EXPECT_EQ(translate_key(0xC4, 30, 'A', kLeftAlt, latin1_a_umlaut_key), 0x1EFF);
  EXPECT_EQ(translate_key('a', 30, 'A', kLeftAlt, latin1_a_umlaut_key), 'a');
  // A base character wider than a byte is never case-swapped (undefined for
  // the C library) and can match no character byte.
  EXPECT_EQ(translate_key(0x30, 30, 'A', kLeftAlt, wide_character_key), 0x30);
  // No layout mapping at all: only keys without a character give codes.
  EXPECT_EQ(translate_key(0, 59, vk::kF1, 0, nullptr), 0x3BFF);
  EXPECT_EQ(translate_key('a', 30, 'A', kLeftAlt, nullptr), 'a');
}

TEST(KeyTranslate, UsBaseCharacters) {
  const std::pair<std::uint16_t, std::uint16_t> cases[] = {
      {'A', 'A'},          {'Z', 'Z'},         {'0', '0'},           {vk::kSpace, ' '},
      {vk::kReturn, 13},   {vk::kTab, 9},      {vk::kBack, 8},       {vk::kEscape, 27},
      {vk::kNumpad0, '0'}, {vk::kDivide, '/'}, {vk::kOemMinus, '-'}, {vk::kOem7, '\''},
      {vk::kF1, 0},        {vk::kUp, 0},       {vk::kShift, 0},      {0x1FF, 0},
  };
  for (const auto& [key, expected] : cases) EXPECT_EQ(us_base_character(key), expected) << key;
}

TEST(KeyTranslate, ScanCodeForKey) {
  EXPECT_EQ(scan_code_for_key(vk::kShift), 42);  // first of its two rows
  EXPECT_EQ(scan_code_for_key(vk::kEscape), 1);
  EXPECT_EQ(scan_code_for_key(vk::kSubtract), 12);      // second column
  EXPECT_EQ(scan_code_for_key(vk::kNumpad0 + 8), 72);   // second column
  EXPECT_EQ(scan_code_for_key(vk::kDivide), 53);
  EXPECT_EQ(scan_code_for_key(vk::kApps), 93);  // last row
  EXPECT_EQ(scan_code_for_key(vk::kPause), 0);
  EXPECT_EQ(scan_code_for_key(vk::kLShift), 0);
  EXPECT_EQ(scan_code_for_key(0), 0);  // the empty second column names no key
}

}  // namespace
