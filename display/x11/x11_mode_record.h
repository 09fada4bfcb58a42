#pragma once

// The desktop's own display mode while fullscreen programs change it, kept
// where every program on the display finds it: a property of the root window
// per CRTC. The first program that leaves the desktop's mode writes it; a
// later one finds it and keeps it. Whoever puts the desktop's mode back
// removes it, and only a program whose mode is still on the display puts
// anything back (two fullscreen programs must not undo each other in the
// wrong order). Shared by the X11 back end and its mode guardian process,
// so both decide alike; plain Xlib and RandR 1.2 calls (1.3's cheaper
// resource query when the server has it).

#include <X11/Xlib.h>

#include <vector>

namespace qz {

// One CRTC's setting (RRCrtc, RRMode, RROutput are XIDs).
struct X11CrtcSetting {
  unsigned long crtc = 0;
  unsigned long mode = 0;
  int x = 0, y = 0;
  unsigned short rotation = 0;
  std::vector<unsigned long> outputs;
};

// RandR 1.2 or later, and whether it is 1.3 or later; false without it.
bool x11_randr_version(Display* display, bool& current_resources);

// Sets `mode` on `now.crtc` (whose setting is `now`), recording `now` as the
// desktop's mode unless a record is already there; `desktop` gets the
// setting to put back (the record's). False when the server refused (no
// record is left behind then). The caller's error handler sees the errors;
// the outcome is told by the requests' replies.
bool x11_change_mode_recorded(Display* display, Window root, bool current_resources, const X11CrtcSetting& now,
                              unsigned long mode, X11CrtcSetting& desktop);

enum class X11Restore {
  kDone,     // the desktop's mode is back and its record gone
  kNotOurs,  // the CRTC shows another mode than ours: left as it is
  kRefused,  // the server refused it: the record stays for a later try
};

// Puts the desktop's mode back on `fallback.crtc` when the CRTC still shows
// `ours`: the record's setting if there is one, else `fallback`. Errors as
// for x11_change_mode_recorded.
X11Restore x11_restore_recorded(Display* display, Window root, bool current_resources, const X11CrtcSetting& fallback,
                                unsigned long ours);

}  // namespace qz
