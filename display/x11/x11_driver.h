#pragma once

// The X11 display back end: first in the Linux driver table.

#include <memory>

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver x11_driver;

// x11_host.cpp: the driver thread's body and the host routines it provides.
struct X11Attempt;
// `attempt`: the connection attempt's own record, kept by the thread until it ends.
void x11_thread_main(std::shared_ptr<X11Attempt> attempt);
void x11_install_host_routines();

// x11_driver.cpp, for every back end on an X server: $DISPLAY, or null
// (refused, with the reason noted) when unset.
const char* x11_display_name();
// A new window's host record and X11 state, for the back end's init to
// complete (its host routines, then the connection).
void x11_begin_window(const char* display, const char* title, int width, int height, int depth, int refresh,
                      int flags);

}  // namespace qz
