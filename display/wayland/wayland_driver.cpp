// The Wayland driver record: init and exit, and the operations that act on
// the window, each handed to the driver thread (which owns the connection).
// Wayland lets no client place its window, move the pointer or change the
// display mode: those slots are empty.

#include "display/wayland/wayland_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "display/display_name.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "runtime/termination.h"

namespace qz {

namespace {

// How long the compositor may take to answer a new connection.
constexpr auto kAnswerLimit = std::chrono::milliseconds(1500);

// A compositor that could not be reached in this driver selection is not
// asked again by its later attempts (they only vary the fullscreen bit and
// the refresh rate).
bool g_unreachable = false;

int wayland_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (refuse_unsupported_window_flags("Wayland", flags)) return -1;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) {
    note_driver_refusal("WAYLAND_DISPLAY is not set");
    return -1;
  }
  // The mode set clears the reason before each selection.
  if (*driver_failure_reason() == '\0') g_unreachable = false;
  if (g_unreachable) return -1;

  host_prepare(width, height, depth, refresh, flags);
  wayland_install_host_routines();

  // This attempt's own state, filled before its thread starts (which so
  // sees it without a lock); the thread keeps it while it runs, also after
  // it was given up on.
  const auto attempt = std::make_shared<WaylandState>();
  attempt->display_name = name;
  attempt->title = title ? title : "";

  const int started = host_start([attempt] { wayland_thread_main(attempt); }, kAnswerLimit);
  if (started == -2) {
    g_unreachable = true;
    note_driver_refusal("the Wayland compositor \"" + printable_display_name(name) + "\" does not answer");
    runtime_poll_termination();
    return -1;
  }
  if (started != 0) {
    // The thread has ended: its outcome can be read.
    g_unreachable = attempt->unreachable;
    note_driver_refusal(attempt->failure.empty() ? "the Wayland window could not be set up" : attempt->failure);
    return -1;
  }
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = window_host().refresh_rate.load();
  return 0;
}

void wayland_exit() { host_stop(); }

void wayland_set_mouse(int, int, int visibility, int clip) {
  host_call([=] {
    if (visibility >= 0) {
      window_input().cursor_visible = visibility > 0 ? 1 : 0;
      wayland_show_cursor(visibility > 0);
    }
    if (clip >= 0) wayland_set_confinement(clip > 0);
  });
}

void wayland_set_window_title(const char* title) {
  // A copy goes to the thread: the caller's buffer may change meanwhile.
  const std::string copy = title ? title : "";
  host_call([&copy] { wayland_apply_title(copy); });
}

}  // namespace

const DisplayDriver wayland_driver = {
    "Wayland",        wayland_init,    wayland_exit,     host_lock,         host_unlock,
    host_set_palette, host_wait_vsync, host_get_mouse,   wayland_set_mouse, wayland_set_window_title,
    nullptr,          nullptr,         nullptr,          nullptr,
};

}  // namespace qz
