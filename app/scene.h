#pragma once

// The program's scene: fixed settings, the constants derived from them in
// setup, and the per-position table that the sweep fills and the chart and
// animation read.

#include <array>
#include <cstdint>
#include <string>

constexpr std::int64_t kAngleStep = 5;   // degrees between positions
constexpr std::int64_t kScaleFactor = 3; // model units to picture pixels

constexpr std::uint32_t kBackgroundColour = 0xFFD2D2D2;
constexpr std::uint32_t kEraseColour = 0xFFF0F0F0;  // lighter than the background: undrawn lines leave traces
constexpr std::uint32_t kGuideColour = 0xFFC864FF;
constexpr std::uint32_t kMarkerColour = 0xFFBF40BF;
constexpr std::uint32_t kOutlineColour = 0x0000000F;

struct SceneConstants {
  std::int64_t screen_width;
  std::int64_t screen_height;
  std::int64_t step_count;
  std::int64_t model_pivot_y;
  double link_length;
  double crank_offset;
  double model_crank_y;
  double crank_length;
  double scaled_crank_length;
  double pivot_x;
  double pivot_y;
  double crank_centre_y;
  std::int64_t row_spacing;
  double dot_radius;
};

SceneConstants make_scene_constants();

// Index j (1..72) belongs to crank angle (j - 1) * 5 degrees; element 0 is
// never used. All values are picture pixel coordinates.
struct LinkageTable {
  using Column = std::array<std::int64_t, 73>;
  Column mid_x{}, mid_y{};
  Column left_joint_x{}, left_joint_y{};
  Column right_joint_x{}, right_joint_y{};
  Column pin_x{}, pin_y{};
  Column joint_sum_x{};
};

// Rounds to the nearest integer, ties to even (the start-up rounding mode).
std::int64_t nearest(double v);

// Phase 1: mode, background, title. Phase 2: fills the table and draws every
// position. Phase 3: the fixed diagrams and the label.
void setup_scene(int argc, char** argv);
void compute_sweep(const SceneConstants& scene, LinkageTable& table);
void draw_static_chart(const SceneConstants& scene, LinkageTable& table);

// The animation: one frame is advance, draw, 27 waits, undraw, restore.
// Frame steps without the key poll, for tools that run a fixed number of
// frames; run_animation adds the poll and never returns.
struct AnimationState {
  std::int64_t frame_index = 0;
};
void animation_frame(const SceneConstants& scene, const LinkageTable& table, AnimationState& state,
                     bool wait_for_vsync);
// True when the key text read in a frame ends the program (Escape or the
// window-close code).
bool ends_program(const std::string& key_text);
[[noreturn]] void run_animation(const SceneConstants& scene, const LinkageTable& table);
