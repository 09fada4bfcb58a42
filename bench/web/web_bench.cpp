// The web pages' benchmark program, driven by bench/web/web_bench.py. The
// page's query picks what it does:
//   ?QZ_BENCH=workloads[&QZ_WORKLOAD=W3]
//                                times W1-W8 (or the one named) drawn by the
//                                library on the Null screen, as qz_bench's
//                                library column does natively; prints
//                                "NAME median min" (ms)
//   ?QZ_BENCH=rows&QZ_ROWS=N     redraws N rows (0: none, only waits) (centred) of a 1680 x 1050
//                                canvas every frame until a key, so the page
//                                presents them at each animation frame
#include <qzgfx/qzgfx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/library_draw.h"
#include "bench/null_screen.h"
#include "bench/workloads.h"

namespace {

constexpr int kRepetitions = 15;
constexpr double kRepetitionSeconds = 0.05;

double draw_ms(std::uint8_t* frame, const Workload& w) {
  reset_canvas(frame);
  const auto start = std::chrono::steady_clock::now();
  library_draw(w);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Repetitions of as many iterations as fill kRepetitionSeconds, each giving
// its mean: the figures qz_bench reports with --benchmark_min_time=0.05.
int time_workloads(const char* only) {
  std::uint8_t* frame = null_screen();
  for (const Workload& w : make_workloads()) {
    if (w.name.size() != 2 || (only && w.name != only)) continue;  // W1 ... W8, not the extras
    const double once = std::max(draw_ms(frame, w), 0.001);
    const int iterations = std::max(1, int(kRepetitionSeconds * 1000.0 / once));
    std::vector<double> means;
    for (int r = 0; r < kRepetitions; ++r) {
      double sum = 0;
      for (int i = 0; i < iterations; ++i) sum += draw_ms(frame, w);
      means.push_back(sum / iterations);
    }
    std::sort(means.begin(), means.end());
    std::printf("%s %.4f %.4f\n", w.name.c_str(), means[means.size() / 2], means.front());
    // Built single-threaded, the program holds the page: a sleep gives it back.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("done\n");
  return 0;
}

int redraw_rows(int rows) {
  constexpr int kWidth = 1680, kHeight = 1050;
  rows = std::clamp(rows, 0, kHeight);  // 0: only the vertical-sync waits
  if (qz_screen_open(kWidth, kHeight, 32, 1, 0, 0) != 0) return 1;
  const int top = (kHeight - rows) / 2;
  std::printf("drawing %d rows\n", rows);
  for (std::uint32_t frame = 0; !qz_key_pending(); ++frame) {
    if (rows > 0)
      qz_box_filled(nullptr, 0, float(top), kWidth - 1, float(top + rows - 1), 0xFF000000u | (frame * 0x010307u));
    qz_wait_vsync();
  }
  qz_screen_close();
  return 0;
}

}  // namespace

int main() {
  const char* what = std::getenv("QZ_BENCH");
  if (what && std::strcmp(what, "workloads") == 0) return time_workloads(std::getenv("QZ_WORKLOAD"));
  if (what && std::strcmp(what, "rows") == 0) {
    const char* rows = std::getenv("QZ_ROWS");
    return redraw_rows(rows ? std::atoi(rows) : 1050);
  }
  std::fprintf(stderr, "qz_web_bench: open the page with ?QZ_BENCH=workloads or ?QZ_BENCH=rows&QZ_ROWS=N\n");
  return 2;
}
