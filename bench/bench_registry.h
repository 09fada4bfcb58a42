#pragma once

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/workloads.h"

// Every group registers its benchmarks from main, in the order of the report.
void register_workload_benchmarks(const std::vector<Workload>& workloads);
void register_limit_benchmarks();
void register_picture_benchmarks();
void register_present_benchmarks();
// Ends the presentation benchmarks' window and their private X server.
void stop_present_benchmarks();

// Milliseconds, manual time and the min / max aggregates over repetitions
// (the library gives mean, median and spread only).
benchmark::internal::Benchmark* with_report_settings(benchmark::internal::Benchmark* b);
