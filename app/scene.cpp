#include "app/scene.h"

#include <cmath>

#include "display/screen_mode.h"
#include "display/window_title.h"
#include "gfx/line.h"
#include "runtime/runtime.h"

using namespace qz;

std::int64_t nearest(double v) { return static_cast<std::int64_t>(std::nearbyint(v)); }

SceneConstants make_scene_constants() {
  SceneConstants s{};
  s.screen_width = 1680;
  s.screen_height = 1050;
  s.step_count = nearest(360.0 / static_cast<double>(kAngleStep));
  s.model_pivot_y = 810;
  s.link_length = 90.0;
  s.crank_offset = 123.0;
  s.model_crank_y = static_cast<double>(s.model_pivot_y) + s.crank_offset;
  s.crank_length = s.link_length / 1.618;
  s.scaled_crank_length = static_cast<double>(kScaleFactor) * (s.link_length / 1.618);
  s.pivot_x = 950.0;
  s.pivot_y = 120.0;
  s.crank_centre_y = static_cast<double>(kScaleFactor) * s.crank_offset + s.pivot_y;
  s.row_spacing = 5;
  s.dot_radius = 2.5;
  return s;
}

void setup_scene(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  constexpr int kWidth = 1680, kHeight = 1050;
  gfx_screen_res(kWidth, kHeight, 32, 1, 0, 0);
  gfx_line(nullptr, 0.0f, 0.0f, static_cast<float>(kWidth), static_cast<float>(kHeight), kBackgroundColour,
           2, 0xFFFF, 0);
  gfx_window_title("linkageSWEEPdemo1");
}
