#include <chrono>
#include <string>

#include "bench/api_draw.h"
#include "bench/bench_registry.h"
#include "bench/library_draw.h"
#include "bench/null_screen.h"
#include "bench/plain_draw.h"
#ifdef QZ_BENCH_HAVE_OPENCV
#include "bench/opencv_draw.h"
#endif
#ifdef QZ_BENCH_HAVE_SDL2
#include "bench/sdl_draw.h"
#endif

// Each column draws a whole workload per iteration on the Null screen's
// memory. The canvas is reset before every iteration and only the drawing is
// timed; the reset leaves the frame in cache, so these are warm figures.

namespace {

using Clock = std::chrono::steady_clock;

template <typename Draw>
void time_drawing(benchmark::State& state, std::uint8_t* frame, Draw&& draw) {
  for (auto _ : state) {
    reset_canvas(frame);
    auto start = Clock::now();
    draw();
    benchmark::ClobberMemory();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

void library_column(benchmark::State& state, const Workload* w) {
  time_drawing(state, null_screen(), [w] { library_draw(*w); });
}

void plain_column(benchmark::State& state, const Workload* w) {
  std::uint8_t* frame = null_screen();
  time_drawing(state, frame, [frame, w] { plain_draw(frame, *w); });
}

// The public API on the screen (target null) and on an image of the frame's
// size; the screen stays open, as drawing on an image needs a mode.
void api_column(benchmark::State& state, const Workload* w) {
  time_drawing(state, null_screen(), [w] { api_draw(nullptr, *w); });
}

void image_column(benchmark::State& state, const Workload* w) {
  null_screen();
  time_drawing(state, api_image_frame(), [w] { api_draw(api_image(), *w); });
}

#ifdef QZ_BENCH_HAVE_OPENCV
void opencv_column(benchmark::State& state, const Workload* w) {
  std::uint8_t* frame = null_screen();
  time_drawing(state, frame, [frame, w] { opencv_draw(frame, *w); });
}
#endif

#ifdef QZ_BENCH_HAVE_SDL2
void sdl_column(benchmark::State& state, const Workload* w) {
  SdlCanvas canvas(null_screen());
  time_drawing(state, null_screen(), [&canvas, w] { canvas.draw(*w); });
}
#endif

void add(const Workload& w, const char* column, void (*fn)(benchmark::State&, const Workload*)) {
  std::string name = w.name + "/" + column;
  with_report_settings(benchmark::RegisterBenchmark(name.c_str(), fn, &w));
}

}  // namespace

void register_workload_benchmarks(const std::vector<Workload>& workloads) {
  for (const Workload& w : workloads) {
    add(w, "library", library_column);
    add(w, "plain", plain_column);
    add(w, "api", api_column);
    add(w, "image", image_column);
#ifdef QZ_BENCH_HAVE_OPENCV
    add(w, "opencv", opencv_column);
#endif
#ifdef QZ_BENCH_HAVE_SDL2
    if (SdlCanvas::supports(w.kind)) add(w, "sdl2", sdl_column);
#endif
  }
}
