// The cursor image over the window: the desktop's arrow from the cursor
// theme (XCURSOR_SIZE, else 24 pixels), or no image while the program hides
// the cursor. A compositor keeps the last client's cursor until told, so the
// image is set on every entry. The theme and the cursor's surface are made on
// the first need and kept until the pointer goes; loading the theme reads
// all of its cursors (20-60 ms at 24 pixels, 120-180 ms at 48), so it is done
// after the pass, where drawing does not wait for the host lock.

#include <wayland-cursor.h>

#include <cstdlib>

#include "display/wayland/wayland_state.h"

namespace qz {

namespace {

constexpr int kDefaultCursorSize = 24;
constexpr long kLargestCursorSize = 256;

int cursor_size() {
  const char* text = std::getenv("XCURSOR_SIZE");
  if (!text || !*text) return kDefaultCursorSize;
  char* end = nullptr;
  const long size = std::strtol(text, &end, 10);
  return *end == '\0' && size > 0 && size <= kLargestCursorSize ? int(size) : kDefaultCursorSize;
}

// The arrow's first image on the cursor surface; false when there is none
// (no theme could load: the compositor's cursor stays).
bool prepare_arrow() {
  WaylandState& w = wayland();
  if (w.cursor_surface) return true;
  if (!w.cursor_theme) w.cursor_theme = wl_cursor_theme_load(nullptr, cursor_size(), w.shm);
  if (!w.cursor_theme) return false;
  wl_cursor* arrow = wl_cursor_theme_get_cursor(w.cursor_theme, "left_ptr");
  if (!arrow) arrow = wl_cursor_theme_get_cursor(w.cursor_theme, "default");
  if (!arrow || arrow->image_count == 0) return false;
  wl_cursor_image* image = arrow->images[0];
  wl_buffer* buffer = wl_cursor_image_get_buffer(image);
  if (!buffer) return false;
  w.cursor_surface = wl_compositor_create_surface(w.compositor);
  w.cursor_hotspot_x = std::int32_t(image->hotspot_x);
  w.cursor_hotspot_y = std::int32_t(image->hotspot_y);
  wl_surface_attach(w.cursor_surface, buffer, 0, 0);
  wl_surface_damage_buffer(w.cursor_surface, 0, 0, std::int32_t(image->width), std::int32_t(image->height));
  wl_surface_commit(w.cursor_surface);
  return true;
}

}  // namespace

void wayland_show_cursor(bool visible) {
  WaylandState& w = wayland();
  w.cursor_due = false;
  // A cursor is set only for an entry's serial (0 is one), while over the
  // window; the title bar is ours, and shows it whatever the program asked.
  if (!w.pointer || !(w.pointer_on_content || w.pointer_on_bar)) return;
  visible = visible || w.pointer_on_bar;
  if (!visible)
    wl_pointer_set_cursor(w.pointer, w.pointer_serial, nullptr, 0, 0);
  else if (w.cursor_surface)
    wl_pointer_set_cursor(w.pointer, w.pointer_serial, w.cursor_surface, w.cursor_hotspot_x, w.cursor_hotspot_y);
  else
    w.cursor_due = true;
}

void wayland_load_due_cursor() {
  WaylandState& w = wayland();
  if (w.cursor_due && prepare_arrow()) wayland_show_cursor(true);
  w.cursor_due = false;
}

void wayland_release_cursor() {
  WaylandState& w = wayland();
  if (w.cursor_surface) wl_surface_destroy(w.cursor_surface);
  // The theme owns the image buffers the surface showed.
  if (w.cursor_theme) wl_cursor_theme_destroy(w.cursor_theme);
  w.cursor_surface = nullptr;
  w.cursor_theme = nullptr;
}

}  // namespace qz
