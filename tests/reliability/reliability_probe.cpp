// A small program for the reliability tests, in the shapes of program the
// library must survive:
//
//   reliability_probe [--fullscreen] [--size WxH] [--title TEXT] [--heap MB] BEHAVIOUR
//
//   animate  draws, waits 27 frames, reads a key; Escape or the close code
//            end it with status 0 (the program's loop, smaller)
//   busy     draws for ever and never waits nor reads a key
//   locked   takes the screen lock and keeps it, sleeping (not through the
//            library) and never waiting for a frame or reading a key either
//
// Without --title the window keeps the title derived from the executable's
// path. --heap holds that many megabytes of heap, written before the mode
// is set and again after it (what a helper process started meanwhile must
// not come to share). Once the mode is set it prints "ready " and
// window_title() on standard output.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/vsync.h"
#include "display/window_title.h"
#include "gfx/line.h"
#include "gfx/screen_lock.h"
#include "input/key_read.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

namespace {

void draw_frame(int width, int height, int step, std::uint32_t colour) {
  const float x = float(step % width);
  gfx_line(nullptr, x, 0, float(width - 1) - x, float(height - 1), colour, kLine, 0xFFFF, 0);
}

}  // namespace

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  int flags = 0, width = 640, height = 480, heap_mb = 0;
  const char* title = nullptr;
  std::string behaviour = "animate";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--fullscreen")) {
      flags |= kModeFullscreen;
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    } else if (!std::strcmp(argv[i], "--heap") && i + 1 < argc) {
      heap_mb = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--title") && i + 1 < argc) {
      title = argv[++i];
    } else {
      behaviour = argv[i];
    }
  }
  std::vector<char> heap(std::size_t(heap_mb) << 20, '\x5A');
  if (title) gfx_window_title(title);
  gfx_screen_res(width, height, 32, 1, flags, 0);
  if (!current_mode()) {
    std::fprintf(stderr, "reliability_probe: no window (%s)\n", driver_failure_reason());
    return 1;
  }
  std::fill(heap.begin(), heap.end(), '\x5B');
  asm volatile("" : : "r"(heap.data()) : "memory");  // written for real, not optimised away
  std::cout << "ready " << (window_title() ? window_title() : "") << std::endl;

  if (behaviour == "locked") {
    screen_lock();
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (int step = 0;; ++step) {
    draw_frame(width, height, step, 0xFF000000u | std::uint32_t(step * 2654435761u >> 8));
    if (behaviour == "busy") continue;
    for (int i = 0; i < 27; ++i) gfx_wait_vsync();
    const std::string key = read_key();
    if (key == "\x1b" || key == "\xff" "k") runtime_end(0);
  }
}
