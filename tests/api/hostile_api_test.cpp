// Arguments a careless or hostile program could pass, to every kind of call:
// each ends in a failure with a fresh reason or a clipped no-op, never in a
// crash, a sanitizer report or a hang (this runs under the sanitizers too).

#include <gtest/gtest.h>

#include <qzgfx/qzgfx.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr qz_colour kInk = 0xFF00FF00u;

// Leaves a stale reason behind, so that a call's own reason can be told.
void stale_reason() {
  qz_image_create(0, 0, 4);
  ASSERT_EQ(qz_last_error(), 1);
}

template <typename Enum>
Enum out_of_range(int value) {
  Enum e;
  std::memcpy(&e, &value, sizeof e);  // what a C caller's cast passes
  return e;
}

int ink_count(const qz_image* image) {
  int n = 0;
  for (int y = 0; y < qz_image_height(image); ++y)
    for (int x = 0; x < qz_image_width(image); ++x) n += qz_get_pixel(image, x, y) == kInk;
  return n;
}

// Every drawing call with coordinates and sizes that mean nothing. Radii stay
// below a million: an ellipse walks its rows whatever the clip, so a huge one
// is slow by nature (its radius is capped, not refused).
void draw_hostile(qz_image* target) {
  const float wild[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 0.0f, -0.0f, 3.0f};
  const float radii[] = {kNaN, kInf, -kInf, -1.0f, 0.0f, 0.25f, 3.0f, 4000.0f};
  for (float a : wild)
    for (float r : radii) {
      qz_line(target, a, r, r, a, kInk);
      qz_box(target, a, 0, r, 5, kInk);
      qz_box_filled(target, a, r, 2, 2, kInk);
      qz_circle(target, a, a, r, kInk);
      qz_circle_filled(target, 3, a, r, kInk);
      qz_ellipse(target, a, 3, r, 2, kInk, 1);
      qz_arc(target, 3, 3, r, a, a, kInk);
      qz_pie(target, 3, 3, r, a, r, kInk);
      qz_circle_ex(target, 3, 3, r, kInk, r, a, r, 0, QZ_FROM_LAST);
      qz_flood_fill(target, a, r, kInk, kInk);
      qz_text(target, a, r, "x", kInk);
      qz_move_to(a, r);
      qz_line_to(target, r, a, kInk);
    }
  qz_flood_fill_pattern(target, 1, 1, nullptr, kInk);
  qz_put_pixel(target, INT_MIN, INT_MAX, kInk);
  EXPECT_EQ(qz_get_pixel(target, INT_MAX, INT_MIN), 0u);
}

TEST(HostileApi, DrawingWithWildNumbersStaysInsideTheTarget) {
  qz_image* image = qz_image_create(8, 8, 4);
  ASSERT_NE(image, nullptr);
  draw_hostile(image);  // no screen
  ASSERT_EQ(qz_screen_open(16, 16, 32, 1, QZ_NO_WINDOW, 0), 0);
  draw_hostile(image);
  draw_hostile(nullptr);
  qz_set_clip(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
  qz_set_coordinates(kNaN, 0, kInf, 1, 0);
  draw_hostile(nullptr);
  qz_reset_coordinates();
  qz_reset_clip();
  qz_screen_close();
  qz_image_free(image);
}

TEST(HostileApi, EnumerationsOutsideTheirValuesDrawNothing) {
  qz_image* image = qz_image_create(8, 8, 4);
  for (int bad : {-1, 4, 99, INT_MIN}) {
    qz_line_ex(image, 0, 0, 7, 7, kInk, out_of_range<qz_shape>(bad), QZ_SOLID, QZ_ABSOLUTE);
    qz_line_ex(image, 0, 0, 7, 7, kInk, QZ_SHAPE_BOX_FILLED, QZ_SOLID, out_of_range<qz_coords>(bad));
    qz_circle_ex(image, 4, 4, 3, kInk, 1, 0, 0, 1, out_of_range<qz_coords>(bad));
    stale_reason();
    EXPECT_EQ(qz_text_ex(image, 0, 0, "a", 1, kInk, nullptr, out_of_range<qz_coords>(bad)), 1);
    EXPECT_NE(std::strstr(qz_error_message(), "qz_text_ex"), nullptr) << qz_error_message();
  }
  EXPECT_EQ(ink_count(image), 0);
  qz_image_free(image);
}

TEST(HostileApi, TextOfEveryByteNullAndOverlongLengths) {
  qz_image* image = qz_image_create(16, 8, 4);
  std::string every;
  for (int c = 1; c < 256; ++c) every += char(c);
  qz_text(image, -100, 0, every.c_str(), kInk);
  qz_text(image, 0, 0, nullptr, kInk);
  stale_reason();
  EXPECT_EQ(qz_text_ex(image, 0, 0, nullptr, 5, kInk, nullptr, QZ_ABSOLUTE), 1);
  EXPECT_NE(std::strstr(qz_error_message(), "NULL"), nullptr) << qz_error_message();
  // Only the visible glyphs are read: two of "ab", however long it claims to be.
  EXPECT_EQ(qz_text_ex(image, 0, 0, "ab", SIZE_MAX, kInk, nullptr, QZ_ABSOLUTE), 0);
  EXPECT_GT(ink_count(image), 0);
  qz_image* broken = qz_image_create(4, 4, 4);  // its first row is no glyph table
  qz_clear(broken, 0xFFFFFFFFu);
  stale_reason();
  EXPECT_EQ(qz_text_ex(image, 0, 0, "a", 1, kInk, broken, QZ_ABSOLUTE), 1);
  EXPECT_NE(std::strstr(qz_error_message(), "font"), nullptr) << qz_error_message();
  qz_image_free(broken);
  qz_image_free(image);
  qz_set_title(every.c_str());
  qz_set_title(nullptr);
}

TEST(HostileApi, BlitsOverlappingAndOutOfRange) {
  qz_image* image = qz_image_create(8, 8, 4);
  for (int i = 0; i < 64; ++i) qz_put_pixel(image, i % 8, i / 8, 0xFF000000u | unsigned(i));
  qz_blit_region(image, 1, 1, image, 0, 0, 7, 7);  // onto itself, down and right
  EXPECT_EQ(qz_get_pixel(image, 7, 7), 0xFF000000u | 54u);
  EXPECT_EQ(qz_get_pixel(image, 1, 1), 0xFF000000u);
  for (int v : {INT_MIN, -9, 9, INT_MAX}) {
    const int w = v == INT_MIN ? INT_MAX : -v;
    qz_blit_region(image, v, w, image, v, v, v, w);
    qz_blit_region(image, 0, 0, image, v, 0, INT_MAX, INT_MAX);
    qz_blit_transparent(image, v, v, image, 0);
  }
  qz_blit(nullptr, 0, 0, image);  // no screen: nothing to copy to
  EXPECT_EQ(qz_last_error(), 0);
  qz_image_free(image);
}

TEST(HostileApi, ScreenCallsBeforeOpeningAndAfterClosing) {
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {
      ASSERT_EQ(qz_screen_open(16, 16, 8, 2, QZ_NO_WINDOW, 0), 0);
      qz_screen_close();
    }
    qz_screen_info info;
    stale_reason();
    EXPECT_EQ(qz_screen_get_info(&info), 1);
    EXPECT_EQ(qz_screen_get_info(nullptr), 1);
    EXPECT_EQ(qz_set_pages(1, 1), 1);
    EXPECT_EQ(qz_flip(), 1);
    EXPECT_EQ(qz_set_palette(0, 1, 2, 3), 1);
    EXPECT_EQ(qz_get_palette(0, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(qz_screen_pixels(), nullptr);
    qz_screen_mark_rows(INT_MIN, INT_MAX);
    qz_frame_begin();
    qz_frame_end();
    qz_print("text\n");
    qz_locate(INT_MIN, INT_MAX);
    EXPECT_EQ(qz_set_text_region(1, 2), 1);
    qz_clear_text();
    qz_mouse mouse;
    EXPECT_EQ(qz_get_mouse(&mouse), 1);
    EXPECT_EQ(qz_get_mouse(nullptr), 1);
    EXPECT_EQ(qz_set_mouse(INT_MIN, INT_MAX), 1);
    EXPECT_EQ(qz_read_key(), 0);
    EXPECT_EQ(qz_key_down(-1), 0);
    qz_event event;
    EXPECT_EQ(qz_poll_event(nullptr), 0);
    EXPECT_EQ(qz_wait_event(&event, 0), 0);
  }
  EXPECT_EQ(qz_screen_open(INT_MAX, INT_MAX, 32, 1, QZ_NO_WINDOW, 0), 1);
  EXPECT_EQ(qz_screen_open(16, 16, 7, 1, QZ_NO_WINDOW, 0), 1);
  EXPECT_EQ(qz_screen_open(16, 16, 32, INT_MAX, QZ_NO_WINDOW, 0), 1);
  EXPECT_EQ(qz_screen_open_mode(INT_MIN, 0, 0, QZ_NO_WINDOW, 0), 1);
  EXPECT_EQ(qz_screen_is_open(), 0);
}

}  // namespace
