#pragma once

// The X11 display back end: first in the Linux driver table.

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver x11_driver;

// x11_host.cpp: the driver thread's body and the host routines it provides.
void x11_thread_main();
void x11_install_host_routines();

}  // namespace qz
