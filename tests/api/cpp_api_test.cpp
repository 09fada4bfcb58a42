// The C++ layer: what it adds over the C calls (colours without C casts, an
// empty moved-from Image), through the public headers alone.

#include <gtest/gtest.h>

// The header is written for programs built with -Wold-style-cast.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wold-style-cast"
#include <qzgfx/qzgfx.hpp>
#pragma GCC diagnostic pop

#include <cstdint>
#include <utility>

namespace {

std::uint64_t screen_hash() {
  std::uint64_t h = 1469598103934665603u;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) h = (h ^ qz_get_pixel(nullptr, x, y)) * 1099511628211u;
  return h;
}

TEST(CppApi, ColoursAreTheCHeaders) {
  const std::pair<qz::Colour, qz_colour> colours[] = {
      {qz::black, QZ_BLACK}, {qz::white, QZ_WHITE},   {qz::grey, QZ_GREY},     {qz::light_grey, QZ_LIGHT_GREY},
      {qz::red, QZ_RED},     {qz::green, QZ_GREEN},   {qz::blue, QZ_BLUE},     {qz::yellow, QZ_YELLOW},
      {qz::orange, QZ_ORANGE}, {qz::purple, QZ_PURPLE}, {qz::cyan, QZ_CYAN}};
  for (auto [cpp, c] : colours) EXPECT_EQ(cpp, c);
  EXPECT_EQ(qz::rgba(1, 2, 3, 4), QZ_RGBA(1, 2, 3, 4));
}

// A moved-from image is nothing to draw on: it must not stand for the
// screen, whose target is null too.
TEST(CppApi, MovedFromImageIsEmpty) {
  qz::Screen screen(64, 32, 32, 1, QZ_NO_WINDOW);
  screen.clear(qz::grey);
  qz::Image font(8, 8);
  font.clear(qz::blue);
  qz::Image kept(std::move(font));
  ASSERT_TRUE(font.empty());
  EXPECT_FALSE(kept.empty());
  EXPECT_EQ(kept.get_pixel(7, 7), qz::blue);
  EXPECT_EQ(font.target(), nullptr);
  EXPECT_EQ(font.width(), 0);
  EXPECT_EQ(font.pixels(), nullptr);
  const std::uint64_t before = screen_hash();

  font.clear(qz::red);
  font.put_pixel(1, 1, qz::red);
  font.line(0, 0, 63, 31, qz::red, QZ_DASHED);
  font.box(0, 0, 10, 10, qz::red, true);
  font.circle(20, 20, 5, qz::red);
  font.flood_fill(1, 1, qz::red, qz::white);
  font.text(0, 0, "x", qz::red);
  EXPECT_EQ(font.get_pixel(1, 1), 0u);
  font.blit(kept, 0, 0);         // to it
  screen.blit(font, 0, 0);       // from it
  kept.blit(font, 0, 0, qz::red);
  EXPECT_FALSE(screen.text(0, 0, "x", font));
  EXPECT_EQ(screen_hash(), before);
  EXPECT_EQ(kept.get_pixel(0, 0), qz::blue);

  // Moving an empty image on passes the emptiness, and frees what was there.
  qz::Image other(2, 2);
  other = std::move(font);
  EXPECT_TRUE(other.empty());
  other.clear(qz::red);
  EXPECT_EQ(screen_hash(), before);
}

}  // namespace
