#include <algorithm>
#include <cstdlib>

#include "bench/bench_registry.h"

benchmark::internal::Benchmark* with_report_settings(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)
      ->UseManualTime()
      ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

int main(int argc, char** argv) {
  // The workload columns draw on the Null driver's screen; nothing may open a
  // window behind the benchmark's back.
  setenv("QZGFX", "null", 1);
  static const std::vector<Workload> workloads = make_workloads();
  register_limit_benchmarks();
  register_workload_benchmarks(workloads);
  register_picture_benchmarks();
  register_present_benchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  stop_present_benchmarks();
  benchmark::Shutdown();
  return 0;
}
