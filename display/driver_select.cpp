#include <atomic>
#include <cstdio>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"

namespace qz {

namespace {

// ASCII-only, so that names compare the same under every locale and bytes
// that are not text simply do not match.
bool equal_ignoring_case(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

std::string g_failure_reason;
std::string g_selection_note;
// The id of the mode whose display went away (ids start at 1).
std::atomic<std::int32_t> g_lost_mode_id{0};

// The variable's value fit for a one-line message: bytes that are not
// printable ASCII as \xNN, long values cut.
std::string printable(const char* text) {
  constexpr std::size_t kShown = 40;
  std::string out;
  std::size_t n = 0;
  for (; text[n] && n < kShown; ++n) {
    const unsigned char c = static_cast<unsigned char>(text[n]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(char(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text[n]) out += "...";
  return out;
}

void note_unknown_name(std::span<const DisplayDriver* const> table, const char* qzgfx) {
  g_selection_note.clear();
  if (!qzgfx || !*qzgfx) return;
  for (const DisplayDriver* driver : table)
    if (equal_ignoring_case(driver->name, qzgfx)) return;
  g_selection_note = "QZGFX=\"" + printable(qzgfx) + "\" names no display back end (known:";
  for (const DisplayDriver* driver : table) g_selection_note += std::string(" ") + driver->name + ",";
  g_selection_note += " null)";
}

}  // namespace

const char* driver_failure_reason() { return g_failure_reason.c_str(); }
void set_driver_failure_reason(const char* reason) { g_failure_reason = reason ? reason : ""; }
const char* driver_selection_note() { return g_selection_note.c_str(); }

void note_driver_refusal(const std::string& reason) {
  if (g_failure_reason.empty()) g_failure_reason = reason;
}

bool refuse_unsupported_window_flags(const char* back_end, int flags) {
  // OpenGL windows are the OpenGL back end's: its reason is the one to show.
  if (flags & kModeOpengl) return true;
  if (!(flags & kModeLayered)) return false;
  note_driver_refusal(std::string("the ") + back_end + " back end has no colour-keyed windows");
  return true;
}

void mark_display_lost() {
  if (const ScreenMode* mode = current_mode()) g_lost_mode_id.store(mode->id);
}

bool display_lost() {
  const ScreenMode* mode = current_mode();
  return mode && mode->id == g_lost_mode_id.load();
}

const char* window_unavailable_reason() {
  const ScreenMode* mode = current_mode();
  if (!mode) return "no screen is open";
  if (!mode->driver || mode->driver == &null_driver) return "the screen has no window";
  if (display_lost()) return "the display was lost";
  return nullptr;
}

bool null_driver_requested(const char* qzgfx, int flags) {
  return flags == kModeFlagsNoWindow || (qzgfx && equal_ignoring_case(qzgfx, "null"));
}

const DisplayDriver* select_driver(std::span<const DisplayDriver* const> table, const char* qzgfx,
                                   const DriverRequest& request) {
  if (null_driver_requested(qzgfx, request.flags)) {
    g_selection_note.clear();
    return &null_driver;
  }
  note_unknown_name(table, qzgfx);
  bool named = qzgfx && *qzgfx;

  // With a name: the named driver, every driver, then both again with
  // fullscreen toggled. Without: every driver, then toggled.
  int flags = request.flags;
  for (int pass = named ? 4 : 2; pass >= 1; --pass) {
    for (const DisplayDriver* driver : table) {
      if (named && pass % 2 == 0 && !equal_ignoring_case(driver->name, qzgfx)) continue;
      for (int refresh : {request.refresh, 0}) {
        if (driver->init(request.title, request.width, request.height, request.depth, refresh, flags) == 0)
          return driver;
        if (driver->exit) driver->exit();
      }
    }
    if (!named || pass == 3) flags ^= kModeFullscreen;
  }
  return nullptr;
}

}  // namespace qz
