#pragma once

#include <cstdint>

#include "bench/workloads.h"

// The plain-loop column: for each workload the simplest correct loop a
// program would write by hand on the 1680 x 1050 x 32 memory, as a yardstick
// for the library's own overhead (not a peer). Boxes are row loops, lines
// Bresenham with a bounds test per pixel, outlines the midpoint circle,
// filled circles one span per row, fills a 4-connected pixel stack bounded by
// the border colour. Radii are whole numbers, the nearest, halves up as
// (int)(r + 0.5) makes them: W4's 2.5 draws as 3, W4r3's circle (W4r2 has
// the truncated one).
void plain_draw(std::uint8_t* frame, const Workload& workload);
