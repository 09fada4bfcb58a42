#include "app/draw_helpers.h"
#include "app/scene.h"
#include "gfx/text.h"

using namespace qz;

// The fixed diagrams drawn once over the superimposed positions: rays to the
// reference points, the 72-row chart of the joints' x positions, the rest
// position, the pivot marker, the guide lines and the label.

namespace {
constexpr double kChartTop = 550.0;
constexpr double kMarkerWidth = 20.0;
constexpr double kMarkerHeight = 30.0;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF32C832;
constexpr std::uint32_t kDarkGrey = 0xFF646464;
constexpr std::uint32_t kLightGrey = 0xFFC8C8C8;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlack = 0xFF000000;

double d(std::int64_t v) { return static_cast<double>(v); }
}  // namespace

void draw_static_chart(const SceneConstants& scene, LinkageTable& t) {
  const double px = scene.pivot_x, py = scene.pivot_y;
  const double r = scene.dot_radius;
  const double step = d(scene.row_spacing);

  double centre_y = d(t.mid_y[1]) + d(t.mid_y[36] - t.mid_y[1]) / 2.0;
  for (int j = 1; j <= 72; ++j) scene_line(950, centre_y, d(t.mid_x[j]), d(t.mid_y[j]), kWhite);

  double offset = 0.0;
  for (int j = 1; j <= 72; ++j, offset += step) {
    double y = kChartTop + offset;
    scene_dot(d(t.right_joint_x[j]), y, kBlue);
    if (j == 10)  // x from row 5, vertical centre at row 10
      scene_line(d(t.right_joint_x[5]) - 17 * r, y - 20 * r, d(t.right_joint_x[5]) + 12 * r, y + 20 * r, kBlue, 1);
    scene_dot(d(t.left_joint_x[j]), y, kRed);
    if (j == 62)
      scene_line(d(t.left_joint_x[62]) - 17 * r, y - 20 * r, d(t.left_joint_x[62]) + 12 * r, y + 22 * r, kRed, 1);
  }

  offset = 0.0;
  for (int j = 1; j <= 71; ++j, offset += step) {
    double y = kChartTop + offset;
    scene_line(d(t.right_joint_x[j]), y, d(t.right_joint_x[j + 1]), y + 5, kBlue);
    scene_line(d(t.left_joint_x[j]), y, d(t.left_joint_x[j + 1]), y + 5, kRed);
  }

  offset = 0.0;
  for (int j = 1; j <= 72; ++j, offset += step) {
    double y = kChartTop + offset;
    t.joint_sum_x[j] = nearest(((d(t.right_joint_x[j]) - 950) + 950) - (950 - d(t.left_joint_x[j])));
    scene_dot(d(t.joint_sum_x[j]), y, kGreen);
    scene_line(d(t.joint_sum_x[j]), y, 950, y, kDarkGrey);
  }

  offset = 0.0;
  for (int j = 1; j <= 71; ++j, offset += step) {
    double y = kChartTop + offset;
    scene_line(d(t.joint_sum_x[j]), y, d(t.joint_sum_x[j + 1]), y + 5, kGreen);
  }

  offset = 0.0;
  const double bar_top = 550 - scene.scaled_crank_length / 12;
  const double pin_x = d(t.pin_x[1]), pin_y = d(t.pin_y[1]);
  for (int j = 1; j <= 72; ++j, offset += step) {
    double y = kChartTop + offset;
    scene_line(d(t.right_joint_x[j]), y, d(t.left_joint_x[j]), y, kLightGrey);
    // The rest position, the same in every pass.
    scene_line(950 - r / 2.0, bar_top, pin_x - r / 2.0, pin_y, kBlack);
    scene_line(950 + r / 2.0, bar_top, pin_x + r / 2.0, pin_y, kBlack);
    scene_line(950, 550, pin_x, pin_y, kBlack);
    scene_circle(px, py, 2 * r, kOutlineColour);
    scene_line(px, py, d(t.left_joint_x[1]), d(t.left_joint_y[1]), kBlack);
    scene_line(px, py, d(t.right_joint_x[1]), d(t.right_joint_y[1]), kBlack);
    scene_line(pin_x, pin_y, d(t.left_joint_x[1]), d(t.left_joint_y[1]), kBlack);
    scene_line(pin_x, pin_y, d(t.right_joint_x[1]), d(t.right_joint_y[1]), kBlack);
  }

  // The pivot marker: a triangle pointing down at the pivot, filled.
  scene_line(px, py, px - kMarkerWidth * 0.75, py - kMarkerHeight, kMarkerColour);
  scene_line(px - kMarkerWidth * 0.75, py - kMarkerHeight, px + 0.75 * kMarkerWidth, py - kMarkerHeight,
             kMarkerColour);
  scene_line(px, py, px + 0.75 * kMarkerWidth, py - kMarkerHeight, kMarkerColour);
  scene_fill(px, py - 5.0, kMarkerColour, kMarkerColour);

  scene_line(950, 120, 1680, 120, kGuideColour);
  scene_line(950, 120, 0, 120, kGuideColour);
  scene_line(950, 0, 950, 1050, kGuideColour);
  scene_line(950, 489, 0, 489, kGuideColour);
  scene_line(950, 489, 1680, 489, kGuideColour);

  std::int64_t label_x = nearest(950 - kMarkerWidth * 0.9);
  std::int64_t label_y = nearest(120 - (kMarkerWidth + kMarkerWidth));
  std::string label = "PIVOT";
  gfx_draw_string(nullptr, static_cast<float>(label_x), static_cast<float>(label_y), 4, label, 0x00000000,
                  nullptr, 0, nullptr, nullptr, nullptr);
}
