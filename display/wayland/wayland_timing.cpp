// The output's refresh rate, for the mode's figure and the frame wait: the
// current mode of the compositor's first output when the window opens, then,
// where the compositor offers wp_presentation, the rate of the output that
// actually showed the window's last presented frame. Each output's scale is
// kept here too, for the window's buffers (wayland_scale.cpp).

#include <cmath>

#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "presentation-time-client.h"

namespace qz {

namespace {

int hertz_of_period(std::uint32_t nanoseconds) { return int(std::lround(1e9 / double(nanoseconds))); }

void on_geometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
                 const char*, std::int32_t) {}
void on_mode(void*, wl_output* output, std::uint32_t flags, std::int32_t width, std::int32_t height,
             std::int32_t millihertz) {
  WaylandState& w = wayland();
  if ((flags & WL_OUTPUT_MODE_CURRENT) && !w.outputs.empty() && output == w.outputs.front().output) {
    w.output_width = width;
    w.output_height = height;
  }
  // The first output's: the window opens there unless the compositor says otherwise.
  if ((flags & WL_OUTPUT_MODE_CURRENT) && millihertz > 0 && w.output_refresh == 0)
    w.output_refresh = int(std::lround(millihertz / 1000.0));
}
// An output's scale may have changed under the window.
void on_done(void*, wl_output*) { wayland_rescale(); }
// Comes before done: the logical size is the mode's divided by it.
void on_scale(void*, wl_output* output, std::int32_t factor) {
  WaylandState& w = wayland();
  for (WaylandOutput& known : w.outputs)
    if (known.output == output) known.scale = factor > 1 ? factor : 1;
  if (factor > 1 && !w.outputs.empty() && output == w.outputs.front().output && w.output_scale == 1) {
    w.output_scale = factor;
    w.output_width /= factor;
    w.output_height /= factor;
  }
}
// Events of later output versions than the one bound never come.
const wl_output_listener kOutputListener = [] {
  wl_output_listener l{};
  l.geometry = on_geometry;
  l.mode = on_mode;
  l.done = on_done;
  l.scale = on_scale;
  return l;
}();

void forget_feedback(struct wp_presentation_feedback* feedback) {
  WaylandState& w = wayland();
  if (w.feedback == feedback) w.feedback = nullptr;
  wp_presentation_feedback_destroy(feedback);
}
void on_sync_output(void*, struct wp_presentation_feedback*, wl_output*) {}
void on_presented(void*, struct wp_presentation_feedback* feedback, std::uint32_t, std::uint32_t, std::uint32_t,
                  std::uint32_t refresh_ns, std::uint32_t, std::uint32_t, std::uint32_t) {
  // 0: the output has no fixed rate; the figure stays as it was.
  if (refresh_ns > 0) window_host().refresh_rate = hertz_of_period(refresh_ns);
  forget_feedback(feedback);
}
void on_discarded(void*, struct wp_presentation_feedback* feedback) { forget_feedback(feedback); }
const wp_presentation_feedback_listener kFeedbackListener = {on_sync_output, on_presented, on_discarded};

}  // namespace

void wayland_bind_output(wl_registry* registry, std::uint32_t name, std::uint32_t version) {
  WaylandState& w = wayland();
  // Version 2 tells the output's scale.
  auto* output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, version < 2 ? version : 2));
  wl_output_add_listener(output, &kOutputListener, nullptr);
  w.outputs.push_back({output, 1});
}

void wayland_bind_presentation(wl_registry* registry, std::uint32_t name) {
  wayland().presentation =
      static_cast<wp_presentation*>(wl_registry_bind(registry, name, &wp_presentation_interface, 1));
}

void wayland_ask_presentation_feedback() {
  WaylandState& w = wayland();
  // One at a time is enough to follow the rate.
  if (!w.presentation || w.feedback) return;
  w.feedback = wp_presentation_feedback(w.presentation, w.surface);
  wp_presentation_feedback_add_listener(w.feedback, &kFeedbackListener, nullptr);
}

void wayland_release_timing() {
  WaylandState& w = wayland();
  if (w.feedback) wp_presentation_feedback_destroy(w.feedback);
  if (w.presentation) wp_presentation_destroy(w.presentation);
  for (const WaylandOutput& known : w.outputs) wl_output_destroy(known.output);
  w.feedback = nullptr;
  w.presentation = nullptr;
  w.outputs.clear();
}

}  // namespace qz
