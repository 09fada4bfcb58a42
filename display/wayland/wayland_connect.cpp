// The connection to the compositor and its globals: wl_compositor,
// wl_subcompositor (for our title bar), wl_shm, xdg_wm_base (answering its
// pings), wl_seat (keyboard and pointer as the seat offers them), wl_output
// and wp_presentation (for the refresh rate), xdg-decoration where the
// compositor draws frames, pointer constraints and idle inhibition where it
// offers them, viewports and the fractional scale (for HiDPI buffers).

#include <cstring>

#include "display/display_name.h"
#include "display/wayland/wayland_state.h"
#include "idle-inhibit-unstable-v1-client.h"
#include "pointer-constraints-unstable-v1-client.h"
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace qz {

namespace {

// Versions this back end speaks; a compositor with older ones is used at those.
constexpr std::uint32_t kCompositorVersion = 4;  // damage_buffer
// Pointer frames and wheel steps (axis_discrete from 5, axis_value120 from
// 8), keyboard repeat info.
#if defined(WL_POINTER_AXIS_VALUE120_SINCE_VERSION)
constexpr std::uint32_t kSeatVersion = 8;
#else
constexpr std::uint32_t kSeatVersion = 5;
#endif
constexpr std::uint32_t kShellVersion = 2;

void on_ping(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kShellListener = {on_ping};

void on_capabilities(void*, wl_seat*, std::uint32_t capabilities) {
  WaylandState& w = wayland();
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !w.keyboard)
    wayland_bind_keyboard();
  else if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && w.keyboard)
    wayland_release_keyboard();
  if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !w.pointer)
    wayland_bind_pointer();
  else if (!(capabilities & WL_SEAT_CAPABILITY_POINTER) && w.pointer)
    wayland_release_pointer();
}
void on_seat_name(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {on_capabilities, on_seat_name};

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface, std::uint32_t offered,
        std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, offered < wanted ? offered : wanted));
}

void on_global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  WaylandState& w = wayland();
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !w.compositor && version >= kCompositorVersion) {
    w.compositor = bind<wl_compositor>(registry, name, wl_compositor_interface, version, kCompositorVersion);
  } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0 && !w.subcompositor) {
    w.subcompositor = bind<wl_subcompositor>(registry, name, wl_subcompositor_interface, version, 1);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    wayland_bind_output(registry, name, version);
  } else if (std::strcmp(interface, "wp_viewporter") == 0 && !w.viewporter) {
    wayland_bind_viewporter(registry, name);
  } else if (std::strcmp(interface, "wp_fractional_scale_manager_v1") == 0 && !w.fractional_manager) {
    wayland_bind_fractional_scale(registry, name);
  } else if (std::strcmp(interface, "wp_presentation") == 0 && !w.presentation) {
    wayland_bind_presentation(registry, name);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !w.shm) {
    w.shm = bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !w.wm_base) {
    w.wm_base = bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, kShellVersion);
    xdg_wm_base_add_listener(w.wm_base, &kShellListener, nullptr);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !w.seat) {
    w.seat_version = version < kSeatVersion ? version : kSeatVersion;
    w.seat = bind<wl_seat>(registry, name, wl_seat_interface, version, kSeatVersion);
    wl_seat_add_listener(w.seat, &kSeatListener, nullptr);
  } else if (std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) == 0 && !w.decoration_manager) {
    w.decoration_manager =
        bind<zxdg_decoration_manager_v1>(registry, name, zxdg_decoration_manager_v1_interface, version, 1);
  } else if (std::strcmp(interface, zwp_pointer_constraints_v1_interface.name) == 0 && !w.pointer_constraints) {
    w.pointer_constraints =
        bind<zwp_pointer_constraints_v1>(registry, name, zwp_pointer_constraints_v1_interface, version, 1);
  } else if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0 && !w.idle_inhibit_manager) {
    w.idle_inhibit_manager =
        bind<zwp_idle_inhibit_manager_v1>(registry, name, zwp_idle_inhibit_manager_v1_interface, version, 1);
  }
}
// A seat taken away while the window lives leaves its devices idle.
void on_global_remove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {on_global, on_global_remove};

}  // namespace

bool wayland_connect(bool (*answered)()) {
  WaylandState& w = wayland();
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    if (!answered()) return false;
    w.failure = "cannot connect to the Wayland compositor \"" + printable_display_name(w.display_name) + "\"";
    w.unreachable = true;
    return false;
  }
  w.display = display;
  w.registry = wl_display_get_registry(display);
  wl_registry_add_listener(w.registry, &kRegistryListener, nullptr);
  // The first round trip lists the globals, the second the seat's devices.
  const bool listed = wl_display_roundtrip(display) >= 0;
  if (!answered()) return false;
  if (!listed || wl_display_roundtrip(display) < 0) {
    w.failure = "lost the connection to the Wayland compositor \"" + printable_display_name(w.display_name) + "\"";
    w.unreachable = true;
    return false;
  }
  const char* missing = !w.compositor ? "wl_compositor (version 4)" : !w.shm ? "wl_shm" : !w.wm_base ? "xdg_wm_base" : nullptr;
  if (missing) {
    w.failure = "the Wayland compositor \"" + printable_display_name(w.display_name) + "\" offers no " + missing;
    w.unreachable = true;
    return false;
  }
  return true;
}

void wayland_disconnect() {
  WaylandState& w = wayland();
  if (!w.display) return;
  wayland_release_keyboard();
  wayland_release_pointer();
  wayland_release_timing();
  wayland_release_scale_globals();
  if (w.decoration_manager) zxdg_decoration_manager_v1_destroy(w.decoration_manager);
  if (w.pointer_constraints) zwp_pointer_constraints_v1_destroy(w.pointer_constraints);
  if (w.idle_inhibit_manager) zwp_idle_inhibit_manager_v1_destroy(w.idle_inhibit_manager);
  if (w.seat) wl_seat_destroy(w.seat);
  if (w.wm_base) xdg_wm_base_destroy(w.wm_base);
  if (w.shm) wl_shm_destroy(w.shm);
  if (w.subcompositor) wl_subcompositor_destroy(w.subcompositor);
  if (w.compositor) wl_compositor_destroy(w.compositor);
  if (w.registry) wl_registry_destroy(w.registry);
  wl_display_disconnect(w.display);
  w.display = nullptr;
  w.decoration_manager = nullptr;
  w.pointer_constraints = nullptr;
  w.idle_inhibit_manager = nullptr;
  w.seat = nullptr;
  w.wm_base = nullptr;
  w.shm = nullptr;
  w.subcompositor = nullptr;
  w.compositor = nullptr;
  w.registry = nullptr;
}

}  // namespace qz
