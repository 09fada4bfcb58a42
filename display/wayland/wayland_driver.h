#pragma once

// The Wayland display back end: first in the Linux driver table when the
// session announces a compositor (WAYLAND_DISPLAY).

#include <memory>

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver wayland_driver;

// wayland_host.cpp: the driver thread's body and the host routines it provides.
struct WaylandState;
// `state`: the attempt's own, kept by the thread until it ends.
void wayland_thread_main(std::shared_ptr<WaylandState> state);
void wayland_install_host_routines();

}  // namespace qz
