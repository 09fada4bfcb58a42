// HiDPI: the window keeps its logical size (what the shell configures, the
// size limits and our title bar use), while its buffers are in device
// pixels, so that the compositor shows them unstretched and the picture's
// pixels stay crisp. Where the compositor offers a fractional scale and
// viewports, the buffers are the logical size times its preferred scale,
// rounded, at buffer scale 1, shown at the logical size through a viewport;
// else they are the logical size times the largest whole scale of the
// outputs the surface is on (before it is on any, the first output's),
// given as the surface's buffer scale. A change of scale makes new buffers
// and shows the picture whole.

#include <algorithm>
#include <cmath>

#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "viewporter-client.h"
#if defined(QZ_HAVE_FRACTIONAL_SCALE)
#include "fractional-scale-v1-client.h"
#endif

namespace qz {

namespace {

int whole_scale() {
  const WaylandState& w = wayland();
  int scale = 0;
  for (const wl_output* output : w.entered)
    for (const WaylandOutput& known : w.outputs)
      if (known.output == output) scale = std::max(scale, known.scale);
  if (scale == 0 && !w.outputs.empty()) scale = w.outputs.front().scale;
  return std::max(scale, 1);
}

// The preferred fractional scale where it applies, else 0.
int fractional_scale() {
  const WaylandState& w = wayland();
  return w.viewport ? w.scale120 : 0;
}

void on_enter(void*, wl_surface*, wl_output* output) {
  WaylandState& w = wayland();
  if (std::find(w.entered.begin(), w.entered.end(), output) == w.entered.end()) w.entered.push_back(output);
  wayland_rescale();
}
void on_leave(void*, wl_surface*, wl_output* output) {
  std::erase(wayland().entered, output);
  wayland_rescale();
}
// Events of later compositor versions than the one bound never come.
const wl_surface_listener kSurfaceListener = [] {
  wl_surface_listener l{};
  l.enter = on_enter;
  l.leave = on_leave;
  return l;
}();

#if defined(QZ_HAVE_FRACTIONAL_SCALE)
void on_preferred_scale(void*, wp_fractional_scale_v1*, std::uint32_t scale120) {
  wayland().scale120 = int(scale120);
  wayland_rescale();
}
const wp_fractional_scale_v1_listener kFractionalListener = {on_preferred_scale};
#endif

}  // namespace

void wayland_bind_viewporter(wl_registry* registry, std::uint32_t name) {
  wayland().viewporter = static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
}

void wayland_bind_fractional_scale(wl_registry* registry, std::uint32_t name) {
#if defined(QZ_HAVE_FRACTIONAL_SCALE)
  wayland().fractional_manager = static_cast<wp_fractional_scale_manager_v1*>(
      wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
#else
  (void)registry;
  (void)name;
#endif
}

void wayland_release_scale_globals() {
  WaylandState& w = wayland();
#if defined(QZ_HAVE_FRACTIONAL_SCALE)
  if (w.fractional_manager) wp_fractional_scale_manager_v1_destroy(w.fractional_manager);
#endif
  if (w.viewporter) wp_viewporter_destroy(w.viewporter);
  w.fractional_manager = nullptr;
  w.viewporter = nullptr;
}

void wayland_watch_scale() {
  WaylandState& w = wayland();
  // A new surface is on no output yet; the last preferred scale stands
  // until the compositor tells this one's.
  w.entered.clear();
  wl_surface_add_listener(w.surface, &kSurfaceListener, nullptr);
#if defined(QZ_HAVE_FRACTIONAL_SCALE)
  if (!w.viewporter || !w.fractional_manager) return;
  w.viewport = wp_viewporter_get_viewport(w.viewporter, w.surface);
  w.fractional = wp_fractional_scale_manager_v1_get_fractional_scale(w.fractional_manager, w.surface);
  wp_fractional_scale_v1_add_listener(w.fractional, &kFractionalListener, nullptr);
#endif
}

void wayland_unwatch_scale() {
  WaylandState& w = wayland();
#if defined(QZ_HAVE_FRACTIONAL_SCALE)
  if (w.fractional) wp_fractional_scale_v1_destroy(w.fractional);
#endif
  if (w.viewport) wp_viewport_destroy(w.viewport);
  w.fractional = nullptr;
  w.viewport = nullptr;
  w.entered.clear();
}

int wayland_size_content(int lw, int lh) {
  WaylandState& w = wayland();
  w.logical_width = lw;
  w.logical_height = lh;
  w.buffer_scale120 = fractional_scale();
  w.buffer_scale = w.buffer_scale120 > 0 ? 1 : whole_scale();
  int width = lw * w.buffer_scale, height = lh * w.buffer_scale;
  if (w.buffer_scale120 > 0) {
    // Rounded half away from zero, as the compositor rounds.
    width = std::max((lw * w.buffer_scale120 + 60) / 120, 1);
    height = std::max((lh * w.buffer_scale120 + 60) / 120, 1);
  }
  // Pending state: it takes effect with the first buffer of the new size.
  if (w.surface) wl_surface_set_buffer_scale(w.surface, w.buffer_scale);
  if (w.viewport) {
    if (w.buffer_scale120 > 0)
      wp_viewport_set_destination(w.viewport, lw, lh);
    else
      wp_viewport_set_destination(w.viewport, -1, -1);
  }
  return wayland_fit_picture(width, height);
}

void wayland_rescale() {
  const WaylandState& w = wayland();
  const int scale120 = fractional_scale();
  const int scale = scale120 > 0 ? 1 : whole_scale();
  // Before the buffers exist, they are made at the scale of that time.
  if (!w.pool || (scale120 == w.buffer_scale120 && scale == w.buffer_scale)) return;
  wayland_resize_content(w.logical_width, w.logical_height);
}

PicturePoint wayland_buffer_point(wl_fixed_t x, wl_fixed_t y) {
  const WaylandState& w = wayland();
  const WindowHost& host = window_host();
  // Floored: a position just left of or above the surface is outside it.
  if (w.logical_width <= 0 || w.logical_height <= 0)
    return {int(std::floor(wl_fixed_to_double(x))), int(std::floor(wl_fixed_to_double(y)))};
  return {int(std::floor(wl_fixed_to_double(x) * host.window_width / w.logical_width)),
          int(std::floor(wl_fixed_to_double(y) * host.window_height / w.logical_height))};
}

}  // namespace qz
