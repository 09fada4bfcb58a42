// The window's frame where the compositor draws none (weston, GNOME):
// libdecor gives the toplevel a title bar with the title and a close box.
// libdecor asks the compositor for its own frame first (xdg-decoration) and
// draws only when none is offered or the compositor prefers the client's.
// The content keeps the mode's size; the frame lies around it.
//
// libdecor's objects live on the display's default queue and its fd is the
// display's, so the driver thread's read of the socket serves it;
// wayland_dispatch_decorations gives its plugin its turn in each pass.

#include "display/wayland/wayland_state.h"

#if defined(QZ_HAVE_LIBDECOR)

#include <libdecor.h>

#include "display/screen_mode.h"
#include "display/window_host.h"
#include "input/window_input.h"

namespace qz {

namespace {

// Only a compositor without what libdecor needs (xdg_wm_base, checked at
// connect) or a bad configuration: the window's setup then fails for want of
// a configure, with that message.
void on_decor_error(libdecor*, libdecor_error, const char*) {}
libdecor_interface kDecorInterface = {on_decor_error, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};

// The content's size is the mode's whatever the compositor suggests.
void on_frame_configure(libdecor_frame* frame, libdecor_configuration* configuration, void*) {
  const WindowHost& host = window_host();
  libdecor_state* state = libdecor_state_new(host.width, host.height);
  libdecor_frame_commit(frame, state, configuration);
  libdecor_state_free(state);
  wayland_note_configured();
}
// The close box, and the compositor's close request, end like the window's close.
void on_frame_close(libdecor_frame*, void*) { close_steps(); }
// The frame's parts are subsurfaces: they change when the window's surface is committed.
void on_frame_commit(libdecor_frame*, void*) { wl_surface_commit(wayland().surface); }
void on_dismiss_popup(libdecor_frame*, const char*, void*) {}
libdecor_frame_interface kFrameInterface = {on_frame_configure, on_frame_close, on_frame_commit, on_dismiss_popup,
                                            {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};

}  // namespace

bool wayland_decorate() {
  WaylandState& w = wayland();
  const WindowHost& host = window_host();
  if (!w.decor) {
    w.decor = libdecor_new(w.display, &kDecorInterface);
    // libdecor binds its globals on its own registry: let it see them before the frame.
    if (!w.decor || wl_display_roundtrip(w.display) < 0) return false;
  }
  w.frame = libdecor_decorate(w.decor, w.surface, &kFrameInterface, nullptr);
  if (!w.frame) return false;
  libdecor_frame_set_app_id(w.frame, program_invocation_short_name);
  libdecor_frame_set_min_content_size(w.frame, host.width, host.height);
  libdecor_frame_set_max_content_size(w.frame, host.width, host.height);
  libdecor_frame_unset_capabilities(w.frame, LIBDECOR_ACTION_RESIZE);
  wayland_apply_title(w.title);
  libdecor_frame_map(w.frame);
  if (host.flags & kModeFullscreen) libdecor_frame_set_fullscreen(w.frame, nullptr);
  return true;
}

void wayland_undecorate() {
  WaylandState& w = wayland();
  if (w.frame) libdecor_frame_unref(w.frame);
  w.frame = nullptr;
}

void wayland_release_decorations() {
  WaylandState& w = wayland();
  wayland_undecorate();
  if (w.decor) libdecor_unref(w.decor);
  w.decor = nullptr;
}

void wayland_set_frame_title(const char* title) { libdecor_frame_set_title(wayland().frame, title); }

bool wayland_dispatch_decorations() {
  WaylandState& w = wayland();
  if (!w.decor) return true;
  libdecor_dispatch(w.decor, 0);
  return wl_display_get_error(w.display) == 0;
}

}  // namespace qz

#else

namespace qz {

bool wayland_decorate() { return false; }
void wayland_undecorate() {}
void wayland_release_decorations() {}
void wayland_set_frame_title(const char*) {}
bool wayland_dispatch_decorations() { return true; }

}  // namespace qz

#endif
