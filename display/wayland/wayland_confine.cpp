// Pointer confinement: while the program confines the pointer, the content
// surface holds it through the compositor's pointer constraints. The
// constraint is persistent: the compositor lifts it while the window is not
// focused and puts it back when it is, and says so each time; the mouse
// query reports what it said.

#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "pointer-constraints-unstable-v1-client.h"

namespace qz {

namespace {

void on_confined(void*, zwp_confined_pointer_v1*) { window_host().mouse_clipped = 1; }
void on_unconfined(void*, zwp_confined_pointer_v1*) { window_host().mouse_clipped = 0; }
const zwp_confined_pointer_v1_listener kConfinementListener = {on_confined, on_unconfined};

}  // namespace

void wayland_set_confinement(bool wanted) {
  wayland().confine_wanted = wanted;
  if (wanted)
    wayland_renew_confinement();
  else
    wayland_drop_confinement();
}

void wayland_drop_confinement() {
  WaylandState& w = wayland();
  if (w.confinement) zwp_confined_pointer_v1_destroy(w.confinement);
  w.confinement = nullptr;
  window_host().mouse_clipped = 0;
}

void wayland_renew_confinement() {
  WaylandState& w = wayland();
  if (!w.confine_wanted || w.confinement || !w.pointer_constraints || !w.pointer || !w.surface) return;
  // No region: the whole content.
  w.confinement = zwp_pointer_constraints_v1_confine_pointer(w.pointer_constraints, w.surface, w.pointer, nullptr,
                                                             ZWP_POINTER_CONSTRAINTS_V1_LIFETIME_PERSISTENT);
  zwp_confined_pointer_v1_add_listener(w.confinement, &kConfinementListener, nullptr);
}

}  // namespace qz
