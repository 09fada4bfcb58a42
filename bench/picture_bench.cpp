#include <chrono>

#include "app/scene.h"
#include "bench/bench_registry.h"
#include "display/screen_mode.h"

using namespace qz;

// The program's picture as it is built at start-up: mode set (with the first
// writes to its new framebuffer pages), background, sweep and static chart;
// and one animation frame without its waits.

namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

char g_program_name[] = "linkageSWEEPdemo1";
char* g_argv[] = {g_program_name, nullptr};

LinkageTable& table() {
  static LinkageTable t;
  return t;
}

void whole_picture(benchmark::State& state) {
  double setup = 0, sweep = 0, chart = 0;
  for (auto _ : state) {
    gfx_screen_close();  // the teardown of the last picture is not timed
    auto t0 = Clock::now();
    setup_scene(1, g_argv);
    auto t1 = Clock::now();
    const SceneConstants scene = make_scene_constants();
    compute_sweep(scene, table());
    auto t2 = Clock::now();
    draw_static_chart(scene, table());
    auto t3 = Clock::now();
    benchmark::ClobberMemory();
    if (!current_mode()) {
      state.SkipWithError("the mode set failed");
      break;
    }
    setup += seconds_between(t0, t1);
    sweep += seconds_between(t1, t2);
    chart += seconds_between(t2, t3);
    state.SetIterationTime(seconds_between(t0, t3));
  }
  // Where the time goes, per picture, in milliseconds.
  auto per_picture_ms = [&](double s) {
    return benchmark::Counter(s * 1e3, benchmark::Counter::kAvgIterations);
  };
  state.counters["setup_ms"] = per_picture_ms(setup);
  state.counters["sweep_ms"] = per_picture_ms(sweep);
  state.counters["chart_ms"] = per_picture_ms(chart);
}

void animation_step(benchmark::State& state) {
  gfx_screen_close();
  setup_scene(1, g_argv);
  const SceneConstants scene = make_scene_constants();
  compute_sweep(scene, table());
  draw_static_chart(scene, table());
  if (!current_mode()) {
    state.SkipWithError("the mode set failed");
    return;
  }
  AnimationState animation;
  for (auto _ : state) {
    auto start = Clock::now();
    animation_frame(scene, table(), animation, false);
    benchmark::ClobberMemory();
    state.SetIterationTime(seconds_between(start, Clock::now()));
  }
}

}  // namespace

void register_picture_benchmarks() {
  with_report_settings(benchmark::RegisterBenchmark("picture/setup_sweep_chart", whole_picture));
  with_report_settings(benchmark::RegisterBenchmark("picture/animation_frame", animation_step));
}
