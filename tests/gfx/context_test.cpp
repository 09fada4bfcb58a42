// The drawing context: colour resolution, pixel conversion, re-initialisation
// on a new mode, blending, and the nesting screen lock.

#include <gtest/gtest.h>

#include <semaphore>
#include <thread>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "gfx/circle.h"
#include "gfx/context.h"
#include "gfx/line.h"
#include "gfx/paint.h"
#include "gfx/pixel_routines.h"
#include "gfx/screen_lock.h"
#include "gfx/text.h"
#include "gfx/view.h"
#include "tests/support/canvas.h"

using namespace qz;

namespace {

class Context : public ::testing::Test {
 protected:
  void SetUp() override { set_null_mode(); }
  std::uint32_t* screen() { return reinterpret_cast<std::uint32_t*>(current_mode()->visible_framebuffer); }
};

TEST_F(Context, ColourResolution) {
  EXPECT_EQ(gfx_resolve_colour(4, 15), 15u);
  EXPECT_EQ(gfx_resolve_colour(4, 0xFFD2D2D2), 0xFFD2D2D2u);
  EXPECT_EQ(gfx_resolve_colour(2, 0xFFD2D2D2), 0xD69Au);
  EXPECT_EQ(gfx_resolve_colour(1, 0x1234), 0x34u);
  set_null_mode(64, 64, 16);
  gfx_line(nullptr, 0, 0, 0, 0, 0xFFD2D2D2, kLine, 0xFFFF, 0);
  EXPECT_EQ(*reinterpret_cast<std::uint16_t*>(current_mode()->visible_framebuffer), 0xD69A);
  set_null_mode(64, 64, 8);
  EXPECT_EQ(gfx_context().foreground, 15u);
  EXPECT_EQ(gfx_context().background, 0u);
}

TEST_F(Context, PixelConversionRoundsHalvesAwayFromZero) {
  GfxContext& ctx = gfx_context();
  struct { float in; std::int64_t out; } cases[] = {{10.5f, 11}, {-10.5f, -11}, {10.49f, 10}, {2.5f, 3},
                                                    {-2.5f, -3}, {0.49f, 0}, {0.0f, 0}, {-0.0f, 0}};
  for (auto c : cases) EXPECT_EQ(gfx_to_pixel(ctx, c.in, 0).x, c.out) << c.in;
  EXPECT_EQ(gfx_to_pixel(ctx, 1e30f, -1e30f).x, kCoordinateLimit);
  EXPECT_EQ(gfx_to_pixel(ctx, 1e30f, -1e30f).y, -kCoordinateLimit);
}

TEST_F(Context, NewModeReinitialisesEveryThreadsContext) {
  GfxContext& ctx = gfx_context();
  gfx_line(nullptr, 3, 4, 5, 6, 1, kLine, 0xFFFF, 0);
  ctx.foreground = 0x1234;
  EXPECT_EQ(ctx.last_x, 5.0f);
  int first_id = ctx.mode_id;
  set_null_mode(100, 50, 32);
  GfxContext& again = gfx_context();
  EXPECT_NE(again.mode_id, first_id);
  EXPECT_EQ(again.foreground, 0xFFFFFFFFu);
  EXPECT_EQ(again.background, 0xFF000000u);
  EXPECT_EQ(again.last_x, 0.0f);
  EXPECT_EQ(again.view_width, 100);
  EXPECT_EQ(again.view_height, 50);
  EXPECT_EQ(screen()[0], 0xFF000000u);  // pages start in the background colour
}

TEST_F(Context, AThreadThatDrewUnderOneModeFollowsTheNext) {
  std::binary_semaphore go(0), done(0);
  int view_width = 0, view_height = 0;
  std::size_t rows = 0;
  std::thread worker([&] {
    gfx_line(nullptr, 0, 199, 319, 199, 7, kLine, 0xFFFF, 0);
    done.release();
    go.acquire();
    gfx_line(nullptr, 0, 49, 1000, 49, 9, kLine, 0xFFFF, 0);  // clipped to the new view
    view_width = gfx_context().view_width;
    view_height = gfx_context().view_height;
    rows = gfx_context().rows.size();
    done.release();
  });
  done.acquire();
  EXPECT_EQ(screen()[199 * 320 + 319], 7u);
  set_null_mode(100, 50, 32);
  go.release();
  done.acquire();
  worker.join();
  EXPECT_EQ(view_width, 100);
  EXPECT_EQ(view_height, 50);
  EXPECT_EQ(rows, 50u);
  EXPECT_EQ(screen()[49 * 100 + 0], 9u);
  EXPECT_EQ(screen()[49 * 100 + 99], 9u);
  EXPECT_EQ(screen()[48 * 100 + 99], 0xFF000000u);
  EXPECT_EQ(current_mode()->dirty_rows[49], 1);
}

TEST_F(Context, ForegroundBitOnCirclesPaintAndText) {
  const auto fg = static_cast<std::int32_t>(kUseForeground);
  GfxContext& ctx = gfx_context();
  ctx.foreground = 0xFF123456;
  gfx_circle(nullptr, 20, 20, 1, 1, 0.0f, 0.0f, kFullTurn, 0, 4 | fg);
  EXPECT_EQ(screen()[19 * 320 + 20], 0xFF123456u);
  ctx.foreground = 0xFF654321;  // the border stays the argument
  gfx_paint(nullptr, 20, 20, 1, 0xFF123456, "", kPaintSolid, 4 | fg);
  EXPECT_EQ(screen()[20 * 320 + 20], 0xFF654321u);
  EXPECT_EQ(screen()[20 * 320 + 22], 0xFF000000u);
  ctx.foreground = 0xFF0000AA;
  EXPECT_EQ(gfx_draw_string(nullptr, 40, 40, 4 | fg, "\xDB", 1, nullptr, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(screen()[40 * 320 + 40], 0xFF0000AAu);
}

// A one-point primitive takes kinds 3 and 5 relative to the last point; kind
// 1 only makes a second point relative, so its one point stays absolute.
TEST_F(Context, OnePointPrimitivesAndRelativeKinds) {
  auto px = [&](int x, int y) { return screen()[y * 320 + x]; };
  for (int kind : {1, 3, 5}) {
    set_null_mode();
    GfxContext& ctx = gfx_context();
    const int o = kind == 1 ? 0 : 20;
    ctx.last_x = ctx.last_y = 20;
    gfx_circle(nullptr, 30, 30, 1, 2, 0.0f, 0.0f, kFullTurn, 0, kind);
    EXPECT_EQ(px(30 + o, 29 + o), 2u) << kind;
    EXPECT_EQ(ctx.last_x, 30.0f + o) << kind;
    gfx_circle(nullptr, 100, 100, 3, 3, 0.0f, 0.0f, kFullTurn, 0, 4);
    ctx.last_x = ctx.last_y = 20;
    gfx_paint(nullptr, 80, 80, 4, 3, "", kPaintSolid, kind);  // inside the ring only when relative
    EXPECT_EQ(px(100, 100) == 4u, o != 0) << kind;
    EXPECT_EQ(px(0, 0) == 4u, o == 0) << kind;
    ctx.last_x = ctx.last_y = 20;
    gfx_draw_string(nullptr, 200, 100, kind, "\xDB", 5, nullptr, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(px(200 + o, 100 + o), 5u) << kind;
    EXPECT_NE(px(199 + o, 100 + o), 5u) << kind;
    EXPECT_EQ(ctx.last_y, 100.0f + o) << kind;
  }
}

TEST_F(Context, BlendingOnlyWhenTheModeAsksAndAlphaIsNotOpaque) {
  screen()[0] = 0xFF000000;
  gfx_line(nullptr, 0, 0, 0, 0, 0x80FFFFFF, kLine, 0xFFFF, 0);
  EXPECT_EQ(screen()[0], 0x80FFFFFFu);  // no blending asked: stored as it is
  setenv("QZGFX", "null", 1);
  gfx_screen_res(320, 200, 32, 1, kModeAlphaBlend, 0);
  gfx_line(nullptr, 0, 0, 1, 0, 0x80FFFFFF, kLine, 0xFFFF, 0);
  EXPECT_EQ(screen()[0], blend_pixel(0x80FFFFFF, 0xFF000000));
  EXPECT_EQ(screen()[0], 0x807F7F7Fu);  // the destination alpha is replaced by the source's
  gfx_line(nullptr, 0, 1, 0, 1, 0xFF102030, kLine, 0xFFFF, 0);
  EXPECT_EQ(screen()[320], 0xFF102030u);
}

int g_locks = 0, g_unlocks = 0;
const DisplayDriver kCountingDriver = {
    "Counting", nullptr, nullptr, [] { ++g_locks; }, [] { ++g_unlocks; }, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

TEST_F(Context, NestedScreenLocksReachTheDriverOnce) {
  ScreenMode* mode = current_mode();
  mode->lock = kCountingDriver.lock;
  mode->unlock = kCountingDriver.unlock;
  g_locks = g_unlocks = 0;
  screen_lock();
  screen_lock();
  gfx_line(nullptr, 0, 0, 10, 10, 1, kLine, 0xFFFF, 0);
  EXPECT_EQ(mode->lock_count, 2);
  screen_unlock(1, 0);
  EXPECT_EQ(g_unlocks, 0);
  screen_unlock(1, 0);
  EXPECT_EQ(g_locks, 1);
  EXPECT_EQ(g_unlocks, 1);
  gfx_line(nullptr, 0, 0, 10, 10, 1, kLine, 0xFFFF, 0);
  EXPECT_EQ(g_locks, 2);
  // Unlock with a row range marks rows; (1, 0) marks none.
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 0);
  screen_lock();
  screen_unlock(-5, -1);
  EXPECT_EQ(std::count(mode->dirty_rows.begin(), mode->dirty_rows.end(), 1), 200);
  mode->lock = null_driver.lock;
  mode->unlock = null_driver.unlock;
}

TEST_F(Context, ViewsClipAndOffsetWindowsMap) {
  gfx_set_view(10, 20, 19, 29, false);
  gfx_line(nullptr, 0, 0, 100, 0, 1, kLine, 0xFFFF, 0);  // view-relative: row 20 from column 10
  EXPECT_EQ(screen()[20 * 320 + 10], 1u);
  EXPECT_EQ(screen()[20 * 320 + 19], 1u);
  EXPECT_EQ(screen()[20 * 320 + 20], 0xFF000000u);
  gfx_set_view(10, 20, 19, 29, true);
  gfx_line(nullptr, 0, 25, 100, 25, 2, kLine, 0xFFFF, 0);  // absolute pixels, still clipped
  EXPECT_EQ(screen()[25 * 320 + 9], 0xFF000000u);
  EXPECT_EQ(screen()[25 * 320 + 10], 2u);
  gfx_reset_view();
  // A window of 0..1 over the whole screen, y upwards: (0, 0) is the bottom-left pixel.
  gfx_set_window(0, 0, 1, 1, false);
  gfx_line(nullptr, 0, 0, 0, 0, 3, kLine, 0xFFFF, 0);
  gfx_line(nullptr, 1, 1, 1, 1, 4, kLine, 0xFFFF, 0);
  EXPECT_EQ(screen()[199 * 320 + 0], 3u);
  EXPECT_EQ(screen()[0 * 320 + 319], 4u);
  gfx_set_window(0, 0, 1, 1, true);
  gfx_line(nullptr, 0, 0, 0, 0, 5, kLine, 0xFFFF, 0);
  EXPECT_EQ(screen()[0], 5u);
  gfx_reset_window();
}

TEST_F(Context, ImageTargetsKeepTheScreenView) {
  Canvas c(10, 10);
  gfx_line(c.target(), 0, 0, 9, 0, 1, kLine, 0xFFFF, 0);
  EXPECT_EQ(gfx_context().view_width, 10);
  gfx_line(nullptr, 0, 0, 319, 0, 1, kLine, 0xFFFF, 0);
  EXPECT_EQ(gfx_context().view_width, 320);
  EXPECT_EQ(screen()[319], 1u);
  // Headers that claim more than their memory holds are refused.
  std::vector<std::uint8_t> small(kLongImageHeader + 16);
  write_image_header(small.data(), 4, 100, 100);
  ImageRef lying{small.data(), small.size()};
  gfx_line(&lying, 0, 0, 99, 99, 1, kBoxFilled, 0xFFFF, 0);
  EXPECT_FALSE(read_image_header(lying, 4).has_value());
  std::uint8_t short_header[4 + 3 * 2 * 4] = {};
  short_header[0] = std::uint8_t((3 << 3) | 0);  // width 3, the screen's pixel size
  short_header[2] = 2;
  auto info = read_image_header(ImageRef{short_header, sizeof short_header}, 4);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->pitch, 12);
  // Its low bits never name another pixel size: the screen's holds.
  short_header[0] = std::uint8_t((3 << 3) | 3);
  info = read_image_header(ImageRef{short_header, sizeof short_header}, 2);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->bytes_per_pixel, 2);
}

TEST_F(Context, AnImageRemadeInTheSameMemoryIsReadAgain) {
  // 64 x 16 at 4 bytes, then 256 x 16 at 1 byte in the same bytes (an image
  // freed by another thread and a new one placed where it was).
  std::vector<std::uint8_t> bytes(kLongImageHeader + 64 * 16 * 4);
  ImageRef image{bytes.data(), bytes.size()};
  write_image_header(bytes.data(), 4, 64, 16);
  gfx_line(&image, 0, 0, 63, 15, 0x01010101, kBoxFilled, 0xFFFF, 0);
  write_image_header(bytes.data(), 1, 256, 16);
  std::fill(bytes.begin() + kLongImageHeader, bytes.end(), 0);
  gfx_line(&image, 0, 0, 255, 15, 7, kBoxFilled, 0xFFFF, 0);
  EXPECT_EQ(std::count(bytes.begin() + kLongImageHeader, bytes.end(), 7), 256 * 16);
}

}  // namespace
