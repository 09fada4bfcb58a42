#include <cmath>

#include "app/draw_helpers.h"
#include "app/scene.h"

// Solves the mechanism for every crank position in model units, stores the
// rounded picture coordinates and draws the position at once. The order of
// operations is part of the result: the rounded reference point feeds the
// joints.
void compute_sweep(const SceneConstants& scene, LinkageTable& t) {
  const double s = static_cast<double>(kScaleFactor);
  std::int64_t angle_deg = 0;
  for (std::int64_t i = 1; i <= scene.step_count; ++i) {
    double theta = 0.017453292519943295 * static_cast<double>(angle_deg);
    double crank_dx = std::sin(theta) * scene.crank_length;
    double crank_dy = std::cos(theta) * scene.crank_length;
    double pin_drop = (scene.model_crank_y - crank_dy) - static_cast<double>(scene.model_pivot_y);
    double pin_distance = std::sqrt(pin_drop * pin_drop + crank_dx * crank_dx);
    double half_distance = pin_distance / 2.0;
    // The sine of the tilt, used directly as an angle: no arcsine is taken.
    double tilt = (std::sin(theta) * scene.crank_length) / pin_distance;
    double joint_offset = std::sqrt(scene.link_length * scene.link_length - half_distance * half_distance);
    double mid_dx = std::sin(-tilt) * half_distance;
    double mid_dy = std::cos(-tilt) * half_distance;

    t.mid_x[i] = nearest(mid_dx * s + scene.pivot_x);
    t.mid_y[i] = nearest(mid_dy * s + scene.pivot_y);
    double mx = static_cast<double>(t.mid_x[i]), my = static_cast<double>(t.mid_y[i]);
    t.left_joint_x[i] = nearest(mx - s * (joint_offset * std::cos(tilt)));
    t.left_joint_y[i] = nearest(s * (joint_offset * std::sin(tilt)) + my);
    t.right_joint_x[i] = nearest(s * (joint_offset * std::cos(tilt)) + mx);
    t.right_joint_y[i] = nearest(my - s * (joint_offset * std::sin(tilt)));
    t.pin_x[i] = nearest(crank_dx * s + scene.pivot_x);
    t.pin_y[i] = nearest(scene.crank_centre_y - s * crank_dy);
    angle_deg += kAngleStep;

    auto d = [](std::int64_t v) { return static_cast<double>(v); };
    const double px = d(t.pin_x[i]), py = d(t.pin_y[i]);
    const double lx = d(t.left_joint_x[i]), ly = d(t.left_joint_y[i]);
    const double rx = d(t.right_joint_x[i]), ry = d(t.right_joint_y[i]);
    scene_circle(mx, my, scene.dot_radius / 2.0, 0xFF000000);
    scene_circle(lx, ly, scene.dot_radius, kOutlineColour);
    scene_circle(rx, ry, scene.dot_radius, kOutlineColour);
    scene_circle(px, py, scene.dot_radius, kOutlineColour);
    scene_line(scene.pivot_x, scene.crank_centre_y, px, py, kBackgroundColour);
    scene_line(scene.pivot_x, scene.pivot_y, px, py, 0xFFFFFFFF);
    scene_line(scene.pivot_x, scene.pivot_y, lx, ly, kBackgroundColour);
    scene_line(scene.pivot_x, scene.pivot_y, rx, ry, kBackgroundColour);
    scene_line(px, py, lx, ly, kBackgroundColour);
    scene_line(px, py, rx, ry, kBackgroundColour);
  }
}
