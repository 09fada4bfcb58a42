// A small program for the key tests: opens a window, then on each "drain"
// line from standard input reads every pending key with read_key and prints
// each as its bytes in decimal, followed by "end". Keys are read only when
// asked, so a test can let the queue fill up first. "down N" prints whether
// the key of scan code N is held (key_is_down). "mouse" prints what the
// mouse read gives ("result x y"), "first mouse" what it gave right after
// the window opened.

#include <qzgfx/qzgfx.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_title.h"
#include "input/key_read.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  gfx_screen_res(640, 480, 32, 1, 0, 0);
  if (!current_mode()) {
    std::fprintf(stderr, "key_reader: no window (%s)\n", driver_failure_reason());
    return 1;
  }
  qz_mouse first{};
  const int first_result = qz_get_mouse(&first);
  const auto print_mouse = [](int result, const qz_mouse& m) {
    std::cout << result << " " << m.x << " " << m.y << std::endl;
  };
  gfx_window_title("key reader");
  std::cout << "ready" << std::endl;
  std::string command;
  while (std::getline(std::cin, command)) {
    if (command == "quit") runtime_end(0);
    if (command.rfind("down ", 0) == 0) {
      std::cout << (key_is_down(std::stoi(command.substr(5))) ? "held" : "up") << std::endl;
      continue;
    }
    if (command == "first mouse") {
      print_mouse(first_result, first);
      continue;
    }
    if (command == "mouse") {
      qz_mouse now{};
      print_mouse(qz_get_mouse(&now), now);
      continue;
    }
    if (command != "drain") continue;
    for (std::string key = read_key(); !key.empty(); key = read_key()) {
      for (std::size_t i = 0; i < key.size(); ++i)
        std::cout << (i ? " " : "") << int(static_cast<unsigned char>(key[i]));
      std::cout << "\n";
    }
    std::cout << "end" << std::endl;
  }
  runtime_end(0);
}
