#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "app/draw_helpers.h"
#include "app/scene.h"
#include "display/vsync.h"
#include "input/key_read.h"
#include "runtime/exit_path.h"

using namespace qz;

namespace {

constexpr int kWaitsPerFrame = 27;

void draw_position(const LinkageTable& t, std::int64_t k, std::uint32_t colour) {
  auto d = [](std::int64_t v) { return static_cast<double>(v); };
  scene_line(950, 120, d(t.left_joint_x[k]), d(t.left_joint_y[k]), colour);
  scene_line(950, 120, d(t.right_joint_x[k]), d(t.right_joint_y[k]), colour);
  scene_line(d(t.pin_x[k]), d(t.pin_y[k]), d(t.left_joint_x[k]), d(t.left_joint_y[k]), colour);
  scene_line(d(t.pin_x[k]), d(t.pin_y[k]), d(t.right_joint_x[k]), d(t.right_joint_y[k]), colour);
  scene_line(950, 489, d(t.pin_x[k]), d(t.pin_y[k]), colour);
}

// The key text as wide characters under the user's locale; bytes above 127
// become '?' when the text is not valid there.
std::wstring widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  std::mbstate_t state{};
  const char* src = text.c_str();
  std::size_t n = std::mbsrtowcs(wide.data(), &src, wide.size(), &state);
  if (n == static_cast<std::size_t>(-1)) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      wide[i] = c > 127 ? L'?' : static_cast<wchar_t>(c);
    }
    return wide;
  }
  wide.resize(n);
  return wide;
}

}  // namespace

void animation_frame(const SceneConstants& scene, const LinkageTable& t, AnimationState& state,
                     bool wait_for_vsync) {
  if (state.frame_index == 72) state.frame_index = 0;
  ++state.frame_index;
  draw_position(t, state.frame_index, 0xFF000000);
  if (wait_for_vsync)
    for (int i = 0; i < kWaitsPerFrame; ++i) gfx_wait_vsync();
  draw_position(t, state.frame_index, kEraseColour);
  scene_line(950, 489, 0, 489, kGuideColour);
  scene_line(950, 489, 1680, 489, kGuideColour);
  scene_line(950, 120, 1680, 120, kGuideColour);
  scene_line(950, 120, 0, 120, kGuideColour);
  scene_line(950, 0, 950, 1050, kGuideColour);
  scene_circle(950, 489, static_cast<float>(scene.scaled_crank_length / 60), kMarkerColour);
  scene_fill(950, 489, kMarkerColour, kMarkerColour);
}

bool ends_program(const std::string& key_text) {
  if (key_text == "\x1b") return true;
  // The close code is the two bytes 255, 'k'. It is tested as bytes as well
  // as in wide characters: under a locale where byte 255 is not U+00FF (UTF-8
  // above all) the wide test alone would never let the close box end the
  // program.
  if (key_text == "\xff" "k") return true;
  return widen(key_text) == std::wstring{L'\u00FF', L'k'};
}

void run_animation(const SceneConstants& scene, const LinkageTable& table) {
  AnimationState state;
  for (;;) {
    animation_frame(scene, table, state, true);
    std::string key_text = read_key();
    if (ends_program(key_text)) runtime_end(0);
  }
}
