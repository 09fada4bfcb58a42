#pragma once

// A display back end is one constant record of operations. An empty slot
// means "not supported": callers skip it, or report failure for the mouse.
// The platform's drivers form a constant table in selection order; the Null
// driver (no window, no presentation) stands outside it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qz {

// Marks a coordinate that is not given (mouse and window position).
constexpr std::int32_t kNotGiven = static_cast<std::int32_t>(0x80000000u);

struct DisplayDriver {
  const char* name;
  // 0 = running with a window ready; anything else = refused.
  int (*init)(const char* title, int width, int height, int depth, int refresh, int flags);
  // Must be safe on a driver that never started.
  void (*exit)();
  void (*lock)();
  void (*unlock)();
  void (*set_palette)(int index, int red, int green, int blue);
  void (*wait_vsync)();
  // 0 = outputs filled (each output may be null); non-zero = no mouse data.
  int (*get_mouse)(int* x, int* y, int* wheel, int* buttons, int* clipped);
  void (*set_mouse)(int x, int y, int visibility, int clip);
  void (*set_window_title)(const char* title);
  int (*set_window_pos)(int x, int y);
  // Display modes of a depth, each width * 65536 + height.
  std::vector<std::int32_t> (*fetch_modes)(int depth);
  void (*flip)();
  void (*poll_events)();
};

extern const DisplayDriver null_driver;

// The platform's drivers in selection order (display/<platform>/driver_table.cpp).
std::span<const DisplayDriver* const> driver_table();

// Everything an init attempt is handed besides the refresh rate and flags.
struct DriverRequest {
  const char* title;
  int width;
  int height;  // window rows: mode height * scanline size
  int depth;
  int refresh;
  int flags;
};

// Walks the table as the mode set needs it: the name in `qzgfx` (may be null)
// first, then every driver, then the same with fullscreen toggled; each entry
// gets an attempt at the requested refresh rate and one at rate 0. Returns the
// driver whose init accepted, &null_driver for flags -1 or QZGFX "null", or
// null when every attempt was refused.
const DisplayDriver* select_driver(std::span<const DisplayDriver* const> table,
                                   const char* qzgfx, const DriverRequest& request);

// True when selection will choose the Null driver without trying the table.
bool null_driver_requested(const char* qzgfx, int flags);

// Why the last window back end refused (e.g. "cannot open display :5"), for
// the program's message when no window can be shown; empty when unknown.
// Back ends set it from their init; the mode set clears it before selection.
const char* driver_failure_reason();
void set_driver_failure_reason(const char* reason);
// A back end's refusal: the first of a selection says most (later attempts
// only vary the fullscreen bit and the refresh rate), so later ones are kept
// only when none came before.
void note_driver_refusal(const std::string& reason);
// For a window back end without OpenGL and colour-keyed windows: true for
// such flags, noting why for colour keys (an OpenGL refusal is left to the
// OpenGL back end to explain).
bool refuse_unsupported_window_flags(const char* back_end, int flags);

// A QZGFX that names no driver of the table (nor "null") is passed over by
// selection; this says so, with the names it could have been, for the
// program's message. Empty when the last selection had no such name.
const char* driver_selection_note();

// A window back end's thread records that its display went away under the
// current mode (a process the runtime does not own goes on). From then on
// the mode's window calls fail; a new mode starts afresh.
void mark_display_lost();
bool display_lost();

// A back end without a window thread (OpenGL) takes its window's events when
// the program's thread asks for input: key reads, event reads, the mouse
// query and the vertical-sync wait call this. Program's thread only.
void poll_window_events();

// Why the current mode can show nothing and deliver no input (no mode, the
// Null driver, a lost display), or null when it has a working window.
const char* window_unavailable_reason();

}  // namespace qz
