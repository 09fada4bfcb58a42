// A platform build without an OpenGL back end yet: no context to reach.

#include "display/gl_context.h"

namespace qz {

void* gl_proc_address(const char*) { return nullptr; }
const char* gl_version() { return ""; }
const char* gl_renderer() { return ""; }

}  // namespace qz
