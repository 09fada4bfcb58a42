#pragma once

// The GL library (libGL.so.1), loaded at run time on the first OpenGL mode,
// so that the library and the programs that never ask for OpenGL need no GL
// at link time and run where none is installed.

#include <GL/gl.h>
#include <GL/glx.h>

#include <string>

namespace qz {

// The GLX 1.0 calls (visuals rather than frame-buffer configurations: the
// GL library keeps a record of every configuration it hands out, for the
// life of the process, connection after connection).
struct GlxLibrary {
  decltype(&glXQueryExtension) query_extension;
  decltype(&glXQueryExtensionsString) query_extensions_string;
  decltype(&glXChooseVisual) choose_visual;
  decltype(&glXCreateContext) create_context;
  decltype(&glXDestroyContext) destroy_context;
  decltype(&glXMakeCurrent) make_current;
  decltype(&glXSwapBuffers) swap_buffers;
  decltype(&glXGetProcAddressARB) get_proc_address;
  decltype(&glGetString) get_string;
};

// The loaded library, or null with `failure` saying why. Loaded once and kept
// for the life of the process: the GL library's process-wide state (thread
// dispatch, handlers run at exit) must outlive any mode, and unloading it
// between modes is what GL libraries support least.
const GlxLibrary* glx_library(std::string& failure);

// Keeps the renderer the GL library loaded for a connection (a DRI driver,
// "*_dri.so") for the life of the process too: the GL library would unload it
// with the last connection and load it again with the next, and its
// process-wide caches would lose their owner each time. After a context
// exists, so that the driver is loaded.
void glx_keep_driver_loaded();

}  // namespace qz
