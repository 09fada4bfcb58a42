#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene.h"
#include "display/screen_mode.h"
#include "gfx/png_io.h"

using namespace qz;

// linkageSWEEPdemo1-snapshot [--frames K] OUT.png
// Draws the program's picture without a display (setup, sweep, chart, then
// K animation frames with no waits and no key reads) and saves it as PNG.
// After its first cycle the animation repeats itself every cycle (each
// position undrawn leaves the same trace as the cycle before), so any K
// takes at most two cycles of frames.
int main(int argc, char** argv) {
  long frames = 0;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      char* end = nullptr;
      frames = std::strtol(argv[++i], &end, 10);
      if (*end || frames < 0) {
        std::fprintf(stderr, "linkageSWEEPdemo1-snapshot: --frames takes a whole number >= 0\n");
        return 2;
      }
    } else if (!out && argv[i][0] != '-') {
      out = argv[i];
    } else {
      out = nullptr;
      break;
    }
  }
  if (!out) {
    std::fprintf(stderr, "usage: linkageSWEEPdemo1-snapshot [--frames K] OUT.png\n");
    return 2;
  }
  setenv("QZGFX", "null", 1);
  setup_scene(argc, argv);
  const ScreenMode* mode = current_mode();
  if (!mode) {
    std::fprintf(stderr, "linkageSWEEPdemo1-snapshot: cannot set the graphics mode\n");
    return 1;
  }
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  const long cycle = scene.step_count;
  if (frames >= cycle) frames = cycle + (frames - cycle) % cycle;
  AnimationState state;
  for (long i = 0; i < frames; ++i) animation_frame(scene, table, state, false);
  const std::string error = write_png(out, mode->visible_framebuffer, mode->width, mode->height, mode->pitch);
  if (!error.empty()) {
    std::fprintf(stderr, "linkageSWEEPdemo1-snapshot: %s: %s\n", out, error.c_str());
    return 1;
  }
  return 0;
}
