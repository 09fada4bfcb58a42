#pragma once

#include <cstdint>

#include "bench/workloads.h"

struct qz_image;

// The public C API's columns: the workloads through qz_box_filled, qz_line,
// qz_circle, qz_circle_filled and qz_flood_fill, on the screen (target null)
// or on an image, as a program using only <qzgfx/qzgfx.h> draws them.
void api_draw(qz_image* target, const Workload& workload);

// A 1680 x 1050 32-bit image from qz_image_create, made once; its rows lie
// end to end (pitch 6720), so it is a frame like the screen's. Drawing on it
// needs the screen open (null_screen()).
qz_image* api_image();
std::uint8_t* api_image_frame();
