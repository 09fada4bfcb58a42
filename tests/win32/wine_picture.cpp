// Prints the SHA-256 of the framebuffer after the program's first three
// phases and after animation frames 1, 2, 72 and 73, drawn by this build
// without a window; the script compares them with the golden hashes.

#include <cstdio>
#include <cstdlib>

#include "app/scene.h"
#include "display/screen_mode.h"
#include "tests/support/sha256.h"

using namespace qz;

int main(int argc, char** argv) {
  _putenv("QZGFX=null");
  setup_scene(argc, argv);
  const ScreenMode* mode = current_mode();
  if (!mode) return 1;
  auto hash = [&] { return sha256_hex(mode->visible_framebuffer, std::size_t(mode->pitch) * mode->height); };
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  std::printf("phases %s\n", hash().c_str());
  AnimationState state;
  for (int k = 1; k <= 73; ++k) {
    animation_frame(scene, table, state, false);
    if (k == 1 || k == 2 || k == 72 || k == 73) std::printf("frame%d %s\n", k, hash().c_str());
  }
  return 0;
}
