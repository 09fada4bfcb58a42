#pragma once

// The OpenGL mode's context as the public API reaches it (the platform's OpenGL back end).

namespace qz {

// The GL entry point `name` of the current OpenGL mode's context; null without an OpenGL mode.
void* gl_proc_address(const char* name);
// The context's GL_VERSION string; "" without an OpenGL mode.
const char* gl_version();
// The context's GL_RENDERER string; "" without an OpenGL mode.
const char* gl_renderer();

}  // namespace qz
