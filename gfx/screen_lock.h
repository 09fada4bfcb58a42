#pragma once

// The nesting screen lock. Its outermost level takes the screen's lock (the
// display driver's, which on a window back end is the host lock that the
// presentation pass holds); so pixels of the visible page are never written while the pass
// reads them, and dirty_rows is set and cleared under the same lock.
//
// Every primitive takes and leaves it once, so both are inline (always: as
// calls they cost a small circle a tenth of its time): the common path is a
// few instructions and no stack.

#include "gfx/context.h"
#include "gfx/raster_screen.h"

namespace qz {

namespace screen_lock_detail {
// Each thread counts its own nesting, so a second drawing thread can never
// slip past the driver's lock because another thread's count is non-zero.
extern constinit thread_local int depth;
// Marks rows first..last of the visible page (see screen_unlock).
void mark_rows(RasterScreen& screen, int first, int last);
}  // namespace screen_lock_detail

[[gnu::always_inline]] inline void screen_lock() {
  RasterScreen* screen = current_screen();
  if (!screen) return;
  // The thread-local is named at each use rather than bound to a reference:
  // g++ 12's null check of such a reference under UBSan tests stale flags.
  if (screen_lock_detail::depth == 0 && screen->lock) screen->lock();
  screen->lock_count.store(++screen_lock_detail::depth, std::memory_order_relaxed);
}

// Marks rows first..last dirty (first raised to 0, last < 0 meaning the last
// row) when drawing on the visible page, then leaves one level. Primitives
// pass (1, 0), which marks nothing.
[[gnu::always_inline]] inline void screen_unlock(int first, int last) {
  RasterScreen* screen = current_screen();
  if (!screen) return;
  if (first != 1 || last != 0) screen_lock_detail::mark_rows(*screen, first, last);
  if (screen_lock_detail::depth == 0) return;
  screen->lock_count.store(--screen_lock_detail::depth, std::memory_order_relaxed);
  if (screen_lock_detail::depth == 0 && screen->unlock) screen->unlock();
}

// Drawing on an image takes no lock: the image is the caller's to share, and
// the screen record may be replaced meanwhile by another thread.
[[gnu::always_inline]] inline void target_lock(const GfxContext& ctx) {
  if (!draws_on_image(ctx)) screen_lock();
}
[[gnu::always_inline]] inline void target_unlock(const GfxContext& ctx) {
  if (!draws_on_image(ctx)) screen_unlock(1, 0);
}

// Depth of the calling thread's hold of the screen lock.
int screen_lock_depth();
// Drops every level the calling thread holds (used by the host's stop).
void screen_lock_release_all();

}  // namespace qz
