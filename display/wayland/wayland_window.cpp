// The toplevel: an xdg_toplevel of the mode's fixed size (minimum and
// maximum alike), titled, with the program's application id, a frame drawn
// by the compositor where it offers xdg-decoration or else our own title bar
// (wayland_frame.cpp), fullscreen on request
// (the compositor centres the picture on the output: there is no mode
// change), and the close request as the close code. A confined pointer
// stays confined across a new surface (the fullscreen switch makes one).
// While the window shows, the compositor neither blanks the screen nor locks
// the session for idleness, where it offers idle inhibition (as X11 holds
// off the screen saver).

#include <errno.h>
#include <poll.h>

#include <chrono>

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

void on_surface_configure(void*, xdg_surface* surface, std::uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  wayland_frame_update(false);
  wayland_note_configured();
}
const xdg_surface_listener kSurfaceListener = {on_surface_configure};

// The size is the mode's whatever the compositor suggests: a larger
// fullscreen output shows the picture centred.
void on_toplevel_configure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array* states) {
  WaylandState& w = wayland();
  w.activated = w.fullscreen = false;
  const auto* state = static_cast<const std::uint32_t*>(states->data);
  for (std::size_t i = 0; i < states->size / sizeof *state; ++i) {
    if (state[i] == XDG_TOPLEVEL_STATE_ACTIVATED) w.activated = true;
    if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) w.fullscreen = true;
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
  xdg_toplevel_set_min_size(w.toplevel, host.width, host.height);
  xdg_toplevel_set_max_size(w.toplevel, host.width, host.height);
  if (!(host.flags & kModeFrameless)) {
    if (w.decoration_manager) {
      w.decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(w.decoration_manager, w.toplevel);
      zxdg_toplevel_decoration_v1_add_listener(w.decoration, &kDecorationListener, nullptr);
      zxdg_toplevel_decoration_v1_set_mode(w.decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    } else {
      wayland_frame_create();
    }
  }
  if (host.flags & kModeFullscreen) xdg_toplevel_set_fullscreen(w.toplevel, nullptr);
  wl_surface_commit(w.surface);
}

}  // namespace

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
  w.surface = wl_compositor_create_surface(w.compositor);
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
