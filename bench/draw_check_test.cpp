#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/library_draw.h"
#include "bench/null_screen.h"
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
};

std::vector<Column> columns() {
  std::vector<Column> all;
  all.push_back({"library", [](WorkloadKind) { return true; }, [](std::uint8_t*, const Workload& w) { library_draw(w); }});
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
    std::uint8_t* frame = null_screen();
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
