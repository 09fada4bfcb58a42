#pragma once

#include <cstdint>

// The two calls the scene draws with everywhere: a solid line between
// absolute points, and a whole circle outline at an absolute centre.
void scene_line(double x1, double y1, double x2, double y2, std::uint32_t colour, std::int32_t kind = 0);
void scene_circle(double x, double y, double radius, std::uint32_t colour);
// A dot: a circle of radius 2.5 in the outline colour, then filled up to it.
void scene_dot(double x, double y, std::uint32_t fill);
// A solid fill seeded at an absolute point.
void scene_fill(double x, double y, std::uint32_t fill, std::uint32_t border);
