#pragma once

#include <string>

namespace qz {

// The console operations that a graphics mode replaces with its own versions.
// With no mode every slot is empty and the text console's versions run.
struct ConsoleHooks {
  std::string (*read_key)() = nullptr;
  int (*wait_key)() = nullptr;
  int (*key_pending)() = nullptr;
  int (*key_is_down)(int scan_code) = nullptr;
  int (*set_text_grid)(int columns, int rows) = nullptr;
  void (*clear_screen)(int area) = nullptr;
  void (*sleep)(int milliseconds) = nullptr;
};

// The process-wide hook set; written by the mode set on the program's thread.
ConsoleHooks& console_hooks();

}  // namespace qz
