#pragma once

// The GL context of the OpenGL back end on X11 and the window it is current
// on: a record of its own (connection, window, context), program's thread
// only.

#include <X11/Xutil.h>

namespace qz {

// Checks the server for GLX, picks a double-buffered RGBA visual (8 bits a
// channel; depth and stencil buffers where offered) and creates the context
// on `display`. 0, or -1 with the reason noted.
int glx_create_context(Display* display, int screen);
// The visual the window must have for the context.
XVisualInfo* glx_visual();
// Makes the context current on `window`, with the swap interval `interval`
// where the server lets it be set (-1: the library's default). 0, or -1 with
// the reason noted.
int glx_make_current(Window window, int interval);
// Makes no context current; before the window goes.
void glx_release_current();
// Frees the context and the visual (after glx_release_current).
void glx_destroy_context();
void glx_swap_buffers();

}  // namespace qz
