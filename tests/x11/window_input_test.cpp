// The window procedure's shared steps, without a display (on the Null
// driver's mode): what key and character steps queue and post, the code
// page 437 conversion, the event ring's limit, and the mode switch's
// fallback when the new presentation cannot be built.

#include "display/window_input.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "input/key_queue.h"

using namespace qz;

namespace {

std::vector<std::int32_t> take_queue() {
  std::vector<std::int32_t> codes;
  for (std::int32_t c = key_queue_get(); c != 0; c = key_queue_get()) codes.push_back(c);
  return codes;
}

class WindowInputSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    gfx_screen_res(64, 32, 32, 1, 0, 0);
    ASSERT_NE(current_mode(), nullptr);
    take_queue();
  }
  void TearDown() override { gfx_screen_close(); }
  const WindowEvent& last_event() {
    const ScreenMode& m = *current_mode();
    return m.event_ring[std::size_t((m.event_write + kEventRingSize - 1) % kEventRingSize)];
  }
  int events() {
    const ScreenMode& m = *current_mode();
    return (m.event_write - m.event_read + kEventRingSize) % kEventRingSize;
  }
};

TEST_F(WindowInputSteps, KeyStepsQueueExtendedCodesAndPostTheirEvents) {
  struct Case {
    const char* name;
    KeyMessage key;
    std::vector<std::int32_t> queued;
    std::int32_t event_type;  // 0: nothing posted (consumed)
    std::int32_t scancode, ascii;
  };
  const Case cases[] = {
      {"Escape leaves its character to the character path", {27, 1, vk::kEscape, 0, true, false, 1}, {}, kEventKeyDown, 1, 27},
      {"F1", {0, 59, vk::kF1, 0, true, false, 1}, {0x3BFF}, kEventKeyDown, 59, 0},
      {"F1 held, repeat count 3", {0, 59, vk::kF1, 0, true, true, 3}, {0x3BFF, 0x3BFF, 0x3BFF}, kEventKeyRepeat, 59, 0},
      {"F1 released", {0, 59, vk::kF1, 0, false, false, 1}, {}, kEventKeyUp, 59, 0},
      {"Ctrl+Up", {0, 72, vk::kUp, kLeftCtrl | kEnhancedKey, true, false, 1}, {0x8DFF}, kEventKeyDown, 72, 0},
      {"Shift+Tab", {9, 15, vk::kTab, kShift, true, false, 1}, {0x0FFF}, kEventKeyDown, 15, 0},
      {"F10 is consumed", {0, 68, vk::kF10, 0, true, false, 1}, {0x44FF}, 0, 0, 0},
      {"Alt+F4 queues the close code once", {0, 62, 0x73, kLeftAlt, true, false, 1}, {kCloseCode}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = events();
    const bool consumed = key_steps(c.key, us_base_character);
    EXPECT_EQ(take_queue(), c.queued);
    EXPECT_EQ(consumed, c.event_type == 0);
    if (c.event_type == 0) {
      EXPECT_EQ(events(), before);
      continue;
    }
    EXPECT_EQ(last_event().type, c.event_type);
    EXPECT_EQ(last_event().a, c.scancode);
    EXPECT_EQ(last_event().b, c.ascii);
  }
}

TEST_F(WindowInputSteps, CharactersAreQueuedInCodePage437) {
  struct Case {
    char32_t character;
    std::int32_t code;
  };
  const Case cases[] = {{U'a', 'a'},    {27, 27},         {1, 1},         {U'\u00e9', 0x82}, {U'\u00ff', 0x98},
                        {U'\u03c0', 0xE3}, {U'\u00a0', 0xFF}, {U'\u2591', 0xB0}, {U'\u20ac', '?'}, {U'\U0001F600', '?'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<std::uint32_t>(c.character));
    character_steps(c.character, 1);
    EXPECT_EQ(take_queue(), std::vector<std::int32_t>{c.code});
  }
  character_steps(U'x', 3);
  EXPECT_EQ(take_queue(), (std::vector<std::int32_t>{'x', 'x', 'x'}));
}

TEST_F(WindowInputSteps, CloseAndTheEventRingLimit) {
  close_steps();
  EXPECT_EQ(take_queue(), std::vector<std::int32_t>{kCloseCode});
  EXPECT_EQ(last_event().type, kEventCloseRequest);
  for (int i = 0; i < 200; ++i) post_event(WindowEvent{kEventWheelTurn, i, 0, 0, 0});
  EXPECT_EQ(events(), kEventRingSize - 1);
  const ScreenMode& m = *current_mode();
  EXPECT_EQ(m.event_ring[std::size_t(m.event_read)].a, 200 - (kEventRingSize - 1));
  EXPECT_EQ(last_event().a, 199);
}

TEST_F(WindowInputSteps, EntryAndButtonsCarryThePointersPlace) {
  host_prepare(64, 32, 32, 0, 0);
  window_host().active = 1;
  window_input().pointer_inside = 0;
  pointer_position_steps(12, 7, 112, 207);
  EXPECT_EQ(window_input().cursor_in_client, 1);
  pointer_entry();
  EXPECT_EQ(last_event().type, kEventPointerEnter);
  EXPECT_EQ(last_event().a, 12);
  EXPECT_EQ(last_event().b, 7);
  const int before = events();
  // Kept without an event: a later movement's step is measured from here.
  pointer_position_steps(20, 9, 120, 209);
  EXPECT_EQ(events(), before);
  button_steps(kButtonLeft, true, false);
  EXPECT_EQ(last_event().type, kEventButtonDown);
  EXPECT_EQ(last_event().a, kButtonLeft);
  EXPECT_EQ(last_event().b, 20);
  EXPECT_EQ(last_event().c, 9);
  pointer_move_steps(23, 10, 123, 210);
  EXPECT_EQ(last_event().type, kEventPointerMove);
  EXPECT_EQ(last_event().c, 3);
  EXPECT_EQ(last_event().d, 1);
  pointer_position_steps(80, 9, 180, 209);
  EXPECT_EQ(window_input().cursor_in_client, 0) << "outside the 64-pixel window";
  host_reset();
}

TEST_F(WindowInputSteps, PaintAndActivationMarkRows) {
  paint_steps(5, 9);
  const ScreenMode& m = *current_mode();
  for (int y = 0; y < m.height; ++y) EXPECT_EQ(m.dirty_rows[std::size_t(y)], y >= 5 && y < 9 ? 1 : 0) << y;
  activation_steps(false, false);
  EXPECT_EQ(window_host().active, 0);
  EXPECT_EQ(last_event().type, kEventFocusLost);
  EXPECT_EQ(std::count(m.dirty_rows.begin(), m.dirty_rows.end(), 1), m.height);
  activation_steps(true, false);
  EXPECT_EQ(window_host().active, 1);
  EXPECT_EQ(last_event().type, kEventFocusGained);
}

// A presentation that cannot be built in fullscreen: the switch goes back
// to the windowed one.
int g_inits = 0, g_releases = 0;
int init_windowed_only() {
  ++g_inits;
  return (window_host().flags & kModeFullscreen) ? -1 : 0;
}
void count_release() { ++g_releases; }

TEST_F(WindowInputSteps, ModeSwitchRebuildsThePreviousPresentationWhenTheNewOneFails) {
  host_reset();
  WindowHost& host = window_host();
  host.thread_init = init_windowed_only;
  host.release = count_release;
  EXPECT_TRUE(switch_window_mode());
  EXPECT_EQ(g_inits, 2);
  EXPECT_EQ(g_releases, 2);
  EXPECT_EQ(host.flags & kModeFullscreen, 0);
  EXPECT_EQ(host.active, 1);

  host.flags = kModeNoMaximize;
  window_input().pointer_inside = 1;
  EXPECT_FALSE(switch_window_mode());
  EXPECT_EQ(g_inits, 2);
  EXPECT_EQ(last_event().type, kEventPointerLeave);
  host_reset();
}

}  // namespace
