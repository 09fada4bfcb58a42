#include "bench/null_screen.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "bench/workloads.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"

using namespace qz;

std::uint8_t* null_screen() {
  const ScreenMode* mode = current_mode();
  auto usable = [](const ScreenMode* m) {
    return m && m->driver == &null_driver && m->width == kFrameWidth && m->height == kFrameHeight && m->bytes_per_pixel == 4 &&
           m->pitch == kFrameWidth * 4;
  };
  if (!usable(mode)) {
    setenv("QZGFX", "null", 1);
    gfx_screen_res(kFrameWidth, kFrameHeight, 32, 1, 0, 0);
    mode = current_mode();
    if (!usable(mode)) throw std::runtime_error("cannot set the 1680x1050x32 Null screen");
  }
  return mode->visible_framebuffer;
}

void reset_canvas(std::uint8_t* frame) {
  std::fill_n(reinterpret_cast<std::uint32_t*>(frame), kFrameBytes / 4, kCanvasColour);
}
