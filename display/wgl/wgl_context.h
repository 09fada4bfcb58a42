#pragma once

#include "display/win32/win32_host.h"

namespace qz {

// opengl32.dll and its entry points, loaded by init (0 or -1) and freed by
// exit once no context is left.
int wgl_load();
void wgl_unload();

// The context on the host's window (display/wgl/wgl_context.cpp): built by
// the window setup, deleted before the window goes.
extern const Win32Presenter wgl_presenter;

// Shows the back buffer.
void wgl_swap_buffers();

}  // namespace qz
