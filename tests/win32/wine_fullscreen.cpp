// Asks for a fullscreen mode the display cannot give and reports what the
// driver selection made of it: "error E fullscreen F", where F is 1 when the
// window is fullscreen.

#include <cstdio>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "runtime/last_error.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  gfx_screen_res(1000, 700, 32, 1, kModeFullscreen, 0);
  std::printf("error %d fullscreen %d\n", last_error(), current_mode() ? (window_host().flags & kModeFullscreen) : -1);
  std::fflush(stdout);
  runtime_end(0);
}
