#pragma once

// A RandR mode change belongs to the X server, not to the client that made
// it: a process that dies without putting the mode back leaves the monitor
// in it. While a fullscreen mode is in force, a small guardian process holds
// an X connection of its own and the setting to put back; it restores that
// setting when the program ends in any way without having done so (a kill,
// a crash, a fault inside Xlib), then exits.
//
// The guardian is forked, not executed, so it may run nothing but system
// calls: everything it needs (the connection, already set up; the request
// bytes) is prepared before the fork. It leaves the program's session, so a
// terminal's signals do not reach it, keeps none of the program's other
// descriptors, and is not the program's child (no wait of the program ever
// sees it).

#include <string>

#include "display/x11/x11_state.h"

namespace qz {

// Starts a guardian that puts `saved` back on the server `display_name`
// (the driver thread, after a mode change). A guardian that cannot be had
// (no second connection, no fork) is passed over: the program's own paths
// still restore the mode.
void x11_guard_mode(const std::string& display_name, const X11SavedCrtc& saved);

// The mode was put back: the guardian exits without acting.
void x11_release_mode_guard();

// Async-signal-safe: asks the guardian to restore the mode now (the crash
// signals' handler, before the default action ends the process).
void x11_alert_mode_guardian();

}  // namespace qz
