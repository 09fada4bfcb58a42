#include "app/draw_helpers.h"

#include "app/scene.h"
#include "gfx/circle.h"
#include "gfx/line.h"
#include "gfx/paint.h"

using namespace qz;

// Coordinates are computed in double precision and handed over as floats.
void scene_line(double x1, double y1, double x2, double y2, std::uint32_t colour, std::int32_t kind) {
  gfx_line(nullptr, static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
           static_cast<float>(y2), colour, kind, 0xFFFF, 0);
}

void scene_circle(double x, double y, double radius, std::uint32_t colour) {
  gfx_circle(nullptr, static_cast<float>(x), static_cast<float>(y), static_cast<float>(radius), colour, 0.0f,
             0.0f, kFullTurn, 0, 4);
}

void scene_fill(double x, double y, std::uint32_t fill, std::uint32_t border) {
  gfx_paint(nullptr, static_cast<float>(x), static_cast<float>(y), fill, border, std::string(), 0, 4);
}

void scene_dot(double x, double y, std::uint32_t fill) {
  scene_circle(x, y, 2.5, kOutlineColour);
  scene_fill(x, y, fill, kOutlineColour);
}
