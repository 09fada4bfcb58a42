// A layered window at depth 16 of the back end QZGFX names: magenta
// everywhere (see-through) but for a green box at x 100..199, y 50..99.
// Prints "ready" once it is shown, then waits for a line on standard input.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  gfx_screen_res(320, 200, 16, 1, kModeLayered, 0);
  ScreenMode* mode = current_mode();
  if (!mode) {
    std::printf("no window (%s)\n", driver_failure_reason());
    return 1;
  }
  constexpr std::uint16_t kMagenta = 0xF81F, kGreen = 0x07E0;
  mode->driver->lock();
  for (int y = 0; y < mode->height; ++y) {
    auto* row = reinterpret_cast<std::uint16_t*>(mode->visible_framebuffer + std::size_t(y) * mode->pitch);
    for (int x = 0; x < mode->width; ++x) row[x] = x >= 100 && x < 200 && y >= 50 && y < 100 ? kGreen : kMagenta;
  }
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
  mode->driver->unlock();
  Sleep(300);  // several presentation passes
  std::cout << mode->driver->name << " ready" << std::endl;
  std::string line;
  std::getline(std::cin, line);
  runtime_end(0);
}
