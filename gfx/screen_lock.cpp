#include "gfx/screen_lock.h"

#include <cstring>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "gfx/context.h"

namespace {
// Each thread counts its own nesting, so a second drawing thread can never
// slip past the driver's lock because another thread's count is non-zero.
thread_local int t_depth = 0;
}  // namespace

void screen_lock() {
  ScreenMode* mode = current_mode();
  if (!mode) return;
  if (t_depth == 0 && mode->driver && mode->driver->lock) mode->driver->lock();
  ++t_depth;
  mode->lock_count = t_depth;
}

void screen_unlock(int first, int last) {
  ScreenMode* mode = current_mode();
  if (!mode) return;
  if (first < 0) first = 0;
  if (last < 0) last = mode->height - 1;
  // Primitives pass (1, 0) and mark their own rows: nothing to do then.
  if (first <= last && last < mode->height && gfx_context().work_page == mode->visible_page)
    std::memset(mode->dirty_rows.data() + first, 1, static_cast<std::size_t>(last - first + 1));
  if (t_depth == 0) return;
  --t_depth;
  mode->lock_count = t_depth;
  if (t_depth == 0 && mode->driver && mode->driver->unlock) mode->driver->unlock();
}

int screen_lock_depth() { return t_depth; }

void screen_lock_release_all() {
  ScreenMode* mode = current_mode();
  if (t_depth == 0) return;
  t_depth = 0;
  if (mode) {
    mode->lock_count = 0;
    if (mode->driver && mode->driver->unlock) mode->driver->unlock();
  }
}
