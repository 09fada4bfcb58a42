// The OpenGL back ends' host: the mode's lifetime, the window routines the
// mode switch uses, and the events taken on the program's calls.

#include "display/gl_host.h"

#include <mutex>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "runtime/termination.h"

namespace qz {

namespace {

// The platform of the open OpenGL mode, null while none is open. Program's
// thread only.
const GlPlatform* g_platform = nullptr;

int make_current() { return g_platform->make_current(); }

// The host's window routines: the same for the first window and for every
// one the mode switch builds, so the context is kept across the switch.
int show_window() { return g_platform->make_window(make_current); }

void take_down_window() {
  g_platform->release_current();
  g_platform->destroy_window();
}

}  // namespace

int gl_host_open(const GlPlatform& platform, const char* title, int width, int height, int depth, int refresh,
                 int flags) {
  g_platform = &platform;
  if (platform.open(title, width, height, depth, refresh, flags) != 0) {
    gl_host_close();
    return -1;
  }
  WindowHost& host = window_host();
  host.thread_init = show_window;
  host.release = take_down_window;
  host.confine_cursor = platform.confine_cursor;
  host.free_cursor = platform.free_cursor;
  host.nearest_monitor = platform.nearest_monitor;
  window_input_reset();
  if (show_window() != 0) {
    gl_host_close();
    return -1;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    host.active = 1;
  }
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = host.refresh_rate.load();
  return 0;
}

void gl_host_close() {
  if (!g_platform) return;
  take_down_window();
  g_platform->close();
  g_platform = nullptr;
}

bool gl_host_running() { return g_platform != nullptr; }

void gl_host_poll_events() {
  if (!g_platform) return;
  // The key queue and the event ring are written under the host lock, as
  // with the back ends that have a thread.
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  g_platform->pump_events();
}

void gl_host_flip() {
  if (g_platform) g_platform->swap_buffers();
  gl_host_poll_events();
  runtime_poll_termination();
}

}  // namespace qz
