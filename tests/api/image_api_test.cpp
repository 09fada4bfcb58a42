// Images need no screen; a thread's clip outlives page changes; threads that
// draw on their own images are untouched by the screen's reopening.

#include <gtest/gtest.h>

#include <qzgfx/qzgfx.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr qz_colour kInk = 0xFF00FF00u;

int count(const qz_image* image, qz_colour colour) {
  int n = 0;
  for (int y = 0; y < qz_image_height(image); ++y)
    for (int x = 0; x < qz_image_width(image); ++x) n += qz_get_pixel(image, x, y) == colour;
  return n;
}

// Every kind of drawing, on a 32 x 32 image; returns the ink pixels' count
// of each step so that two runs can be compared.
std::vector<int> draw_everything(qz_image* image) {
  std::vector<int> counts;
  qz_clear(image, QZ_BLACK);
  qz_box_filled(image, 2, 2, 5, 5, kInk);
  counts.push_back(count(image, kInk));
  qz_line(image, 0, 31, 31, 31, kInk);
  qz_circle(image, 16, 16, 6, kInk);
  counts.push_back(count(image, kInk));
  qz_flood_fill(image, 16, 16, kInk, kInk);
  counts.push_back(count(image, kInk));
  qz_text(image, 0, 20, "A", QZ_RED);
  counts.push_back(count(image, QZ_RED));
  qz_put_pixel(image, 31, 0, QZ_BLUE);
  counts.push_back(int(qz_get_pixel(image, 31, 0) == QZ_BLUE));
  return counts;
}

TEST(ImageApi, ImagesDrawAloneAsWithAScreenOnAnyThread) {
  ASSERT_EQ(qz_screen_is_open(), 0);
  qz_image* image = qz_image_create(32, 32, 4);
  const std::vector<int> alone = draw_everything(image);
  EXPECT_EQ(alone[0], 16);
  EXPECT_GT(alone[1], alone[0] + 32);
  EXPECT_GT(alone[2], alone[1]);
  EXPECT_GT(alone[3], 10);  // the 8 x 8 font's "A"
  EXPECT_EQ(alone[4], 1);
  std::vector<int> other;
  std::thread([&] { other = draw_everything(image); }).join();
  EXPECT_EQ(other, alone);
  ASSERT_EQ(qz_screen_open(64, 48, 32, 1, QZ_NO_WINDOW, 0), 0);
  EXPECT_EQ(draw_everything(image), alone);
  qz_screen_close();
  qz_image_free(image);
}

TEST(ImageApi, TheClipOutlivesPageChanges) {
  ASSERT_EQ(qz_screen_open(64, 48, 32, 2, QZ_NO_WINDOW, 0), 0);
  auto outside_clip = [] {
    int n = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        n += (x < 10 || x > 20 || y < 10 || y > 20) && qz_get_pixel(nullptr, x, y) == kInk;
    return n;
  };
  qz_set_clip(10, 10, 20, 20, 0);
  EXPECT_EQ(qz_flip(), 0);
  qz_line(nullptr, 0, 0, 63, 47, kInk);
  EXPECT_EQ(outside_clip(), 0);
  EXPECT_EQ(qz_set_pages(0, -1), 0);
  qz_box_filled(nullptr, 0, 0, 63, 47, kInk);
  EXPECT_EQ(outside_clip(), 0);
  EXPECT_EQ(qz_get_pixel(nullptr, 15, 15), kInk);
  // An image in between leaves the screen's clip as it was.
  qz_image* image = qz_image_create(8, 8, 4);
  qz_box_filled(image, 0, 0, 7, 7, kInk);
  EXPECT_EQ(count(image, kInk), 64);
  EXPECT_EQ(qz_set_pages(1, -1), 0);
  qz_box_filled(nullptr, 0, 0, 63, 47, kInk);
  EXPECT_EQ(outside_clip(), 0);
  qz_image_free(image);
  qz_screen_close();
}

TEST(ImageApi, ReopeningTheScreenLeavesOtherThreadsImagesAlone) {
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 2; ++t)
    workers.emplace_back([&, t] {
      qz_image* image = qz_image_create(32, 32, 4);
      qz_image* sprite = qz_image_create(4, 4, 4);
      qz_clear(sprite, kInk);
      const std::vector<int> expected = draw_everything(image);
      while (!stop.load()) {
        if (draw_everything(image) != expected) ++wrong;
        qz_blit(image, 28 - t, 28, sprite);
        qz_text_ex(image, 0, 0, "qz", 2, kInk, nullptr, QZ_ABSOLUTE);
      }
      qz_image_free(sprite);
      qz_image_free(image);
    });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(qz_screen_open(64 + 8 * (i % 3), 48, i % 2 ? 16 : 32, 1 + i % 2, QZ_NO_WINDOW, 0), 0);
    qz_line(nullptr, 0, 0, 40, 40, kInk);
    qz_screen_close();
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ImageApi, KeyReadersAndDrawingShareTheScreenLockRaceFree) {
  ASSERT_EQ(qz_screen_open(64, 48, 32, 1, QZ_NO_WINDOW, 0), 0);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) qz_key_pending();
  });
  for (int i = 0; i < 2000; ++i) qz_line(nullptr, 0, 0, 63, i % 48, kInk);
  stop = true;
  reader.join();
  EXPECT_EQ(qz_get_pixel(nullptr, 0, 0), kInk);
  qz_screen_close();
}

}  // namespace
