// Presentation of the band of marked rows, committed with damage_buffer over
// the band alone. One commit waits for the frame callback of the one before:
// the rows marked meanwhile stay marked and go with the next commit.
//
// At every depth the rows are copied (converted where the depth is not the
// compositor's) into a buffer of ours that the compositor does not hold,
// opaque, under the host lock: the compositor never sees a page the program
// is drawing into. Each buffer keeps the rows it lacks (those committed from
// the other one since it was last written); they are copied along with the
// band, so every buffer shows the whole picture when it is attached, while
// the compositor is told of the band only.

#include <algorithm>
#include <cstring>
#include <new>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"

namespace qz {

namespace {

// The unused byte set: a compositor that looks at alpha anyway sees the
// converted rows opaque.
constexpr std::uint32_t kOpaque = 0xFF000000u;

void on_frame_done(void*, wl_callback* callback, std::uint32_t) {
  WaylandState& w = wayland();
  if (callback == w.frame_callback) w.frame_callback = nullptr;
  wl_callback_destroy(callback);
}
const wl_callback_listener kFrameListener = {on_frame_done};

// The marked framebuffer rows as window rows, or empty.
RowRange marked_rows(const ScreenMode& mode) {
  const auto rows = std::min<std::size_t>(std::size_t(mode.height), mode.dirty_rows.size());
  const auto begin = mode.dirty_rows.begin();
  const auto end = begin + std::ptrdiff_t(rows);
  const auto first = std::find_if(begin, end, [](std::uint8_t f) { return f != 0; });
  if (first == end) return {};
  const auto last = std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(first),
                                 [](std::uint8_t f) { return f != 0; });
  const int scanline = mode.scanline_size;
  return {int(first - begin) * scanline, int(last.base() - begin) * scanline - 1};
}

// Converts the band's rows into `pixels` (rows `stride` bytes apart at the
// picture's size), with `stale`, the rows the destination lacks.
void convert_rows(ScreenMode& mode, const WindowHost& host, std::uint8_t* pixels, std::int32_t stride, RowRange stale,
                  RowRange rows) {
  // The blitter writes the marked framebuffer rows: the buffer's own stale ones too.
  const int scanline = mode.scanline_size;
  if (!stale.empty())
    for (int y = stale.first / scanline; y <= stale.last / scanline; ++y) mode.dirty_rows[std::size_t(y)] = 1;
  if (mode.depth == 32 && scanline == 1) {
    // The compositor's layout: one pass copies a row and sets its unused byte.
    for (int y = rows.first; y <= rows.last; ++y) {
      if (!mode.dirty_rows[std::size_t(y)]) continue;
      const auto* from = reinterpret_cast<const std::uint32_t*>(mode.visible_framebuffer + std::ptrdiff_t(y) * mode.pitch);
      auto* to = reinterpret_cast<std::uint32_t*>(pixels + std::ptrdiff_t(y) * stride);
      for (int x = 0; x < host.width; ++x) to[x] = from[x] | kOpaque;
    }
    return;
  }
  host.blitter(pixels, stride);
  for (int y = rows.first; y <= rows.last; ++y) {
    if (!mode.dirty_rows[std::size_t(y / scanline)]) continue;
    auto* row = reinterpret_cast<std::uint32_t*>(pixels + std::ptrdiff_t(y) * stride);
    for (int x = 0; x < host.width; ++x) row[x] |= kOpaque;
  }
}

// The buffer to attach with the band's rows in it, or null when none is free.
wl_buffer* fill_buffer(ScreenMode& mode, const WindowHost& host, RowRange band) {
  WaylandState& w = wayland();
  WaylandBuffer* buffer = wayland_free_buffer();
  if (!buffer) return nullptr;
  RowRange rows = band;
  rows.add(buffer->stale);
  rows.last = std::min(rows.last, host.height - 1);
  if (w.picture_copy.empty()) {
    convert_rows(mode, host, buffer->pixels, w.stride, buffer->stale, rows);
  } else {
    auto* copy = reinterpret_cast<std::uint8_t*>(w.picture_copy.data());
    convert_rows(mode, host, copy, host.width * 4, buffer->stale, rows);
    w.scaler.scale_rows(copy, host.width * 4, rows.first, rows.last, buffer->pixels, w.stride);
  }
  buffer->stale = {};
  for (WaylandBuffer& other : w.buffers)
    if (&other != buffer) other.stale.add(band);
  buffer->busy = true;
  return buffer->buffer;
}

// The window rows showing picture rows [first, last]; the bars go with the
// picture's first and last rows.
RowSpan window_rows(const WindowHost& host, int first, int last) {
  if (host.window_width == host.width && host.window_height == host.height) return {first, last};
  return shown_window_rows(host.picture, host.height, host.window_height, first, last);
}

}  // namespace

void wayland_present_marked_rows() {
  WaylandState& w = wayland();
  const WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!mode || !w.surface || !w.configured || w.frame_callback || host.picture.width <= 0 || host.picture.height <= 0)
    return;
  const RowRange band = marked_rows(*mode);
  if (band.empty()) return;
  wl_buffer* buffer = fill_buffer(*mode, host, band);
  if (!buffer) return;
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{0});

  wl_surface_attach(w.surface, buffer, 0, 0);
  const RowSpan shown = window_rows(host, band.first, std::min(band.last, host.height - 1));
  wl_surface_damage_buffer(w.surface, 0, shown.first, host.window_width, shown.last - shown.first + 1);
  w.frame_callback = wl_surface_frame(w.surface);
  wl_callback_add_listener(w.frame_callback, &kFrameListener, nullptr);
  wayland_ask_presentation_feedback();
  wl_surface_commit(w.surface);
}

int wayland_setup_presentation() {
  WaylandState& w = wayland();
  WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  if (!mode) {
    w.failure = "no graphics mode to present";
    return -1;
  }
  host.blitter = select_blitter(32, ChannelOrder::kStandard);
  if (!host.blitter) {
    w.failure = "no conversion from depth " + std::to_string(mode->depth) + " to the compositor's";
    return -1;
  }
  return wayland_size_content(wayland().logical_width, wayland().logical_height);
}

int wayland_fit_picture(int window_width, int window_height) {
  WaylandState& w = wayland();
  WindowHost& host = window_host();
  wayland_destroy_buffers();
  w.picture_copy.clear();
  host_fit_picture(window_width, window_height);
  if (wayland_create_buffers(window_width, window_height) != 0) return -1;
  // Nothing shown yet: every picture row is to be written.
  for (WaylandBuffer& buffer : w.buffers) buffer.stale = RowRange{0, host.height - 1};
  // Smaller than a pixel of picture: nothing to show, nothing to fail.
  if (!host_picture_scaled() || host.picture.width <= 0 || host.picture.height <= 0) return 0;
  try {
    w.picture_copy.assign(std::size_t(host.width) * std::size_t(host.height), 0);
  } catch (const std::bad_alloc&) {
    w.failure = "no memory for the scaled window";
    return -1;
  }
  w.scaler.configure(host.width, host.height, host.picture, 4);
  for (WaylandBuffer& buffer : w.buffers) w.scaler.clear_bars(buffer.pixels, w.stride, window_width, window_height);
  return 0;
}

void wayland_release_presentation() {
  wayland_destroy_buffers();
  wayland().picture_copy = {};
  window_host().blitter = nullptr;
}

}  // namespace qz
