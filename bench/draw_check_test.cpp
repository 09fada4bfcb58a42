#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/api_draw.h"
#include "bench/library_draw.h"
#include "bench/null_screen.h"
#include "bench/plain_draw.h"
#include "bench/workloads.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#ifdef QZ_BENCH_HAVE_OPENCV
#include "bench/opencv_draw.h"
#endif
#ifdef QZ_BENCH_HAVE_SDL2
#include "bench/sdl_draw.h"
#endif

using namespace qz;

// Every benchmark column must draw the workloads on the shared frame with
// the right colours (channel order) and the right region, or its timings
// compare different work.

namespace {

struct Column {
  std::string name;
  std::function<bool(WorkloadKind)> supports;
  std::function<void(std::uint8_t*, const Workload&)> draw;
  std::function<std::uint8_t*()> frame = null_screen;  // what it draws on
};

std::uint8_t* image_frame() {
  null_screen();  // drawing on an image needs a mode
  return api_image_frame();
}

std::vector<Column> columns() {
  std::vector<Column> all;
  auto every = [](WorkloadKind) { return true; };
  all.push_back({"library", every, [](std::uint8_t*, const Workload& w) { library_draw(w); }});
  all.push_back({"plain", every, plain_draw});
  all.push_back({"api", every, [](std::uint8_t*, const Workload& w) { api_draw(nullptr, w); }});
  all.push_back({"image", every, [](std::uint8_t*, const Workload& w) { api_draw(api_image(), w); }, image_frame});
#ifdef QZ_BENCH_HAVE_OPENCV
  all.push_back({"opencv", [](WorkloadKind) { return true; }, opencv_draw});
#endif
#ifdef QZ_BENCH_HAVE_SDL2
  all.push_back({"sdl2", SdlCanvas::supports, [](std::uint8_t* frame, const Workload& w) { SdlCanvas(frame).draw(w); }});
#endif
  return all;
}

const std::vector<Workload>& workloads() {
  static const std::vector<Workload> all = make_workloads();
  return all;
}

std::uint32_t pixel(const std::uint8_t* frame, int x, int y) {
  std::uint32_t p;
  std::memcpy(&p, frame + (std::size_t(y) * kFrameWidth + std::size_t(x)) * 4, 4);
  return p;
}

// Draws the named workload on a fresh canvas with each column that has it.
template <typename Check>
void for_each_column(const char* name, Check&& check) {
  const Workload& w = find_workload(workloads(), name);
  for (const Column& c : columns()) {
    if (!c.supports(w.kind)) continue;
    SCOPED_TRACE(c.name + " " + name);
    std::uint8_t* frame = c.frame();
    reset_canvas(frame);
    c.draw(frame, w);
    check(frame, w);
  }
}

std::size_t count_colour(const std::uint8_t* frame, std::uint32_t colour) {
  std::size_t n = 0;
  for (int y = 0; y < kFrameHeight; ++y)
    for (int x = 0; x < kFrameWidth; ++x) n += pixel(frame, x, y) == colour;
  return n;
}

TEST(BenchColumns, TheScreenIsTheNullDriversWhateverModeCameBefore) {
  // Other benchmarks leave other modes behind (the picture's, a window's).
  setenv("QZGFX", "null", 1);
  gfx_screen_res(640, 480, 32, 1, 0, 0);
  std::uint8_t* frame = null_screen();
  const ScreenMode* mode = current_mode();
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(frame, mode->visible_framebuffer);
  EXPECT_EQ(mode->driver, &null_driver);
  EXPECT_EQ(mode->width, kFrameWidth);
  EXPECT_EQ(mode->height, kFrameHeight);
  EXPECT_EQ(mode->pitch, kFrameWidth * 4);
  EXPECT_EQ(null_screen(), frame);  // kept while it fits
}

TEST(BenchColumns, WholeScreenWorkloadsCoverEveryPixel) {
  for (const char* name : {"W1", "W7"}) {
    for_each_column(name, [](const std::uint8_t* frame, const Workload& w) {
      EXPECT_EQ(count_colour(frame, w.items[0].colour), kFrameBytes / 4);
    });
  }
}

TEST(BenchColumns, LinesAndFilledCirclesLandWhereTheItemsSay) {
  // The last item is drawn over everything before it.
  for_each_column("W2", [](const std::uint8_t* frame, const Workload& w) {
    const WorkloadItem& last = w.items.back();
    EXPECT_EQ(pixel(frame, last.x0, last.y0), last.colour);
    EXPECT_EQ(pixel(frame, last.x1, last.y1), last.colour);
  });
  for_each_column("W8", [](const std::uint8_t* frame, const Workload& w) {
    const WorkloadItem& last = w.items.back();
    EXPECT_EQ(pixel(frame, last.x0, last.y0), last.colour);
  });
}

TEST(BenchColumns, PlainLoopLeavesTheLibrarysFrameWherePixelsAreDefined) {
  // A box, a whole-screen fill and the integer line from its first end point
  // leave a rasteriser no choice: a difference is a fault in one of the two
  // (the library's lines are walked in clipped pieces, the plain one whole).
  for (const char* name : {"W1", "W2", "W3", "W7"}) {
    SCOPED_TRACE(name);
    const Workload& w = find_workload(workloads(), name);
    std::uint8_t* frame = null_screen();
    reset_canvas(frame);
    library_draw(w);
    std::vector<std::uint8_t> library(frame, frame + kFrameBytes);
    reset_canvas(frame);
    plain_draw(frame, w);
    EXPECT_EQ(std::memcmp(frame, library.data(), kFrameBytes), 0);
  }
}

TEST(BenchColumns, PublicApiOnScreenAndImageDrawsWhatTheInternalCallsDraw) {
  // Same library underneath: any difference is the wrapper's (colour, point
  // kind, aspect, target) or the image target's.
  for (const Workload& w : workloads()) {
    SCOPED_TRACE(w.name);
    std::uint8_t* frame = null_screen();
    reset_canvas(frame);
    library_draw(w);
    std::vector<std::uint8_t> library(frame, frame + kFrameBytes);
    reset_canvas(frame);
    api_draw(nullptr, w);
    EXPECT_EQ(std::memcmp(frame, library.data(), kFrameBytes), 0) << "screen";
    std::uint8_t* image = image_frame();
    reset_canvas(image);
    api_draw(api_image(), w);
    EXPECT_EQ(std::memcmp(image, library.data(), kFrameBytes), 0) << "image";
  }
}

TEST(BenchColumns, RingsAreBorderedAndFilledOnlyWhenAsked) {
  for_each_column("W6", [](const std::uint8_t* frame, const Workload& w) {
    int wrong = 0;
    for (const WorkloadItem& it : w.items) {
      wrong += pixel(frame, it.x0, it.y0) != it.colour;
      wrong += pixel(frame, it.x0 + 3, it.y0) != kRingBorderColour;
      wrong += pixel(frame, it.x0, it.y0 - 3) != kRingBorderColour;
    }
    EXPECT_EQ(wrong, 0);
  });
  for_each_column("W6o", [](const std::uint8_t* frame, const Workload& w) {
    int wrong = 0;
    for (const WorkloadItem& it : w.items) {
      wrong += pixel(frame, it.x0, it.y0) != kCanvasColour;
      wrong += pixel(frame, it.x0 - 3, it.y0) != kRingBorderColour;
    }
    EXPECT_EQ(wrong, 0);
  });
}

}  // namespace
