// The title bar where the compositor draws no frame (weston, GNOME): a strip
// above the content with the program's title in the built-in 8 x 16 font, a
// minimise box and a close box. It is a subsurface with one small buffer of
// its own, drawn here without any toolkit, so a framed window costs about
// 160 KB and no time worth measuring.
//
// Pressing on the strip moves the window (the compositor does it), the right
// button opens the compositor's window menu, and a click on a box minimises
// or asks to close as the compositor's own close request does. The strip is
// hidden while the window is fullscreen and dims while it is inactive. Its
// width follows the window's. It is drawn in logical pixels (buffer scale 1):
// on a scaled output the compositor stretches it.

#include <linux/input-event-codes.h>

#include <algorithm>
#include <new>

#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "display/window_title.h"
#include "gfx/builtin_data.h"
#include "xdg-shell-client.h"

namespace qz {

namespace {

constexpr int kFontIndex = 2;  // 8 x 16
constexpr int kMargin = 8;
constexpr int kBoxWidth = kFrameBarHeight + 8;
constexpr int kBoxMark = 10;  // side of the close box's cross and width of the minimise bar

struct BarColours {
  std::uint32_t background, text;
};
constexpr BarColours kActive = {0xFF2E3440u, 0xFFFFFFFFu};
constexpr BarColours kInactive = {0xFF5C6068u, 0xFFC8C8C8u};

enum class BarPart { kNone, kTitle, kMinimise, kClose };

BarPart part_at(int x) {
  const int width = wayland().logical_width;
  if (x >= width - kBoxWidth) return BarPart::kClose;
  if (x >= width - 2 * kBoxWidth) return BarPart::kMinimise;
  return BarPart::kTitle;
}

// Draws the strip into its buffer: background, title, the two boxes.
void draw_bar() {
  WaylandState& w = wayland();
  const int width = w.bar_width;
  const BarColours colours = w.activated ? kActive : kInactive;
  auto* pixels = reinterpret_cast<std::uint32_t*>(w.bar_memory.data());
  std::fill_n(pixels, std::size_t(width) * kFrameBarHeight, colours.background);
  // Clipped: on a window narrower than the boxes they overlap or fall off.
  auto put = [&](int x, int y) {
    if (x >= 0 && x < width) pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = colours.text;
  };

  // The title reads as the window system reads it (the locale's text, else
  // Latin-1), shown in the built-in code page 437 font.
  const std::u32string title = title_characters(w.title);
  const FontRecord& font = builtin_font(kFontIndex);
  const int cell_w = int(font.cell_width), cell_h = int(font.cell_height);
  const int top = (kFrameBarHeight - cell_h) / 2;
  const int room = (width - 2 * kBoxWidth - 2 * kMargin) / cell_w;
  const int count = std::min(int(title.size()), std::max(room, 0));
  const int row_bytes = (cell_w + 7) / 8;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t code = cp437_from_unicode(title[std::size_t(i)]);
    const std::uint8_t* glyph = font.glyphs + std::size_t(code) * std::size_t(cell_h * row_bytes);
    for (int y = 0; y < cell_h; ++y)
      for (int x = 0; x < cell_w; ++x)
        if (glyph[y * row_bytes + (x >> 3)] & (1u << (x & 7))) put(kMargin + i * cell_w + x, top + y);
  }

  // A cross for close, a bar for minimise, each centred in its box, two pixels thick.
  const int mark_top = (kFrameBarHeight - kBoxMark) / 2;
  const int close_left = width - kBoxWidth + (kBoxWidth - kBoxMark) / 2;
  for (int i = 0; i < kBoxMark; ++i)
    for (int t = 0; t < 2 && i + t < kBoxMark; ++t) {
      put(close_left + i + t, mark_top + i);
      put(close_left + kBoxMark - 1 - i - t, mark_top + i);
    }
  const int minimise_left = width - 2 * kBoxWidth + (kBoxWidth - kBoxMark) / 2;
  for (int x = 0; x < kBoxMark; ++x)
    for (int y = mark_top + kBoxMark - 2; y < mark_top + kBoxMark; ++y) put(minimise_left + x, y);
}

// The window's geometry and size limits with or without the strip (logical).
void set_geometry(bool with_bar) {
  WaylandState& w = wayland();
  const int bar = with_bar ? kFrameBarHeight : 0;
  xdg_surface_set_window_geometry(w.shell_surface, 0, -bar, w.logical_width, w.logical_height + bar);
  wayland_apply_size_limits(bar);
}

bool make_buffer() {
  WaylandState& w = wayland();
  const int width = w.logical_width;
  if (w.bar_buffer) wl_buffer_destroy(w.bar_buffer);
  w.bar_buffer = nullptr;
  w.bar_width = 0;
  try {
    w.bar_memory = PageBuffer(std::size_t(width) * 4 * kFrameBarHeight);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (w.bar_memory.share_fd() < 0) return false;
  w.bar_buffer = wayland_buffer_over(w.bar_memory, width, kFrameBarHeight, width * 4);
  w.bar_width = width;
  return true;
}

// Shows the strip as it now should be: drawn, or hidden while fullscreen.
void show_bar() {
  WaylandState& w = wayland();
  const bool resized = w.bar_width != w.logical_width;
  const bool shown = !w.fullscreen && (!resized || make_buffer());
  if (shown) {
    draw_bar();
    wl_surface_attach(w.bar_surface, w.bar_buffer, 0, 0);
    wl_surface_damage_buffer(w.bar_surface, 0, 0, w.bar_width, kFrameBarHeight);
  } else {
    wl_surface_attach(w.bar_surface, nullptr, 0, 0);
  }
  wl_surface_commit(w.bar_surface);
  if (shown != w.bar_shown || resized) set_geometry(shown);
  w.bar_shown = shown;
  w.bar_drawn_active = w.activated;
}

}  // namespace

bool wayland_frame_create() {
  WaylandState& w = wayland();
  if (!w.subcompositor || !w.toplevel || w.bar_surface || !make_buffer()) return false;
  w.bar_surface = wl_compositor_create_surface(w.compositor);
  w.bar_subsurface = wl_subcompositor_get_subsurface(w.subcompositor, w.bar_surface, w.surface);
  wl_subsurface_set_position(w.bar_subsurface, 0, -kFrameBarHeight);
  // The strip changes on its own (activation, title), not with the content.
  wl_subsurface_set_desync(w.bar_subsurface);
  w.bar_shown = false;
  show_bar();
  return true;
}

void wayland_frame_destroy() {
  WaylandState& w = wayland();
  if (w.bar_subsurface) wl_subsurface_destroy(w.bar_subsurface);
  if (w.bar_surface) wl_surface_destroy(w.bar_surface);
  if (w.bar_buffer) wl_buffer_destroy(w.bar_buffer);
  w.bar_memory = PageBuffer{};
  w.bar_subsurface = nullptr;
  w.bar_surface = nullptr;
  w.bar_buffer = nullptr;
  w.bar_shown = false;
  w.bar_width = 0;
}

void wayland_frame_update(bool redraw) {
  WaylandState& w = wayland();
  if (!w.bar_surface) return;
  if (redraw || w.bar_shown == w.fullscreen || w.bar_drawn_active != w.activated) show_bar();
}

bool wayland_frame_owns(const wl_surface* surface) { return surface && surface == wayland().bar_surface; }

void wayland_frame_button(std::uint32_t button, bool pressed, std::uint32_t serial, int x, int y) {
  WaylandState& w = wayland();
  const BarPart part = part_at(x);
  if (!pressed) {
    // A box acts when the press and the release are both on it.
    if (int(part) == w.bar_pressed && part == BarPart::kClose) close_steps();
    if (int(part) == w.bar_pressed && part == BarPart::kMinimise) xdg_toplevel_set_minimized(w.toplevel);
    w.bar_pressed = 0;
    return;
  }
  w.bar_pressed = int(part);
  if (button == BTN_LEFT && part == BarPart::kTitle) {
    w.bar_pressed = 0;
    xdg_toplevel_move(w.toplevel, w.seat, serial);
  } else if (button == BTN_RIGHT) {
    w.bar_pressed = 0;
    xdg_toplevel_show_window_menu(w.toplevel, w.seat, serial, x, y - kFrameBarHeight);
  } else if (button != BTN_LEFT) {
    w.bar_pressed = 0;
  }
}

}  // namespace qz
