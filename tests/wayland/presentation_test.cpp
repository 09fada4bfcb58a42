// The back end in this process under headless weston: what the compositor
// shows against the framebuffer, for the whole picture, after a band of
// rows, and after a run of bands drawn as fast as an animation draws them;
// at 32 bits (copied) and 8 bits (converted); a frame drawn in two steps
// shows only its end; on an output at scale 2, buffers in device pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "gfx/screen_lock.h"
#include "qzgfx/qzgfx.h"
#include "tests/wayland/weston_session.h"
#include "xdg-shell-client.h"

using namespace qz;

namespace {

using namespace std::chrono_literals;

// The colour a framebuffer pixel stands for, as 0xRRGGBB (32 or 8 bits).
std::uint32_t framebuffer_rgb(const ScreenMode& m, int x, int y) {
  const std::uint8_t* row = m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch;
  if (m.depth == 32) return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
  const std::uint32_t e = m.device_palette[row[x]];
  return ((e & 0xFF) << 16) | (e & 0xFF00) | ((e >> 16) & 0xFF);
}

class WaylandPresentation : public ::testing::Test {
 protected:
  explicit WaylandPresentation(int output_scale = 1) : weston(Weston::kWidth, Weston::kHeight, "", output_scale) {}
  void SetUp() override {
    ASSERT_TRUE(weston.running()) << "weston did not start";
    weston.use_in_this_process();
  }
  void TearDown() override { gfx_screen_close(); }

  void open(int depth) {
    gfx_screen_res(Weston::kWidth, Weston::kHeight, depth, 1, 0, 0);
    ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
    ASSERT_STREQ(current_mode()->driver->name, "Wayland");
  }

  // Rows [first, last] filled with noise, as drawing marks them.
  void scribble(int first, int last, std::uint32_t seed) {
    std::mt19937 random(seed);
    screen_lock();
    ScreenMode& m = *current_mode();
    for (int y = first; y <= last; ++y) {
      std::uint8_t* row = m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch;
      for (int x = 0; x < m.width; ++x) {
        // Opaque, as the drawing calls' colours are: the compositor shows
        // 32-bit pages as they are, and the screenshot tool drops colours
        // whose unused byte is 0.
        const std::uint32_t value = random() | 0xFF000000u;
        if (m.depth == 32)
          std::memcpy(row + 4 * x, &value, 4);
        else
          row[x] = std::uint8_t(value);
      }
    }
    screen_unlock(first, last);
  }

  // Where the framebuffer's top left pixel lies on the output (a title bar
  // above the content moves it down): the first 16 pixels of row 0 are
  // noise, so they match in one place only. Caller holds the screen lock.
  // A window of `ww` x `wh` shows the picture scaled: (x, y) is picture
  // pixel (x * width / ww, y * height / wh).
  static bool find_content(const std::vector<std::uint32_t>& shot, const ScreenMode& m, int ww, int& ox, int& oy) {
    for (oy = 0; oy < Weston::kHeight; ++oy)
      for (ox = 0; ox + 16 <= Weston::kWidth; ++ox) {
        int x = 0;
        while (x < 16 &&
               shot[std::size_t(oy) * Weston::kWidth + std::size_t(ox + x)] == framebuffer_rgb(m, x * m.width / ww, 0))
          ++x;
        if (x == 16) return true;
      }
    return false;
  }

  // "" when the output shows the framebuffer (the part of it on the
  // output), else where it does not.
  std::string difference(int ww, int wh) {
    const std::vector<std::uint32_t> shot = weston.screenshot();
    if (shot.empty()) return "no screenshot";
    std::string where;
    screen_lock();
    const ScreenMode& m = *current_mode();
    if (ww == 0) ww = m.width, wh = m.height;
    int origin_x = 0, origin_y = 0;
    if (!find_content(shot, m, ww, origin_x, origin_y)) where = "no content on the output";
    for (int y = 0; y < std::min(wh, Weston::kHeight - origin_y) && where.empty(); ++y)
      for (int x = 0; x < std::min(ww, Weston::kWidth - origin_x) && where.empty(); ++x)
        if (shot[std::size_t(y + origin_y) * Weston::kWidth + std::size_t(x + origin_x)] !=
            framebuffer_rgb(m, x * m.width / ww, y * m.height / wh))
          where = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    screen_unlock(1, 0);
    return where;
  }

  // Over a window of `ww` x `wh` (0: the picture's size).
  bool shows_framebuffer(int ww = 0, int wh = 0) {
    std::string last;
    const bool same = eventually([&] { return (last = difference(ww, wh)).empty(); }, 10s);
    if (!same) ADD_FAILURE() << last;
    return same;
  }

  Weston weston;
};

TEST_F(WaylandPresentation, TheOutputShowsTheFramebufferAfterFullFramesBandsAndAnimation) {
  open(32);
  // The output's rate, as X11 gives the monitor's (headless weston: 60 Hz).
  EXPECT_EQ(current_mode()->refresh_rate, 60);
  EXPECT_EQ(window_host().refresh_rate.load(), 60);
  scribble(0, Weston::kHeight - 1, 1);
  EXPECT_TRUE(shows_framebuffer()) << "whole picture";

  scribble(400, 499, 2);
  EXPECT_TRUE(shows_framebuffer()) << "a band of 100 rows";

  // Bands faster than frames come: both buffers must end up whole.
  for (int frame = 0; frame < 60; ++frame) {
    const int top = (frame * 97) % (Weston::kHeight - 100);
    scribble(top, top + 99, 100 + std::uint32_t(frame));
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(shows_framebuffer()) << "after the animation";
}

// The compositor repaints whenever it likes, while the program draws at
// any time: what it shows is a copy taken between two locks, so a picture
// cleared to red and then to green inside one lock never shows red.
TEST_F(WaylandPresentation, AFrameDrawnInTwoStepsShowsOnlyItsEnd) {
  open(32);
  constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;
  std::atomic<bool> shooting{true};
  int shots = 0, red = 0, green = 0;
  std::thread shooter([&] {
    for (int i = 0; i < 10; ++i) {
      const std::vector<std::uint32_t> shot = weston.screenshot();
      shots += !shot.empty();
      red += std::count(shot.begin(), shot.end(), kRed & 0xFFFFFF) > 0;
      green += std::count(shot.begin(), shot.end(), kGreen & 0xFFFFFF) > 0;
    }
    shooting = false;
  });
  while (shooting) {
    screen_lock();
    ScreenMode& m = *current_mode();
    for (const std::uint32_t colour : {kRed, kGreen})
      for (int y = 0; y < m.height; ++y)
        std::fill_n(reinterpret_cast<std::uint32_t*>(m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch), m.width,
                    colour);
    // Frames back to back: the compositor repaints soon after a commit,
    // while the next frame is being drawn.
    screen_unlock(0, m.height - 1);
  }
  shooter.join();
  EXPECT_EQ(shots, 10);
  EXPECT_GT(green, 0) << "the frames never showed";
  EXPECT_EQ(red, 0) << "screenshots with a half-drawn frame";
}

// The test module offers idle inhibition: the window holds off the screen
// saver and idle lock while it is open, and no longer.
TEST_F(WaylandPresentation, TheOpenWindowHoldsOffTheIdleLock) {
  const auto logged = [&](const char* line) {
    return eventually([&] { return weston.log().find(line) != std::string::npos; }, 5s);
  };
  open(32);
  EXPECT_TRUE(logged("idle inhibitor created"));
  EXPECT_EQ(weston.log().find("idle inhibitor destroyed"), std::string::npos);
  gfx_screen_close();
  EXPECT_TRUE(logged("idle inhibitor destroyed"));
}

// A window narrower than the title bar's boxes: they are clipped to it.
TEST_F(WaylandPresentation, AWindowNarrowerThanItsTitleBarOpensAndShows) {
  gfx_screen_res(1, 8, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  EXPECT_STREQ(current_mode()->driver->name, "Wayland");
  EXPECT_TRUE(weston.wait_for_picture());
}

// QZGFX_SCALE=2: a window of twice the picture's size, every picture pixel
// 2 x 2 window pixels of its colour, after the whole picture and a band.
// Made fullscreen, the open window gets buffers of the output's size with
// the picture fitted into them (5.25 x: the whole output).
TEST_F(WaylandPresentation, AWindowScaledTwiceShowsEachPixelAsTwoByTwo) {
  setenv("QZGFX_SCALE", "2", 1);
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  unsetenv("QZGFX_SCALE");
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  screen_lock();
  EXPECT_EQ(window_host().window_width, 640);
  EXPECT_EQ(window_host().window_height, 400);
  screen_unlock(1, 0);
  scribble(0, 199, 11);
  EXPECT_TRUE(shows_framebuffer(640, 400)) << "whole picture";
  scribble(50, 59, 12);
  EXPECT_TRUE(shows_framebuffer(640, 400)) << "a band of 10 rows";

  host_call([] { xdg_toplevel_set_fullscreen(wayland().toplevel, nullptr); });
  EXPECT_TRUE(shows_framebuffer(Weston::kWidth, Weston::kHeight)) << "fullscreen";
  scribble(100, 109, 13);
  EXPECT_TRUE(shows_framebuffer(Weston::kWidth, Weston::kHeight)) << "a band, fullscreen";
}

// Converted rows (the palette's colours) take the same way.
TEST_F(WaylandPresentation, AnEightBitModeShowsItsPaletteColours) {
  open(8);
  scribble(0, Weston::kHeight - 1, 7);
  EXPECT_TRUE(shows_framebuffer()) << "whole picture";
  scribble(600, 699, 8);
  EXPECT_TRUE(shows_framebuffer()) << "a band of 100 rows";
}

// An output at scale 2, the picture at the default 1:1: the window keeps
// its logical size (the picture's) and its buffers are in device pixels, so
// every picture pixel is exactly 2 x 2 of them, not stretched by the
// compositor; the title bar is 24 logical rows (48 device rows); the
// pointer's logical position reaches the program as the picture pixel under it.
class WaylandHiDpi : public WaylandPresentation {
 protected:
  WaylandHiDpi() : WaylandPresentation(2) {}
};

TEST_F(WaylandHiDpi, BuffersAreInDevicePixelsAndTheWindowKeepsItsLogicalSize) {
  constexpr std::uint32_t kBackground = 0x336699;
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  qz_screen_info info{};
  ASSERT_EQ(qz_screen_get_info(&info), 0);
  EXPECT_EQ((std::array{info.window_width, info.window_height, info.picture_width, info.picture_height}),
            (std::array{640, 400, 640, 400}));
  std::array<int, 3> logical{};
  host_call([&] { logical = {wayland().logical_width, wayland().logical_height, wayland().buffer_scale}; });
  EXPECT_EQ(logical, (std::array{320, 200, 2})) << "logical size and buffer scale";

  // Every pixel differs from its neighbours: a shift or a stretch shows.
  screen_lock();
  ScreenMode& m = *current_mode();
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      reinterpret_cast<std::uint32_t*>(m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch)[x] =
          0xFF000040u | std::uint32_t(x & 0xFF) << 16 | std::uint32_t(y) << 8 | std::uint32_t(x >> 8);
  screen_unlock(0, m.height - 1);
  EXPECT_TRUE(shows_framebuffer(640, 400)) << "each picture pixel 2 x 2 device pixels";

  // The window's extent on the output: 640 x 400 device pixels of content,
  // the background right of and below it, the bar's 48 rows above it.
  const std::vector<std::uint32_t> shot = weston.screenshot();
  ASSERT_FALSE(shot.empty());
  int ox = 0, oy = 0;
  screen_lock();
  const bool found = find_content(shot, *current_mode(), 640, ox, oy);
  screen_unlock(1, 0);
  ASSERT_TRUE(found && oy >= 49 && ox + 640 < Weston::kWidth && oy + 400 < Weston::kHeight);
  const auto at = [&](int x, int y) { return shot[std::size_t(y) * Weston::kWidth + std::size_t(x)]; };
  EXPECT_EQ(at(ox + 640, oy + 100), kBackground);
  EXPECT_EQ(at(ox + 100, oy + 400), kBackground);
  EXPECT_NE(at(ox + 100, oy - 48), kBackground) << "the title bar's top row";
  EXPECT_EQ(at(ox + 100, oy - 49), kBackground);

  weston.move(101, 51);
  qz_mouse mouse{};
  EXPECT_TRUE(eventually([&] { return qz_get_mouse(&mouse) == 0 && mouse.x == 101 && mouse.y == 51; }, 5s))
      << "the pointer read (" << mouse.x << ", " << mouse.y << ")";
}

#if defined(QZ_MODULE_FRACTIONAL)
// A preferred fractional scale (the test module offers the protocol, which
// weston 10 lacks): buffers of the logical size times it, rounded, shown
// through a viewport at the logical size, so the window still covers
// 640 x 400 device pixels of this scale-2 output; a new scale makes new
// buffers and shows the picture whole.
TEST_F(WaylandHiDpi, APreferredFractionalScaleSizesTheBuffersAndTheViewportTheWindow) {
  constexpr std::uint32_t kColour = 0xC08040;
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  ASSERT_NE(current_mode(), nullptr) << driver_failure_reason();
  screen_lock();
  ScreenMode& m = *current_mode();
  for (int y = 0; y < m.height; ++y)
    std::fill_n(reinterpret_cast<std::uint32_t*>(m.visible_framebuffer + std::ptrdiff_t(y) * m.pitch), m.width,
                0xFF000000u | kColour);
  screen_unlock(0, m.height - 1);
  for (const int scale120 : {180, 300}) {
    weston.prefer_scale(scale120);
    const std::array expected{(320 * scale120 + 60) / 120, (200 * scale120 + 60) / 120};
    qz_screen_info info{};
    EXPECT_TRUE(eventually(
        [&] {
          return qz_screen_get_info(&info) == 0 && std::array{info.window_width, info.window_height} == expected;
        },
        5s))
        << scale120 << ": buffers of " << info.window_width << " x " << info.window_height;
    // The picture's colour covers exactly 640 x 400 device pixels.
    int left = Weston::kWidth, top = Weston::kHeight, right = -1, bottom = -1, count = 0;
    EXPECT_TRUE(eventually(
        [&] {
          const std::vector<std::uint32_t> shot = weston.screenshot();
          left = Weston::kWidth, top = Weston::kHeight, right = bottom = -1, count = 0;
          for (int y = 0; y < Weston::kHeight && !shot.empty(); ++y)
            for (int x = 0; x < Weston::kWidth; ++x)
              if (shot[std::size_t(y) * Weston::kWidth + std::size_t(x)] == kColour) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                ++count;
              }
          return right - left + 1 == 640 && bottom - top + 1 == 400 && count == 640 * 400;
        },
        10s))
        << scale120 << ": " << right - left + 1 << " x " << bottom - top + 1 << ", " << count << " pixels";
  }
}
#endif

}  // namespace
