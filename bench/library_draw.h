#pragma once

#include "bench/workloads.h"

// Draws a workload on the current screen through this library's primitives.
void library_draw(const Workload& workload);
