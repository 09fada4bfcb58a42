#include "display/display_driver.h"
#include "display/screen_mode.h"

namespace qz {

void poll_window_events() {
  const ScreenMode* mode = current_mode();
  if (mode && mode->driver && mode->driver->poll_events && !display_lost()) mode->driver->poll_events();
}

}  // namespace qz
