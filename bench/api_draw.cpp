#include "bench/api_draw.h"

#include <qzgfx/qzgfx.h>

#include <stdexcept>

namespace {

template <typename Draw>
void each(const Workload& w, Draw&& draw) {
  for (const WorkloadItem& it : w.items) draw(it);
}

}  // namespace

void api_draw(qz_image* t, const Workload& w) {
  using It = const WorkloadItem&;
  const float r = w.radius;
  switch (w.kind) {
    case WorkloadKind::kBox:
      each(w, [t](It it) { qz_box_filled(t, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour); });
      break;
    case WorkloadKind::kLines:
      each(w, [t](It it) { qz_line(t, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour); });
      break;
    case WorkloadKind::kCircles: each(w, [t, r](It it) { qz_circle(t, float(it.x0), float(it.y0), r, it.colour); }); break;
    case WorkloadKind::kFilledCircles:
      each(w, [t, r](It it) { qz_circle_filled(t, float(it.x0), float(it.y0), r, it.colour); });
      break;
    case WorkloadKind::kRings: each(w, [t, r](It it) { qz_circle(t, float(it.x0), float(it.y0), r, it.border); }); break;
    case WorkloadKind::kRingsAndFills:
      each(w, [t, r](It it) {
        qz_circle(t, float(it.x0), float(it.y0), r, it.border);
        qz_flood_fill(t, float(it.x0), float(it.y0), it.colour, it.border);
      });
      break;
    case WorkloadKind::kFill:
      each(w, [t](It it) { qz_flood_fill(t, float(it.x0), float(it.y0), it.colour, it.border); });
      break;
  }
}

qz_image* api_image() {
  static qz_image* const image = [] {
    qz_image* made = qz_image_create(kFrameWidth, kFrameHeight, 4);
    if (!made || qz_image_pitch(made) != kFrameWidth * 4)
      throw std::runtime_error("cannot make the 1680x1050x32 image with rows end to end");
    return made;
  }();
  return image;
}

std::uint8_t* api_image_frame() { return static_cast<std::uint8_t*>(qz_image_pixels(api_image())); }
