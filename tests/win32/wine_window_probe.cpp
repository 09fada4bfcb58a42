// Opens the program's window, draws its picture and answers commands on
// standard input, so that a script can check one back end in one start:
//   driver      print the back end's name
//   hash        print the SHA-256 of the framebuffer
//   full FILE   wait for a presentation, then write the framebuffer (BGRA)
//   band FILE   change rows 200-259 only, wait, then write the framebuffer
//   keys        print every queued key as its bytes in decimal, "|"-separated,
//               then whether the last two end the program (Escape, close code)
//   modes       print whether the back end lists the display's 1920 x 1200
//               among its 32-bit modes ("listed" or "missing")
//   held N      print whether the key of scan code N is down (key_state)
//   pace N      run N animation frames as the program does; print ms per frame
//   time        print how long showing every row and rows 200-259 takes
//               (microseconds)
//   request     mark row 0 and unlock, wait until a pass has shown it, then
//               print whether that pass took the unlock's request ("taken")
//               or it is still standing ("pending")
//   run         the program's animation until Escape or the close request
//   quit        end with status 0
// Prints "ready" once the window is up, and one line after each command.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/scene.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "gfx/line.h"
#include "input/key_read.h"
#include "runtime/exit_path.h"
#include "tests/support/sha256.h"

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

// Microseconds from marking rows first..first+count-1 until a pass has shown
// them (the pass is asked for at once), the mean of five.
std::int64_t present_time(int first, int count) {
  ScreenMode* mode = current_mode();
  std::int64_t total = 0;
  for (int i = 0; i < 5; ++i) {
    mode->driver->lock();
    std::fill_n(mode->dirty_rows.begin() + first, count, std::uint8_t{1});
    const auto start = std::chrono::steady_clock::now();
    mode->driver->unlock();
    for (bool shown = false; !shown;) {
      Sleep(0);
      std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());  // no pass asked for
      shown = mode->dirty_rows[std::size_t(first)] == 0;
    }
    total += std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    Sleep(50);
  }
  return total / 5;
}

std::string queued_keys() {
  std::string out, last, before_last;
  for (std::string key = read_key(); !key.empty(); key = read_key()) {
    if (!out.empty()) out += '|';
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (i) out += ' ';
      out += std::to_string(int(static_cast<unsigned char>(key[i])));
    }
    before_last = last;
    last = key;
  }
  const bool both_end = ends_program(before_last) && ends_program(last);
  return out + (both_end ? " ends" : " goes-on");
}

}  // namespace

int main(int argc, char** argv) {
  setup_scene(argc, argv);
  const ScreenMode* mode = current_mode();
  if (!mode) {
    std::fprintf(stderr, "probe: no window (%s)\n", driver_failure_reason());
    return 1;
  }
  const SceneConstants scene = make_scene_constants();
  static LinkageTable table;
  compute_sweep(scene, table);
  draw_static_chart(scene, table);
  std::cout << "ready" << std::endl;
  std::string command, argument;
  AnimationState state;
  while (std::cin >> command) {
    if (command == "quit") runtime_end(0);
    if (command == "run") run_animation(scene, table);
    if (command == "driver") {
      std::cout << mode->driver->name << std::endl;
    } else if (command == "hash") {
      std::cout << sha256_hex(mode->visible_framebuffer, std::size_t(mode->pitch) * mode->height) << std::endl;
    } else if (command == "modes") {
      bool listed = false;
      for (std::int32_t size : mode->driver->fetch_modes(32)) listed = listed || size == 1920 * 65536 + 1200;
      std::cout << (listed ? "listed" : "missing") << std::endl;
    } else if (command == "keys") {
      std::cout << queued_keys() << std::endl;
    } else if (command == "held") {
      std::cin >> argument;
      std::cout << (key_is_down(std::stoi(argument)) ? "held" : "up") << std::endl;
    } else if (command == "request") {
      ScreenMode* drawn = current_mode();
      drawn->driver->lock();
      drawn->dirty_rows[0] = 1;
      drawn->driver->unlock();
      for (bool shown = false; !shown;) {
        Sleep(1);
        std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
        shown = drawn->dirty_rows[0] == 0;
      }
      Sleep(50);  // any pass after it would take a request as well
      std::cout << (host_pass_requested() ? "pending" : "taken") << std::endl;
    } else if (command == "time") {
      std::cout << "full " << present_time(0, mode->height) << " band " << present_time(200, 60) << std::endl;
    } else if (command == "pace") {
      std::cin >> argument;
      const int frames = std::stoi(argument);
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < frames; ++i) animation_frame(scene, table, state, true);
      const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
      std::cout << int(took.count() / frames + 0.5) << std::endl;
    } else if (command == "full" || command == "band") {
      std::cin >> argument;
      if (command == "band") gfx_line(nullptr, 100, 200, 1500, 259, 0xFF3366CC, kBoxFilled, 0xFFFF, 0);
      dump(argument);
      std::cout << "ok" << std::endl;
    }
  }
  runtime_end(0);
}
