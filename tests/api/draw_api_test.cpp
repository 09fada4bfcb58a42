// Drawing, images, blits and console text through the public header alone.

#include <gtest/gtest.h>

#include <qzgfx/qzgfx.h>

#include <cstdint>
#include <set>
#include <utility>

namespace {

constexpr qz_colour kInk = 0xFF00FF00u;
constexpr float kPi = 3.14159265f;

using Pixels = std::set<std::pair<int, int>>;

Pixels drawn(const qz_image* image) {
  Pixels out;
  for (int y = 0; y < qz_image_height(image); ++y)
    for (int x = 0; x < qz_image_width(image); ++x)
      if (qz_get_pixel(image, x, y) != 0) out.insert({x, y});
  return out;
}

std::uint64_t hash(const qz_image* target, int width, int height) {
  std::uint64_t h = 1469598103934665603u;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) h = (h ^ qz_get_pixel(target, x, y)) * 1099511628211u;
  return h;
}

class DrawApi : public ::testing::Test {
 protected:
  // 8 x 4 text cells of 8 x 8 pixels.
  void SetUp() override { ASSERT_EQ(qz_screen_open(64, 32, 32, 1, QZ_NO_WINDOW, 0), 0) << qz_error_message(); }
  void TearDown() override { qz_screen_close(); }
};

TEST_F(DrawApi, WholeTurnsAndPies) {
  qz_image* ring = qz_image_create(41, 41, 4);
  qz_circle_ex(ring, 20, 20, 10, kInk, 1.0f, 0.0f, 2 * kPi, 0, QZ_ABSOLUTE);
  Pixels pixels = drawn(ring);
  for (auto [x, y] : pixels) EXPECT_TRUE(pixels.count({40 - x, y}) && pixels.count({x, 40 - y})) << x << "," << y;
  qz_clear(ring, 0);
  qz_circle(ring, 20, 20, 10, kInk);
  EXPECT_EQ(drawn(ring), pixels);
  qz_circle_ex(ring, 20, 20, 10, kInk, 1.0f, 0.0f, 2 * kPi, 1, QZ_ABSOLUTE);
  EXPECT_EQ(qz_get_pixel(ring, 20, 20), kInk);  // a disc, not an arc

  qz_clear(ring, 0);
  qz_arc(ring, 20, 20, 10, 0.0f, kPi / 2, kInk);
  EXPECT_EQ(qz_get_pixel(ring, 25, 20), 0u);
  qz_pie(ring, 20, 20, 10, 0.0f, kPi / 2, kInk);
  for (int i = 1; i < 10; ++i) {
    EXPECT_EQ(qz_get_pixel(ring, 20 + i, 20), kInk) << i;  // the line at angle 0 too
    EXPECT_EQ(qz_get_pixel(ring, 20, 20 - i), kInk) << i;
  }
  qz_image* flat = qz_image_create(90, 5, 4);
  qz_ellipse(flat, 45, 2, 41, 1, kInk, 0);  // 41 * (1 / 41.f) is short of 1: still three rows
  EXPECT_EQ(qz_get_pixel(flat, 45, 1), kInk);
  EXPECT_EQ(qz_get_pixel(flat, 45, 3), kInk);
  EXPECT_EQ(qz_get_pixel(flat, 4, 2), kInk);
  qz_image_free(flat);
  qz_image_free(ring);
}

TEST_F(DrawApi, ImagesAndBlits) {
  EXPECT_EQ(qz_image_create(0, 4, 4), nullptr);
  EXPECT_EQ(qz_last_error(), 1);
  EXPECT_STRNE(qz_error_message(), "");
  EXPECT_EQ(qz_image_create(4, 4, 3), nullptr);
  qz_image* src = qz_image_create(4, 4, 0);
  qz_image* dst = qz_image_create(6, 6, 4);
  ASSERT_TRUE(src && dst);
  EXPECT_EQ(qz_image_bytes_per_pixel(src), 4);  // the screen's
  EXPECT_EQ(qz_image_pitch(dst), 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) qz_put_pixel(src, x, y, 0xFF000000u | std::uint32_t(y * 4 + x));
  EXPECT_EQ(qz_get_pixel(src, 3, 2), 0xFF00000Bu);
  EXPECT_EQ(qz_get_pixel(src, 4, 0), 0u);
  EXPECT_EQ(qz_get_pixel(src, -1, 0), 0u);

  qz_clear(dst, 7);
  qz_blit(dst, -2, -1, src);  // source columns 2-3 of rows 1-3 land in the corner
  EXPECT_EQ(qz_get_pixel(dst, 0, 0), 0xFF000006u);
  EXPECT_EQ(qz_get_pixel(dst, 1, 2), 0xFF00000Fu);
  EXPECT_EQ(qz_get_pixel(dst, 2, 0), 7u);
  EXPECT_EQ(qz_get_pixel(dst, 0, 3), 7u);
  qz_blit_region(dst, 4, 4, src, 1, 1, 5, 5);  // clipped by both
  EXPECT_EQ(qz_get_pixel(dst, 5, 5), 0xFF00000Au);
  qz_put_pixel(src, 0, 0, 0xFF123456u);
  qz_blit_transparent(dst, 0, 0, src, 0xFF123456u);
  EXPECT_EQ(qz_get_pixel(dst, 0, 0), 0xFF000006u);
  EXPECT_EQ(qz_get_pixel(dst, 1, 0), 0xFF000001u);
  qz_image* blank = qz_image_create(2, 2, 4);  // 0: black, alpha 0
  qz_blit_transparent(dst, 0, 0, blank, QZ_BLACK);
  EXPECT_EQ(qz_get_pixel(dst, 1, 0), 0xFF000001u);
  qz_image_free(blank);

  qz_blit(nullptr, 10, 10, src);  // the screen, and back
  qz_blit_region(dst, 0, 0, nullptr, 11, 11, 1, 1);
  EXPECT_EQ(qz_last_error(), 0);
  EXPECT_EQ(qz_get_pixel(dst, 0, 0), 0xFF000005u);

  qz_image* wide = qz_image_create(32, 16, 4);  // its memory is likely the next image's
  qz_put_pixel(wide, 31, 15, kInk);
  qz_image_free(wide);
  qz_image* tall = qz_image_create(16, 32, 4);
  qz_put_pixel(tall, 15, 31, kInk);
  EXPECT_EQ(static_cast<const qz_colour*>(qz_image_pixels(tall))[32 * 16 - 1], kInk);
  qz_image_free(tall);

  qz_image* narrow = qz_image_create(4, 4, 2);
  qz_clear(narrow, 0x1234);
  qz_blit(dst, 0, 0, narrow);
  EXPECT_EQ(qz_last_error(), 1);
  EXPECT_EQ(qz_get_pixel(dst, 0, 0), 0xFF000005u);
  qz_image_free(narrow);
  qz_image_free(src);
  qz_image_free(dst);
}

TEST_F(DrawApi, PixelValuesAndPatternTilesAt16Bits) {
  qz_image* image = qz_image_create(16, 16, 2);
  qz_box_filled(image, 0, 0, 15, 15, 0x07E0);  // RGB565 green, as it is
  EXPECT_EQ(qz_get_pixel(image, 3, 3), 0x07E0u);
  qz_box(image, 0, 0, 15, 15, 0xF800);
  qz_colour tile[64];
  for (int i = 0; i < 64; ++i) tile[i] = 0xABCD0000u | std::uint32_t(i);
  qz_flood_fill_pattern(image, 5, 5, tile, 0xF800);
  EXPECT_EQ(qz_get_pixel(image, 0, 0), 0xF800u);
  for (int y = 1; y < 15; ++y)
    for (int x = 1; x < 15; ++x)
      EXPECT_EQ(qz_get_pixel(image, x, y), std::uint32_t((y % 8) * 8 + x % 8)) << x << "," << y;
  qz_image_free(image);
}

TEST_F(DrawApi, PrintWrapsScrollsAndKeepsToItsRegion) {
  qz_set_text_colours(QZ_WHITE, QZ_BLACK);
  qz_print("\xDB\xDB\xDB\xDB\xDB\xDB\xDB\xDB\xDB");  // one past the last column
  int row = 0, column = 0;
  qz_get_cursor(&row, &column);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(column, 2);
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 11), QZ_WHITE);
  qz_locate(4, 1);
  qz_print("\n");  // scrolls: the block on row 2 moves to row 1
  qz_get_cursor(&row, &column);
  EXPECT_EQ(row, 4);
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 3), QZ_WHITE);
  EXPECT_EQ(qz_get_pixel(nullptr, 12, 3), QZ_BLACK);
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 11), QZ_BLACK);

  EXPECT_EQ(qz_set_text_region(2, 5), 1);
  EXPECT_EQ(qz_set_text_region(2, 3), 0);
  qz_get_cursor(&row, &column);
  EXPECT_EQ(row, 2);
  qz_box_filled(nullptr, 0, 24, 63, 31, QZ_RED);
  qz_print(" \xDB\n\n");  // row 2 scrolls out of the region
  qz_get_cursor(&row, &column);
  EXPECT_EQ(row, 3);
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 3), QZ_WHITE);  // above the region, untouched
  EXPECT_EQ(qz_get_pixel(nullptr, 11, 3), QZ_BLACK);
  EXPECT_EQ(qz_get_pixel(nullptr, 11, 11), QZ_BLACK);
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 27), QZ_RED);  // below it
  qz_clear_text();
  EXPECT_EQ(qz_get_pixel(nullptr, 3, 3), QZ_WHITE);
}

TEST_F(DrawApi, TextSetsTheLastError) {
  qz_text(nullptr, 0, 0, nullptr, kInk);
  EXPECT_EQ(qz_last_error(), 1);
  qz_text(nullptr, 0, 0, "", kInk);
  EXPECT_EQ(qz_last_error(), 0);
}

TEST_F(DrawApi, ImageAndScreenDrawAlike) {
  qz_image* image = qz_image_create(64, 32, 4);
  auto draw = [](qz_image* t) {
    qz_clear(t, QZ_GREY);
    qz_move_to(2, 2);
    qz_line_to(t, 60, 7, QZ_RED);
    qz_line(t, -5, 30, 70, 1, QZ_BLUE);
    qz_line_ex(t, 3, 3, 20, 10, QZ_CYAN, QZ_SHAPE_BOX, QZ_DASHED, QZ_SIZE);
    qz_box(t, 40, 10, 62, 30, QZ_WHITE);
    qz_box_filled(t, 44, 20, 50, 25, QZ_ORANGE);
    qz_circle(t, 10, 20, 8, QZ_YELLOW);
    qz_circle_filled(t, 30, 20, 5.5f, QZ_PURPLE);
    qz_ellipse(t, 50, 15, 9, 4, QZ_GREEN, 1);
    qz_arc(t, 20, 16, 12, 1.0f, 4.0f, QZ_WHITE);
    qz_pie(t, 52, 8, 6, 0.5f, 2.5f, QZ_BLACK);
    qz_circle_ex(t, -30, -3, 6, QZ_RED, 0.0f, 5.0f, 1.0f, 0, QZ_FROM_LAST);
    qz_flood_fill(t, 41, 11, QZ_LIGHT_GREY, QZ_WHITE);
    qz_put_pixel(t, 63, 31, QZ_CYAN);
    qz_text(t, 1, 24, "Ab", QZ_BLACK);
  };
  draw(image);
  draw(nullptr);
  EXPECT_EQ(hash(image, 64, 32), hash(nullptr, 64, 32));
  EXPECT_NE(qz_get_pixel(nullptr, 45, 12), QZ_GREY);
  qz_image_free(image);
}

}  // namespace
