#include "gfx/screen_lock.h"

#include <cstring>

#include "gfx/context.h"

namespace qz {

constinit thread_local int screen_lock_detail::depth = 0;

void screen_lock_detail::mark_rows(RasterScreen& screen, int first, int last) {
  if (first < 0) first = 0;
  if (last < 0) last = screen.height - 1;
  if (first <= last && last < screen.height && gfx_context().work_page == screen.visible_page)
    std::memset(screen.dirty_rows.data() + first, 1, static_cast<std::size_t>(last - first + 1));
}

int screen_lock_depth() { return screen_lock_detail::depth; }

void screen_lock_release_all() {
  RasterScreen* screen = current_screen();
  if (screen_lock_detail::depth == 0) return;
  screen_lock_detail::depth = 0;
  if (screen) {
    screen->lock_count = 0;
    if (screen->unlock) screen->unlock();
  }
}

}  // namespace qz
