#pragma once

#include <cstdint>

#include "bench/workloads.h"

// The OpenCV column: the same workloads on the same 1680 x 1050 x 32 memory.
// Radii are whole numbers there (2.5 draws as 2), and its fill replaces the
// seed's colour, which the workloads make equal to the border-bounded region.
void opencv_draw(std::uint8_t* frame, const Workload& workload);
