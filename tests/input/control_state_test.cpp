// The modifier state and double clicks that the X11 and Wayland back ends
// build the same way.

#include <gtest/gtest.h>

#include "input/click_pairs.h"
#include "input/control_state.h"
#include "input/key_translate.h"

using namespace qz;

namespace {

TEST(ControlState, SidesComeFromTheTrackedKeysAndAltGrTypes) {
  std::array<bool, 256> down{};
  EXPECT_EQ(control_state_of({true, true, true, false}, down), kShift | kLeftCtrl | kLeftAlt);
  down[vk::kRControl] = down[vk::kRMenu] = true;
  EXPECT_EQ(control_state_of({false, true, true, false}, down), kRightCtrl | kRightAlt);
  down[vk::kLControl] = true;  // both Ctrl keys: the left one counts
  EXPECT_EQ(control_state_of({false, true, false, false}, down), kLeftCtrl);
  const std::int32_t alt_gr = control_state_of({false, false, false, true}, {});
  EXPECT_EQ(alt_gr, kLeftCtrl | kRightAlt);
  EXPECT_FALSE(alt_without_ctrl(alt_gr));
  EXPECT_TRUE(is_mode_switch(vk::kReturn, kLeftAlt));
  EXPECT_FALSE(is_mode_switch(vk::kReturn, alt_gr));
  EXPECT_FALSE(is_mode_switch(vk::kSpace, kLeftAlt));
}

TEST(ClickPairs, TwoQuickNearPressesOfOneButtonPairAndAThirdStartsAgain) {
  ClickPairs clicks;
  EXPECT_FALSE(clicks.press(1, 1000, 10, 10));
  EXPECT_TRUE(clicks.press(1, 1500, 14, 6));
  EXPECT_FALSE(clicks.press(1, 1600, 14, 6));  // a third
  EXPECT_FALSE(clicks.press(3, 1700, 14, 6));  // another button
  EXPECT_FALSE(clicks.press(3, 2201, 14, 6));  // too late
  EXPECT_FALSE(clicks.press(3, 2300, 19, 6));  // too far
  EXPECT_TRUE(clicks.press(3, 2350, 19, 6));
  EXPECT_FALSE(clicks.press(2, 0xFFFFFF00u, 0, 0));
  EXPECT_TRUE(clicks.press(2, 0x40u, 0, 0));  // across the clock's wrap
}

}  // namespace
