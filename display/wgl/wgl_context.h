#pragma once

#include "display/win32/win32_host.h"

namespace qz {

// opengl32.dll and its entry points, loaded by init (0 or -1) and freed by
// exit once no context is left.
int wgl_load();
void wgl_unload();

// The context on the host's window: created on the first window, made
// current again on every later window (a fullscreen switch), with the
// mode's swap interval. 0, or -1 with the reason noted.
int wgl_make_current();
// Detaches the context from the window that is about to go.
void wgl_release_current();
// Deletes the context; after the window is gone, or when the open failed.
void wgl_delete_context();

// Shows the back buffer.
void wgl_swap_buffers();

}  // namespace qz
