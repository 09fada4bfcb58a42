#include "bench/workloads.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "bench/splitmix64.h"

namespace {

SplitMix64 stream_for(std::uint64_t seed, int workload_number) {
  return SplitMix64(seed + static_cast<std::uint64_t>(workload_number));
}

std::vector<WorkloadItem> lines(SplitMix64 rng, std::int64_t x_lo, std::int64_t x_hi, std::int64_t y_lo,
                                std::int64_t y_hi) {
  std::vector<WorkloadItem> items(10000);
  for (WorkloadItem& it : items) {
    it.x0 = std::int32_t(rng.uniform(x_lo, x_hi));
    it.y0 = std::int32_t(rng.uniform(y_lo, y_hi));
    it.x1 = std::int32_t(rng.uniform(x_lo, x_hi));
    it.y1 = std::int32_t(rng.uniform(y_lo, y_hi));
    it.colour = rng.colour();
  }
  return items;
}

std::vector<WorkloadItem> circle_centres(SplitMix64 rng, int count) {
  std::vector<WorkloadItem> items(static_cast<std::size_t>(count));
  for (WorkloadItem& it : items) {
    it.x0 = std::int32_t(rng.uniform(0, kFrameWidth - 1));
    it.y0 = std::int32_t(rng.uniform(0, kFrameHeight - 1));
    it.colour = rng.colour();
  }
  return items;
}

// Centres whose 7x7 boxes never overlap, so each fill meets a fresh ring on
// untouched canvas. An occupancy map of the frame answers "overlaps a box
// accepted before" exactly: two boxes overlap iff they share a pixel.
std::vector<WorkloadItem> ring_centres(SplitMix64 rng) {
  constexpr int kCount = 10000, kHalf = 3;
  std::vector<std::uint8_t> taken(std::size_t(kFrameWidth) * kFrameHeight, 0);
  auto box_free = [&](int cx, int cy) {
    for (int y = cy - kHalf; y <= cy + kHalf; ++y)
      for (int x = cx - kHalf; x <= cx + kHalf; ++x)
        if (taken[std::size_t(y) * kFrameWidth + std::size_t(x)]) return false;
    return true;
  };
  std::vector<WorkloadItem> items;
  items.reserve(kCount);
  while (items.size() < kCount) {
    int cx = int(rng.uniform(kHalf, kFrameWidth - 1 - kHalf));
    int cy = int(rng.uniform(kHalf, kFrameHeight - 1 - kHalf));
    if (!box_free(cx, cy)) continue;
    for (int y = cy - kHalf; y <= cy + kHalf; ++y)
      for (int x = cx - kHalf; x <= cx + kHalf; ++x) taken[std::size_t(y) * kFrameWidth + std::size_t(x)] = 1;
    WorkloadItem it;
    it.x0 = cx;
    it.y0 = cy;
    it.colour = rng.fill_colour();
    it.border = kRingBorderColour;
    items.push_back(it);
  }
  return items;
}

}  // namespace

std::vector<Workload> make_workloads(std::uint64_t seed) {
  std::vector<Workload> all;

  SplitMix64 w1 = stream_for(seed, 1);
  WorkloadItem box;
  box.x1 = kFrameWidth - 1;
  box.y1 = kFrameHeight - 1;
  box.colour = w1.colour();
  all.push_back({"W1", WorkloadKind::kBox, 0.0f, "0", {box}});

  all.push_back({"W2", WorkloadKind::kLines, 0.0f, "0",
                 lines(stream_for(seed, 2), 0, kFrameWidth - 1, 0, kFrameHeight - 1)});
  all.push_back({"W3", WorkloadKind::kLines, 0.0f, "0", lines(stream_for(seed, 3), -2000, 3700, -2000, 3100)});

  std::vector<WorkloadItem> w4 = circle_centres(stream_for(seed, 4), 10000);
  all.push_back({"W4", WorkloadKind::kCircles, 2.5f, "2.5", w4});
  all.push_back({"W5", WorkloadKind::kCircles, 100.0f, "100", circle_centres(stream_for(seed, 5), 1000)});

  std::vector<WorkloadItem> w6 = ring_centres(stream_for(seed, 6));
  all.push_back({"W6", WorkloadKind::kRingsAndFills, 3.0f, "3", w6});

  SplitMix64 w7 = stream_for(seed, 7);
  WorkloadItem seed_point;
  seed_point.x0 = std::int32_t(w7.uniform(0, kFrameWidth - 1));
  seed_point.y0 = std::int32_t(w7.uniform(0, kFrameHeight - 1));
  seed_point.colour = w7.fill_colour();
  seed_point.border = kRingBorderColour;
  all.push_back({"W7", WorkloadKind::kFill, 0.0f, "0", {seed_point}});

  all.push_back({"W8", WorkloadKind::kFilledCircles, 50.0f, "50", circle_centres(stream_for(seed, 8), 1000)});
  all.push_back({"W4r2", WorkloadKind::kCircles, 2.0f, "2", w4});
  all.push_back({"W4r3", WorkloadKind::kCircles, 3.0f, "3", w4});
  all.push_back({"W6o", WorkloadKind::kRings, 3.0f, "3", std::move(w6)});
  return all;
}

const Workload& find_workload(const std::vector<Workload>& all, std::string_view name) {
  for (const Workload& w : all)
    if (w.name == name) return w;
  throw std::out_of_range("no workload named " + std::string(name));
}

std::string workloads_csv(const std::vector<Workload>& all) {
  std::string text = "workload,index,x0,y0,x1,y1,r,colour,border\n";
  char line[160];
  for (const Workload& w : all) {
    for (std::size_t i = 0; i < w.items.size(); ++i) {
      const WorkloadItem& it = w.items[i];
      int n = std::snprintf(line, sizeof line, "%s,%zu,%" PRId32 ",%" PRId32 ",%" PRId32 ",%" PRId32
                            ",%.*s,0x%08" PRIX32 ",0x%08" PRIX32 "\n",
                            w.name.c_str(), i, it.x0, it.y0, it.x1, it.y1, int(w.radius_text.size()),
                            w.radius_text.data(), it.colour, it.border);
      text.append(line, std::size_t(n));
    }
  }
  return text;
}
