// The web test's picture page: the program's picture as the snapshot tool
// draws it (setup, sweep and chart, then one cycle of animation frames
// without waits), held on the canvas until Escape. The demo itself changes
// its picture every 27 frames, so only this page can be compared whole.
#include "app/scene.h"
#include "display/screen_mode.h"
#include "input/key_read.h"

using namespace qz;

int main(int argc, char** argv) {
  setup_scene(argc, argv);
  if (!current_mode()) return 1;
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  AnimationState state;
  for (int i = 0; i < scene.step_count; ++i) animation_frame(scene, table, state, false);
  for (std::int32_t key = 1; key != 27 && key != 0;) key = wait_key();
  return 0;
}
