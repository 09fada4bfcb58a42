// The pointer and fullscreen under headless weston, with the back end in this
// process: the mouse query and events after the test seat's pointer moves,
// clicks and turns the wheel; confinement; the title bar's close box; a
// fullscreen picture on an output larger than the mode.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <functional>
#include <cstdlib>
#include <vector>

#include "display/display_driver.h"
#include "display/picture_fit.h"
#include "display/screen_mode.h"
#include "gfx/screen_lock.h"
#include "qzgfx/qzgfx.h"
#include "tests/wayland/weston_session.h"

using namespace qz;

namespace {

using namespace std::chrono_literals;

constexpr int kModeWidth = 640, kModeHeight = 480;

void open_mode(int width, int height, int flags) {
  gfx_screen_res(width, height, 32, 1, flags, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  ASSERT_STREQ(current_mode()->driver->name, "Wayland");
}

// Every pixel of the picture in one opaque colour (the screenshot reads a
// pixel without alpha as black).
constexpr std::uint32_t kColour = 0xFFC08040;
void fill_screen() {
  screen_lock();
  ScreenMode& m = *current_mode();
  for (int y = 0; y < m.height; ++y)
    std::fill_n(reinterpret_cast<std::uint32_t*>(m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch), m.width,
                kColour);
  screen_unlock(0, m.height - 1);
}

class WaylandPointer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(weston.running()) << "weston did not start";
    weston.use_in_this_process();
    // Twice the usual size, which the arrow's extent tells apart.
    setenv("XCURSOR_SIZE", "48", 1);
    open_mode(kModeWidth, kModeHeight, 0);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(weston.wait_for_picture());
    weston.move(100, 50);
    ASSERT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.x == 100 && m.y == 50; }))
        << "the pointer never came over the window";
  }
  void TearDown() override {
    gfx_screen_close();
    unsetenv("XCURSOR_SIZE");
  }

  // Until the mouse query (over the window or not, and its reading) satisfies `wanted`.
  bool reads(const std::function<bool(int over, const qz_mouse&)>& wanted) {
    return eventually(
        [&] {
          mouse = qz_mouse{};
          const int over = qz_get_mouse(&mouse) == 0;
          return wanted(over, mouse);
        },
        5s);
  }

  // The button events that come within a short while.
  std::vector<int> button_events() {
    std::vector<int> types;
    qz_event e{};
    while (qz_wait_event(&e, 300))
      if (e.type >= QZ_EVENT_BUTTON_DOWN && e.type <= QZ_EVENT_BUTTON_DOUBLE) types.push_back(e.type);
    return types;
  }

  Weston weston;
  qz_mouse mouse{};
};

TEST_F(WaylandPointer, TheMouseQueryReadsPositionButtonsDoubleClicksAndTheWheel) {
  weston.move(321, 234);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.x == 321 && m.y == 234; }));

  weston.button(BTN_LEFT, true);
  weston.button(BTN_RIGHT, true);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.buttons == (QZ_BUTTON_LEFT | QZ_BUTTON_RIGHT); }));
  weston.button(BTN_LEFT, false);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.buttons == QZ_BUTTON_RIGHT; }));
  weston.button(BTN_RIGHT, false);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.buttons == 0; }));

  button_events();
  for (int i = 0; i < 2; ++i) {
    weston.button(BTN_LEFT, true);
    weston.button(BTN_LEFT, false);
  }
  EXPECT_EQ(button_events(), (std::vector<int>{QZ_EVENT_BUTTON_DOWN, QZ_EVENT_BUTTON_UP, QZ_EVENT_BUTTON_DOUBLE,
                                                QZ_EVENT_BUTTON_UP}));

  // Away from the user counts up, one a notch.
  weston.wheel(-3);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.wheel == 3; })) << mouse.wheel;
  weston.wheel(2);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.wheel == 1; })) << mouse.wheel;
  // A wheel whose notch moves less than usual: its steps count, not the movement.
  weston.wheel(-4, 5.0);
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.wheel == 5; })) << mouse.wheel;

  weston.move(-40, 100);
  EXPECT_TRUE(reads([](int over, const qz_mouse&) { return !over; })) << "still over the window after leaving it";
}

// The cursor's extent on the output: the pixels around the pointer that are
// not the picture's colour; 0 × 0 for none. The picture's top left corner
// gives its place on the output.
struct Extent {
  int width = 0, height = 0;
};
Extent cursor_extent(const std::vector<std::uint32_t>& shot, int output_width, int px, int py) {
  const std::uint32_t colour = kColour & 0xFFFFFF;
  const auto corner = std::find(shot.begin(), shot.end(), colour);
  if (corner == shot.end()) return {-1, -1};
  const int ox = int((corner - shot.begin()) % output_width), oy = int((corner - shot.begin()) / output_width);
  int right = -1, bottom = -1;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if (shot[std::size_t(oy + py + y) * std::size_t(output_width) + std::size_t(ox + px + x)] != colour) {
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
  return {right + 1, bottom + 1};
}

TEST_F(WaylandPointer, TheArrowShowsOverTheContentHidesAndShowsAgain) {
  fill_screen();
  weston.move(200, 200);
  // The arrow's tip is its hot spot: it starts a few pixels up and left.
  const auto extent = [&] { return cursor_extent(weston.screenshot(), weston.width(), 200 - 8, 200 - 8); };
  // At 24 pixels the arrow covers 21 × 27 of them from there, at 48 34 × 47.
  const auto large = [](Extent e) { return e.width > 24 && e.height > 30; };
  Extent seen;
  EXPECT_TRUE(eventually([&] { return large(seen = extent()); }, 10s)) << seen.width << " x " << seen.height;
  ASSERT_EQ(qz_show_mouse(0), 0);
  EXPECT_TRUE(eventually([&] { return (seen = extent()).width == 0; }, 10s)) << seen.width << " x " << seen.height;
  ASSERT_EQ(qz_show_mouse(1), 0);
  EXPECT_TRUE(eventually([&] { return large(seen = extent()); }, 10s)) << seen.width << " x " << seen.height;
}

TEST_F(WaylandPointer, AConfinedPointerStaysInsideTheContentUntilFreed) {
  // The compositor confines the window it last activated by a click.
  weston.button(BTN_LEFT, true);
  weston.button(BTN_LEFT, false);
  ASSERT_EQ(qz_confine_mouse(1), 0);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.confined == 1; }));

  weston.move(kModeWidth + 300, kModeHeight + 300);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) {
    return over && m.x == kModeWidth - 1 && m.y == kModeHeight - 1;
  })) << "at (" << mouse.x << ", " << mouse.y << ")";
  weston.move(-300, -300);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.x == 0 && m.y == 0; }))
      << "at (" << mouse.x << ", " << mouse.y << ")";

  // The fullscreen switch makes a new surface; the confinement follows it
  // (weston lifts it until the new one is clicked).
  weston.keys({KEY_LEFTALT, KEY_ENTER});
  EXPECT_TRUE(reads([](int, const qz_mouse& m) { return m.confined == 0; }));
  EXPECT_TRUE(eventually(
      [&] {
        weston.move(10, 10);
        weston.button(BTN_LEFT, true);
        weston.button(BTN_LEFT, false);
        return qz_get_mouse(&mouse) == 0 && mouse.confined == 1;
      },
      5s));
  // Fullscreen covers the output with the picture fitted: past its right
  // edge is the picture's last column.
  weston.move(weston.width() + 300, 10);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.x == kModeWidth - 1; }));

  ASSERT_EQ(qz_confine_mouse(0), 0);
  EXPECT_TRUE(reads([](int over, const qz_mouse& m) { return over && m.confined == 0; }));
  // Only a window leaves room on the output to move off it.
  weston.keys({KEY_LEFTALT, KEY_ENTER});
  ASSERT_TRUE(weston.wait_for_picture());
  weston.move(-300, -300);
  EXPECT_TRUE(reads([](int over, const qz_mouse&) { return !over; })) << "the freed pointer did not leave";
}

// weston draws no frames: the window has our title bar above the content. A
// click on its close box asks to close, as the compositor's close request
// does; the program's mouse sees nothing of the bar.
TEST_F(WaylandPointer, TheTitleBarAboveTheContentClosesFromItsCloseBox) {
  fill_screen();
  std::vector<std::uint32_t> shot;
  auto corner = shot.end();
  ASSERT_TRUE(eventually(
      [&] {
        shot = weston.screenshot();
        return (corner = std::find(shot.begin(), shot.end(), kColour & 0xFFFFFF)) != shot.end();
      },
      10s));
  const std::size_t at = std::size_t(corner - shot.begin()) - 12 * std::size_t(weston.width()) + 2;
  EXPECT_TRUE(shot[at] == 0x2E3440 || shot[at] == 0x5C6068) << "above the content: " << std::hex << shot[at];

  weston.move(kModeWidth - 16, -12);
  EXPECT_TRUE(reads([](int over, const qz_mouse&) { return !over; })) << "the bar counts as the content";
  weston.button(BTN_LEFT, true);
  weston.button(BTN_LEFT, false);
  std::vector<int> types;
  qz_event e{};
  while (qz_wait_event(&e, 500))
    if (e.type != QZ_EVENT_MOUSE_ENTER && e.type != QZ_EVENT_MOUSE_LEAVE && e.type != QZ_EVENT_MOUSE_MOVE &&
        e.type != QZ_EVENT_FOCUS_GAINED && e.type != QZ_EVENT_FOCUS_LOST)
      types.push_back(e.type);
  EXPECT_EQ(types, std::vector<int>{QZ_EVENT_CLOSE}) << "the click went to the program, or closed nothing";
}

// Wayland changes no display mode: the window covers the output at its
// own and shows the picture fitted (1680 x 1050 on 1920 x 1200: the whole
// output), each output pixel its nearest picture pixel by our mapping.
TEST(WaylandFullscreen, APictureSmallerThanTheOutputIsFittedToIt) {
  Weston weston(1920, 1200);
  ASSERT_TRUE(weston.running()) << "weston did not start";
  weston.use_in_this_process();
  open_mode(Weston::kWidth, Weston::kHeight, kModeFullscreen);
  ASSERT_FALSE(HasFatalFailure());
  // Neighbouring pixels differ: a column or row taken from the wrong place shows.
  const auto colour = [](int x, int y) { return std::uint32_t((x % 256) << 16 | (y % 256) << 8 | 0x40); };
  screen_lock();
  ScreenMode& m = *current_mode();
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      reinterpret_cast<std::uint32_t*>(m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch)[x] = 0xFF000000u | colour(x, y);
  screen_unlock(0, m.height - 1);

  const PictureRect fitted = fit_picture(Weston::kWidth, Weston::kHeight, weston.width(), weston.height());
  EXPECT_EQ(fitted, (PictureRect{0, 0, 1920, 1200}));
  std::string last;
  const bool fitted_shown = eventually(
      [&] {
        const std::vector<std::uint32_t> shot = weston.screenshot();
        if (shot.empty()) return (last = "no screenshot").empty();
        for (int y = 0; y < weston.height(); ++y)
          for (int x = 0; x < weston.width(); ++x) {
            const std::uint32_t p = shot[std::size_t(y) * std::size_t(weston.width()) + std::size_t(x)];
            if (p != colour(x * Weston::kWidth / fitted.width, y * Weston::kHeight / fitted.height)) {
              last = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " + std::to_string(p);
              return false;
            }
          }
        return true;
      },
      15s);
  EXPECT_TRUE(fitted_shown) << last;
  gfx_screen_close();
}

}  // namespace
