// Opens the program's window, draws its picture and answers commands on
// standard input, so that a script can compare what the X server shows with
// the framebuffer:
//   full FILE   wait for a presentation, then write the framebuffer (BGRA)
//   band FILE   change rows 200-259 only, wait, then write the framebuffer
//   quit        end with status 0
// Prints "ready" once the window is up, and "ok" after each command.

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/scene.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "gfx/line.h"
#include "runtime/runtime.h"

using namespace qz;

namespace {
void dump(const std::string& path) {
  Sleep(300);  // several presentation passes
  const ScreenMode* mode = current_mode();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(mode->visible_framebuffer, 1, std::size_t(mode->pitch) * mode->height, f);
    std::fclose(f);
  }
}
}  // namespace

int main(int argc, char** argv) {
  setup_scene(argc, argv);
  if (!current_mode()) {
    std::fprintf(stderr, "probe: no window (%s)\n", driver_failure_reason());
    return 1;
  }
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  std::cout << "ready" << std::endl;
  std::string command, path;
  while (std::cin >> command) {
    if (command == "quit") runtime_end(0);
    std::cin >> path;
    if (command == "band") gfx_line(nullptr, 100, 200, 1500, 259, 0xFF3366CC, kBoxFilled, 0xFFFF, 0);
    dump(path);
    std::cout << "ok" << std::endl;
  }
  runtime_end(0);
}
