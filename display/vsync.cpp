#include "display/vsync.h"

#include <chrono>
#include <thread>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "runtime/last_error.h"
#include "runtime/termination.h"

namespace qz {

void gfx_wait_vsync() {
  runtime_poll_termination();
  ScreenMode* mode = current_mode();
  if (!mode) {
    set_last_error(1);
    return;
  }
  if (mode->driver && mode->driver->wait_vsync) mode->driver->wait_vsync();
  poll_window_events();
  set_last_error(0);
}

void sleep_one_frame(int refresh_rate) {
  int ms = refresh_rate > 1 ? 1000 / refresh_rate : 16;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qz
