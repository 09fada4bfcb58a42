// The toplevel: an xdg_toplevel of the picture's size times the window's
// scale (auto: the largest whole multiple that fits the output), fixed
// (minimum and maximum alike) unless the mode is resizable, titled, with the
// program's application id, a frame drawn by the compositor where it offers
// xdg-decoration or else our own title bar (wayland_frame.cpp), fullscreen
// on request (there is no mode change: the window covers the output at its
// own and shows the picture fitted), and the close request as the close code.
// A configure with another size (resized, maximised, fullscreen) gets buffers
// of that size with the picture fitted into them. Sizes here are logical:
// the buffers are in device pixels (wayland_scale.cpp). A confined pointer
// stays confined across a new surface (the fullscreen switch makes one).
// While the window shows, the compositor neither blanks the screen nor locks
// the session for idleness, where it offers idle inhibition (as X11 holds
// off the screen saver).

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <chrono>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "display/window_title.h"
#include "idle-inhibit-unstable-v1-client.h"
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace qz {

namespace {

// How long the compositor may take to configure a new window.
constexpr auto kConfigureLimit = std::chrono::seconds(5);

// The content's size after the last configure: the compositor's where it
// may choose one (a resizable, maximised or fullscreen window), else ours.
WindowSize content_size() {
  const WaylandState& w = wayland();
  const bool theirs = (window_host().flags & kModeResizable) || w.fullscreen || w.maximized;
  if (!theirs || w.configured_width <= 0 || w.configured_height <= 0) return {w.natural_width, w.natural_height};
  // Our title bar is part of the window's geometry (hidden while fullscreen).
  const int bar = w.bar_surface && !w.fullscreen ? kFrameBarHeight : 0;
  return {w.configured_width, std::max(w.configured_height - bar, 1)};
}

void on_surface_configure(void*, xdg_surface* surface, std::uint32_t serial) {
  WaylandState& w = wayland();
  xdg_surface_ack_configure(surface, serial);
  const WindowSize size = content_size();
  const bool resized = size.width != w.logical_width || size.height != w.logical_height;
  if (resized && w.pool) {
    wayland_resize_content(size.width, size.height);
  } else if (resized) {
    // The buffers are made for it after the first configure.
    w.logical_width = size.width;
    w.logical_height = size.height;
  }
  wayland_frame_update(resized);
  wayland_note_configured();
}
const xdg_surface_listener kSurfaceListener = {on_surface_configure};

void on_toplevel_configure(void*, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array* states) {
  WaylandState& w = wayland();
  w.activated = w.fullscreen = w.maximized = false;
  w.configured_width = width;
  w.configured_height = height;
  const auto* state = static_cast<const std::uint32_t*>(states->data);
  for (std::size_t i = 0; i < states->size / sizeof *state; ++i) {
    if (state[i] == XDG_TOPLEVEL_STATE_ACTIVATED) w.activated = true;
    if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) w.fullscreen = true;
    if (state[i] == XDG_TOPLEVEL_STATE_MAXIMIZED) w.maximized = true;
  }
}
// The window stays open; the program decides.
void on_toplevel_close(void*, xdg_toplevel*) { close_steps(); }
// Events of later shell versions than the one bound never come.
const xdg_toplevel_listener kToplevelListener = [] {
  xdg_toplevel_listener l{};
  l.configure = on_toplevel_configure;
  l.close = on_toplevel_close;
  return l;
}();

// The compositor's answer to our asking it for the frame.
void on_decoration_configure(void*, zxdg_toplevel_decoration_v1*, std::uint32_t mode) {
  wayland().frame_refused = mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE;
}
const zxdg_toplevel_decoration_v1_listener kDecorationListener = {on_decoration_configure};

// Dispatches until the first configure arrived or the limit passed.
bool wait_for_configure() {
  WaylandState& w = wayland();
  const auto deadline = std::chrono::steady_clock::now() + kConfigureLimit;
  while (!w.configured) {
    if (wl_display_dispatch_pending(w.display) < 0 || wl_display_flush(w.display) < 0) return false;
    if (w.configured) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (wl_display_prepare_read(w.display) != 0) continue;
    pollfd watch{wl_display_get_fd(w.display), POLLIN, 0};
    if (poll(&watch, 1, int(left.count())) > 0) {
      if (wl_display_read_events(w.display) < 0) return false;
    } else {
      wl_display_cancel_read(w.display);
    }
  }
  return true;
}

// The toplevel, its frame drawn by the compositor if it offers one, else ours.
void create_toplevel() {
  WaylandState& w = wayland();
  const WindowHost& host = window_host();
  w.shell_surface = xdg_wm_base_get_xdg_surface(w.wm_base, w.surface);
  xdg_surface_add_listener(w.shell_surface, &kSurfaceListener, nullptr);
  w.toplevel = xdg_surface_get_toplevel(w.shell_surface);
  xdg_toplevel_add_listener(w.toplevel, &kToplevelListener, nullptr);
  wayland_apply_title(w.title);
  // The desktop groups windows and finds their icon by the application id.
  xdg_toplevel_set_app_id(w.toplevel, program_invocation_short_name);
  wayland_apply_size_limits(0);
  if (!(host.flags & kModeFrameless)) {
    if (w.decoration_manager) {
      w.decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(w.decoration_manager, w.toplevel);
      zxdg_toplevel_decoration_v1_add_listener(w.decoration, &kDecorationListener, nullptr);
      zxdg_toplevel_decoration_v1_set_mode(w.decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    } else {
      wayland_frame_create();
    }
  }
  if (host.flags & (kModeFullscreen | kModeDesktopFullscreen)) xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
  wl_surface_commit(w.surface);
}

// The picture at the window's scale; with auto, the largest whole multiple
// that fits the output (1:1 where its size is unknown).
void choose_natural_size() {
  WaylandState& w = wayland();
  WindowHost& host = window_host();
  WindowSize size{host.width, host.height};
  if (host.scale > 1 || (host.scale == 0 && w.output_width > 0 && w.output_height > 0))
    size = scaled_window_size(host.width, host.height, host.scale, w.output_width, w.output_height);
  w.natural_width = w.logical_width = size.width;
  w.natural_height = w.logical_height = size.height;
}

}  // namespace

void wayland_apply_size_limits(int bar) {
  WaylandState& w = wayland();
  if (window_host().flags & kModeResizable) {
    xdg_toplevel_set_min_size(w.toplevel, 1, 1 + bar);
    xdg_toplevel_set_max_size(w.toplevel, 0, 0);
    return;
  }
  xdg_toplevel_set_min_size(w.toplevel, w.natural_width, w.natural_height + bar);
  xdg_toplevel_set_max_size(w.toplevel, w.natural_width, w.natural_height + bar);
}

void wayland_resize_content(int lw, int lh) {
  WaylandState& w = wayland();
  // The next commit is of the new size, whatever frame is still pending.
  if (w.frame_callback) wl_callback_destroy(w.frame_callback);
  w.frame_callback = nullptr;
  if (wayland_size_content(lw, lh) != 0) driver_thread::lose_display();
  paint_steps(0, window_host().height);
}

void wayland_note_configured() {
  WaylandState& w = wayland();
  if (w.configured) return;
  w.configured = true;
  // The first commit with a buffer shows the whole picture.
  paint_steps(0, window_host().height);
}

int wayland_create_window() {
  WaylandState& w = wayland();
  w.configured = false;
  w.frame_refused = false;
  w.configured_width = w.configured_height = 0;
  choose_natural_size();
  w.surface = wl_compositor_create_surface(w.compositor);
  wayland_watch_scale();
  if (w.idle_inhibit_manager)
    w.idle_inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(w.idle_inhibit_manager, w.surface);
  create_toplevel();
  if (!wait_for_configure()) {
    w.failure = "the Wayland compositor did not configure the window";
    return -1;
  }
  // A compositor that offers frames but wants the client's: the bar comes
  // with the first picture.
  if (w.frame_refused) wayland_frame_create();
  wayland_renew_confinement();
  return 0;
}

void wayland_destroy_window() {
  WaylandState& w = wayland();
  if (w.frame_callback) wl_callback_destroy(w.frame_callback);
  wayland_drop_confinement();
  wayland_frame_destroy();
  wayland_unwatch_scale();
  if (w.idle_inhibitor) zwp_idle_inhibitor_v1_destroy(w.idle_inhibitor);
  if (w.decoration) zxdg_toplevel_decoration_v1_destroy(w.decoration);
  if (w.toplevel) xdg_toplevel_destroy(w.toplevel);
  if (w.shell_surface) xdg_surface_destroy(w.shell_surface);
  if (w.surface) wl_surface_destroy(w.surface);
  w.frame_callback = nullptr;
  w.idle_inhibitor = nullptr;
  w.decoration = nullptr;
  w.toplevel = nullptr;
  w.shell_surface = nullptr;
  w.surface = nullptr;
  w.configured = false;
}

void wayland_apply_title(const std::string& title) {
  WaylandState& w = wayland();
  w.title = title;
  if (w.toplevel) xdg_toplevel_set_title(w.toplevel, utf8_of(title_characters(title)).c_str());
  wayland_frame_update(true);
}

}  // namespace qz
