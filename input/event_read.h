#pragma once

#include "input/window_event.h"

namespace qz {

// Takes the oldest event of the current mode's ring into `out`; false when
// the ring is empty or there is no mode. Never waits.
bool take_event(WindowEvent& out);

}  // namespace qz
