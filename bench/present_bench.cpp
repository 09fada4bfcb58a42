#include "bench/bench_registry.h"

// Presentation under Xvfb waits for the window back end.
void register_present_benchmarks() {}
