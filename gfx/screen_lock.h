#pragma once

// The nesting screen lock. Its outermost level takes the display driver's
// lock, which on a window back end is the host lock that the presentation
// pass holds; so pixels of the visible page are never written while the pass
// reads them, and dirty_rows is set and cleared under the same lock.
void screen_lock();
// Marks rows first..last dirty (first raised to 0, last < 0 meaning the last
// row) when drawing on the visible page, then leaves one level. Primitives
// pass (1, 0), which marks nothing.
void screen_unlock(int first, int last);

// Depth of the calling thread's hold of the screen lock.
int screen_lock_depth();
// Drops every level the calling thread holds (used by the host's stop).
void screen_lock_release_all();
