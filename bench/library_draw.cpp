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

}  // namespace

void library_draw(const Workload& workload) {
  for (const WorkloadItem& it : workload.items) {
    switch (workload.kind) {
      case WorkloadKind::kBox:
        gfx_line(nullptr, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour, kBoxFilled, 0xFFFF, 0);
        break;
      case WorkloadKind::kLines:
        gfx_line(nullptr, float(it.x0), float(it.y0), float(it.x1), float(it.y1), it.colour, kLine, 0xFFFF, 0);
        break;
      case WorkloadKind::kCircles: circle(it, workload.radius, it.colour, 0); break;
      case WorkloadKind::kFilledCircles: circle(it, workload.radius, it.colour, 1); break;
      case WorkloadKind::kRings: circle(it, workload.radius, it.border, 0); break;
      case WorkloadKind::kRingsAndFills:
        circle(it, workload.radius, it.border, 0);
        paint(it);
        break;
      case WorkloadKind::kFill: paint(it); break;
    }
  }
}
