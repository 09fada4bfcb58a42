#pragma once

// A RandR mode change belongs to the X server, not to the client that made
// it: a process that dies without putting the mode back leaves the monitor
// in it. While a fullscreen mode is in force, a small guardian process
// (guardian/x11_mode_guardian_main.cpp) holds an X connection of its own and
// the setting to put back; it restores that setting when the program ends
// in any way without having done so (a kill, a crash, a fault inside Xlib),
// then exits.
//
// The guardian is a program of its own, carried inside the library and
// started from an in-memory file: nothing to find on disk however the
// library is built, installed or linked, and its memory is its own, not a
// copy of the program's. It holds none of the program's descriptors but
// its socket, from which it learns that the program has gone (end of file).

#include <string>

#include "display/x11/x11_mode_record.h"

namespace qz {

// Starts a guardian that puts `desktop` back on the server `display_name`
// if `desktop.crtc` still shows the mode `ours` when the program has gone
// (the driver thread, after the mode change). Empty when it runs, else why
// not, in a few words: the mode stays changed all the same (the program's
// own paths still restore it). The reason is also kept for
// x11_take_mode_guard_note.
std::string x11_guard_mode(const std::string& display_name, const X11CrtcSetting& desktop, unsigned long ours);

// Why the last mode change has no guardian (one line for qz_error_message:
// the window is up all the same), then empty. Any thread: a window-mode
// switch changes the mode on the driver thread while the program runs.
std::string x11_take_mode_guard_note();

// The program took care of the mode itself: the guardian exits without
// acting.
void x11_release_mode_guard();

// Async-signal-safe: asks the guardian to restore the mode now (the crash
// signals' handler, before the default action ends the process).
void x11_alert_mode_guardian();

}  // namespace qz
