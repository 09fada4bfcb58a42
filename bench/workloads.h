#pragma once

// The benchmark workloads W1-W8 and the extras W4r2, W4r3 and W6o, replayed
// item for item from their seeded streams so that every column of the
// benchmark (this library, the peers) draws exactly the same things.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::uint64_t kDefaultWorkloadSeed = 20240611;
constexpr int kFrameWidth = 1680;
constexpr int kFrameHeight = 1050;
constexpr std::uint32_t kCanvasColour = 0xFFD2D2D2u;
constexpr std::uint32_t kRingBorderColour = 0xFF000000u;

enum class WorkloadKind {
  kBox,             // filled boxes from (x0, y0) to (x1, y1)
  kLines,           // lines from (x0, y0) to (x1, y1)
  kCircles,         // circle outlines around (x0, y0)
  kFilledCircles,   // filled circles around (x0, y0)
  kRingsAndFills,   // outline in the border colour, then a fill from the centre
  kRings,           // the outlines of kRingsAndFills alone
  kFill,            // a fill from (x0, y0) bounded by the border colour
};

struct WorkloadItem {
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::uint32_t colour = 0;  // the fill colour for fills
  std::uint32_t border = 0;  // 0 where the item has none
};

struct Workload {
  std::string name;
  WorkloadKind kind;
  float radius;                  // 0 where there is none
  std::string_view radius_text;  // as printed in the CSV
  std::vector<WorkloadItem> items;
};

// All workloads in CSV order: W1 ... W8, W4r2, W4r3, W6o.
std::vector<Workload> make_workloads(std::uint64_t seed = kDefaultWorkloadSeed);

// The named workload of a list; throws std::out_of_range for an unknown name.
const Workload& find_workload(const std::vector<Workload>& all, std::string_view name);

// The check text: a header line, then one line per item of every workload.
std::string workloads_csv(const std::vector<Workload>& all);
