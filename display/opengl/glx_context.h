#pragma once

// The GL context of the OpenGL back end, current on its window. Program's
// thread only, on the X11 state's connection.

#include <X11/Xutil.h>

namespace qz {

// Checks the server for GLX, picks a double-buffered RGBA visual (8 bits a
// channel; depth and stencil buffers where offered)
// and creates the context. 0, or -1 with x11().failure saying why.
int glx_create_context();
// The visual the window must have for the context.
XVisualInfo* glx_visual();
// Makes the context current on the window (x11().window), with the swap
// interval `interval` where the server lets it be set (-1: the
// library's default). 0, or -1 with x11().failure saying why.
int glx_attach_window(int interval);
// Makes no context current; before the window goes.
void glx_detach_window();
// Frees the context and the visual (after glx_detach_window).
void glx_destroy_context();
void glx_swap_buffers();

}  // namespace qz
