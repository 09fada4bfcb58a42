// The picture in a window of another size: the fitted rectangle, window
// sizes by factor and for a desktop, the scale variable, pointer positions
// over the picture and its bars, and the scaled rows pixel by pixel.

#include "display/picture_fit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace qz;

TEST(PictureFit, RectanglesAndWindowSizes) {
  EXPECT_EQ(fit_picture(320, 200, 1920, 1200), (PictureRect{0, 0, 1920, 1200}));
  EXPECT_EQ(fit_picture(320, 200, 1000, 1000), (PictureRect{0, 187, 1000, 625}));    // bars above and below
  EXPECT_EQ(fit_picture(1680, 1050, 1366, 768), (PictureRect{69, 0, 1228, 768}));    // bars at the sides
  EXPECT_EQ(fit_picture(320, 200, 0, 480), PictureRect{});

  EXPECT_EQ(scaled_window_size(320, 200, 3, 0, 0).width, 960);
  EXPECT_EQ(scaled_window_size(320, 200, 0, 1920, 1160).width, 1600);  // 6 x would not fit the work area
  EXPECT_EQ(scaled_window_size(320, 200, 0, 1 << 20, 1 << 20).width, 2560);  // 8 x at most
  const WindowSize laptop = scaled_window_size(1680, 1050, 0, 1366, 768);
  EXPECT_EQ(laptop.width, 1228);
  EXPECT_EQ(laptop.height, 768);

  // HiDPI: the display's factor as far as the window still fits.
  EXPECT_EQ(dpi_factor(144), 1);
  EXPECT_EQ(dpi_factor(288), 3);
  EXPECT_EQ(window_size_at_dpi(320, 200, 2, 2, 3840, 2160).width, 1280);
  EXPECT_EQ(window_size_at_dpi(1680, 1050, 1, 2, 2560, 1440).width, 1680);  // 2 x would not fit

  EXPECT_EQ(parse_window_scale("auto"), 0);
  EXPECT_EQ(parse_window_scale("8"), 8);
  for (const char* refused : {"9", "0", "", "2x", "AUTO"}) EXPECT_EQ(parse_window_scale(refused), kScaleRefused) << refused;
  EXPECT_EQ(parse_window_scale(nullptr), kScaleUnset);
}

TEST(PictureFit, PointerPositionsAreClampedToThePicture) {
  const PictureRect rect = fit_picture(320, 200, 1000, 1000);  // y 187..811, 3.125 x
  EXPECT_EQ(window_to_picture(rect, 320, 200, 0, 0).y, 0);      // over the top bar
  EXPECT_EQ(window_to_picture(rect, 320, 200, 999, 999).x, 319);
  EXPECT_EQ(window_to_picture(rect, 320, 200, 999, 999).y, 199);
  EXPECT_EQ(window_to_picture(rect, 320, 200, 500, 187 + 312).y, 99);
  EXPECT_EQ(window_to_picture(rect, 320, 200, 500, 187 + 313).y, 100);
}

// Every picture pixel is a 3 x 3 block at a whole factor; only the rows of
// the marked picture rows are written; the bars are black.
TEST(PictureFit, WholeFactorScalingIsExact) {
  constexpr int kW = 7, kH = 5, kN = 3, kWindowW = kW * kN + 4, kWindowH = kH * kN;
  std::vector<std::uint32_t> picture(kW * kH);
  for (int i = 0; i < kW * kH; ++i) picture[std::size_t(i)] = 0x01000000u * std::uint32_t(i + 1) | 0x00ABCDu;
  std::vector<std::uint32_t> window(kWindowW * kWindowH, 0xEEEEEEEEu);
  PictureScaler scaler;
  scaler.configure(kW, kH, fit_picture(kW, kH, kWindowW, kWindowH), 4);
  ASSERT_EQ(scaler.rect(), (PictureRect{2, 0, kW * kN, kH * kN}));

  auto* dest = reinterpret_cast<std::uint8_t*>(window.data());
  const RowSpan span = scaler.scale_rows(reinterpret_cast<const std::uint8_t*>(picture.data()), kW * 4, 1, 2, dest,
                                         kWindowW * 4);
  EXPECT_EQ(span.first, 3);
  EXPECT_EQ(span.last, 8);
  for (int y = 0; y < kWindowH; ++y)
    for (int x = 2; x < 2 + kW * kN; ++x) {
      const bool written = y >= 3 && y <= 8;
      const std::uint32_t expected = written ? picture[std::size_t(y / kN * kW + (x - 2) / kN)] : 0xEEEEEEEEu;
      ASSERT_EQ(window[std::size_t(y * kWindowW + x)], expected) << x << "," << y;
    }
  scaler.clear_bars(dest, kWindowW * 4, kWindowW, kWindowH);
  for (int y = 0; y < kWindowH; ++y)
    for (int x : {0, 1, kWindowW - 2, kWindowW - 1}) EXPECT_EQ(window[std::size_t(y * kWindowW + x)], 0u);
  EXPECT_EQ(window[std::size_t(4 * kWindowW + 2)], picture[std::size_t(kW)]);  // the picture left alone
}
