#include <cstdio>
#include <cstdlib>

#include "app/scene.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"

using namespace qz;

// linkageSWEEPdemo1: a crank-and-link mechanism solved for 72 crank angles,
// drawn with its diagrams, then animated until Escape or the close box.
int main(int argc, char** argv) {
  setup_scene(argc, argv);
  if (!current_mode()) {
    // Without a window nothing would ever be shown and the animation would
    // spin at full speed; say why and how to run without a display instead.
    const char* reason = driver_failure_reason();
    std::fprintf(stderr, "linkageSWEEPdemo1: cannot open a window (%s); set QZGFX=null to run without a display\n",
                 *reason ? reason : "no display back end could start");
    return 1;
  }
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  run_animation(scene, table);
}
