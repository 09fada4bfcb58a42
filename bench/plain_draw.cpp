#include "bench/plain_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int W = kFrameWidth, H = kFrameHeight;

bool inside(int x, int y) { return unsigned(x) < unsigned(W) && unsigned(y) < unsigned(H); }

void box(std::uint32_t* p, int x0, int y0, int x1, int y1, std::uint32_t c) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, W - 1), y1 = std::min(y1, H - 1);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) p[y * W + x] = c;
}

void line(std::uint32_t* p, int x0, int y0, int x1, int y1, std::uint32_t c) {
  int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    if (inside(x0, y0)) p[y0 * W + x0] = c;
    if (x0 == x1 && y0 == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) err += dy, x0 += sx;
    if (e2 <= dx) err += dx, y0 += sy;
  }
}

void circle(std::uint32_t* p, int cx, int cy, int r, std::uint32_t c) {
  auto put = [&](int x, int y) {
    if (inside(x, y)) p[y * W + x] = c;
  };
  int x = r, y = 0, err = 1 - r;
  while (x >= y) {
    put(cx + x, cy + y), put(cx - x, cy + y), put(cx + x, cy - y), put(cx - x, cy - y);
    put(cx + y, cy + x), put(cx - y, cy + x), put(cx + y, cy - x), put(cx - y, cy - x);
    ++y;
    if (err < 0) {
      err += 2 * y + 1;
    } else {
      --x;
      err += 2 * (y - x) + 1;
    }
  }
}

void disc(std::uint32_t* p, int cx, int cy, int r, std::uint32_t c) {
  for (int dy = -r; dy <= r; ++dy) {
    int dx = int(std::sqrt(double(r * r - dy * dy)));
    box(p, cx - dx, cy + dy, cx + dx, cy + dy, c);
  }
}

// Filled on push, so no pixel is pushed twice. A pixel already of the fill
// colour counts as done: the workloads' regions hold none before the fill.
void fill(std::uint32_t* p, std::vector<int>& stack, int sx, int sy, std::uint32_t c, std::uint32_t border) {
  if (!inside(sx, sy) || p[sy * W + sx] == border || p[sy * W + sx] == c) return;
  p[sy * W + sx] = c;
  stack.clear();
  stack.push_back(sy * W + sx);
  while (!stack.empty()) {
    int i = stack.back();
    stack.pop_back();
    int x = i % W, y = i / W;
    auto visit = [&](int nx, int ny) {
      if (!inside(nx, ny)) return;
      std::uint32_t& q = p[ny * W + nx];
      if (q == border || q == c) return;
      q = c;
      stack.push_back(ny * W + nx);
    };
    visit(x - 1, y), visit(x + 1, y), visit(x, y - 1), visit(x, y + 1);
  }
}

template <typename Draw>
void each(const Workload& w, Draw&& draw) {
  for (const WorkloadItem& it : w.items) draw(it);
}

}  // namespace

void plain_draw(std::uint8_t* frame, const Workload& w) {
  auto* p = reinterpret_cast<std::uint32_t*>(frame);
  const int r = int(w.radius + 0.5f);  // the nearest whole radius, halves up
  std::vector<int> stack;
  using It = const WorkloadItem&;
  switch (w.kind) {
    case WorkloadKind::kBox: each(w, [p](It it) { box(p, it.x0, it.y0, it.x1, it.y1, it.colour); }); break;
    case WorkloadKind::kLines: each(w, [p](It it) { line(p, it.x0, it.y0, it.x1, it.y1, it.colour); }); break;
    case WorkloadKind::kCircles: each(w, [p, r](It it) { circle(p, it.x0, it.y0, r, it.colour); }); break;
    case WorkloadKind::kFilledCircles: each(w, [p, r](It it) { disc(p, it.x0, it.y0, r, it.colour); }); break;
    case WorkloadKind::kRings: each(w, [p, r](It it) { circle(p, it.x0, it.y0, r, it.border); }); break;
    case WorkloadKind::kRingsAndFills:
      each(w, [&](It it) {
        circle(p, it.x0, it.y0, r, it.border);
        fill(p, stack, it.x0, it.y0, it.colour, it.border);
      });
      break;
    case WorkloadKind::kFill: each(w, [&](It it) { fill(p, stack, it.x0, it.y0, it.colour, it.border); }); break;
  }
}
