// Asks for a fullscreen mode the display cannot give and reports what the
// window host made of it: "error E fullscreen F covers C", where F is 1 when
// the window is fullscreen and C is 1 when it covers the monitor with the
// picture fitted to it.

#include <windows.h>

#include <cstdio>

#include "display/picture_fit.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "runtime/exit_path.h"
#include "runtime/last_error.h"
#include "runtime/runtime.h"

using namespace qz;

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  gfx_screen_res(1000, 700, 32, 1, kModeFullscreen, 0);
  const WindowHost& host = window_host();
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  const bool covers = host.window_width == width && host.window_height == height &&
                      host.picture == fit_picture(1000, 700, width, height);
  std::printf("error %d fullscreen %d covers %d\n", last_error(),
              current_mode() ? (host.flags & (kModeFullscreen | kModeDesktopFullscreen)) != 0 : -1, covers ? 1 : 0);
  std::fflush(stdout);
  runtime_end(0);
}
