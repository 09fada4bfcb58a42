#include "bench/library_draw.h"

#include <string>

#include "gfx/circle.h"
#include "gfx/line.h"
#include "gfx/paint.h"

using namespace qz;

namespace {

constexpr std::int32_t kPointFlags = 4;  // one absolute point

void circle(const WorkloadItem& it, float radius, std::uint32_t colour, std::int32_t fill) {
  gfx_circle(nullptr, float(it.x0), float(it.y0), radius, colour, 0.0f, 0.0f, kFullTurn, fill, kPointFlags);
}

void paint(const WorkloadItem& it) {
  gfx_paint(nullptr, float(it.x0), float(it.y0), it.colour, it.border, std::string(), kPaintSolid, kPointFlags);
}

// The kind is chosen once per workload, so the loop over the items holds the
// call alone, as the plain column's loops do.
template <typename Draw>
void each(const Workload& w, Draw&& draw) {
  for (const WorkloadItem& it : w.items) draw(it);
}

}  // namespace

void library_draw(const Workload& w) {
  const float r = w.radius;
  switch (w.kind) {
    case WorkloadKind::kBox:
      each(w, [](const WorkloadItem& it) {
        gfx_line(nullptr, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour, kBoxFilled, 0xFFFF, 0);
      });
      break;
    case WorkloadKind::kLines:
      each(w, [](const WorkloadItem& it) {
        gfx_line(nullptr, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour, kLine, 0xFFFF, 0);
      });
      break;
    case WorkloadKind::kCircles: each(w, [r](const WorkloadItem& it) { circle(it, r, it.colour, 0); }); break;
    case WorkloadKind::kFilledCircles: each(w, [r](const WorkloadItem& it) { circle(it, r, it.colour, 1); }); break;
    case WorkloadKind::kRings: each(w, [r](const WorkloadItem& it) { circle(it, r, it.border, 0); }); break;
    case WorkloadKind::kRingsAndFills:
      each(w, [r](const WorkloadItem& it) {
        circle(it, r, it.border, 0);
        paint(it);
      });
      break;
    case WorkloadKind::kFill: each(w, paint); break;
  }
}
