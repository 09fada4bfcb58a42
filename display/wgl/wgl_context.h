#pragma once

#include "display/win32/win32_host.h"

namespace qz {

// opengl32.dll and its entry points, loaded by init (0 or -1) and freed by
// exit once no context is left.
int wgl_load();
void wgl_unload();

// The context on the host's window (display/wgl/wgl_context.cpp): built by
// the first window setup, made current again on every later window (a
// fullscreen switch), detached before each window goes.
extern const Win32Presenter wgl_presenter;
// Deletes the context; after the window is gone, or when the open failed.
void wgl_delete_context();

// Shows the back buffer.
void wgl_swap_buffers();

}  // namespace qz
