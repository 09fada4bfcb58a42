#pragma once

// The current OpenGL mode's context, as the public calls reach it. Each
// platform's OpenGL back end defines these; they are meant for the program's
// thread, on which that back end keeps its context current.

namespace qz {

// The entry point `name` of the context's GL library; null without an
// OpenGL mode (or for a null name).
void* gl_proc_address(const char* name);
// The context's GL_VERSION and GL_RENDERER strings; "" without an OpenGL mode.
const char* gl_version();
const char* gl_renderer();

}  // namespace qz
