// The text console's key reading on Windows, used while no graphics mode
// exists: pending console input only, never waiting.

#include <conio.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "input/key_read.h"

namespace qz {

std::string console_read_key() {
  if (!_kbhit()) return {};
  int c = _getch();
  // Function and cursor keys arrive as 0 or 0xE0 followed by their extended
  // code, which is the code the key queue uses as well.
  if (c == 0 || c == 0xE0) {
    int e = _getch();
    return std::string{char(0xFF), char(e)};
  }
  return std::string(1, char(c));
}

void console_sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace qz
