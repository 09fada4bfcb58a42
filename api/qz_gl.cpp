// The public OpenGL calls, over the platform's OpenGL back end.

#include <qzgfx/qzgfx.h>

#include "display/gl_context.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"

namespace {

// An OpenGL screen's context is reachable exactly while its version is known.
bool fail_without_gl() {
  if (*qz::gl_version() != '\0') return false;
  qz::fail_with("no OpenGL screen is open");
  return true;
}

}  // namespace

extern "C" {

qz_gl_function qz_gl_proc_address(const char* name) {
  if (fail_without_gl()) return nullptr;
  if (!name) {
    qz::fail_with("qz_gl_proc_address: name is NULL");
    return nullptr;
  }
  qz::set_last_error(0);
  return reinterpret_cast<qz_gl_function>(qz::gl_proc_address(name));
}

const char* qz_gl_version(void) {
  if (fail_without_gl()) return "";
  qz::set_last_error(0);
  return qz::gl_version();
}

const char* qz_gl_renderer(void) {
  if (fail_without_gl()) return "";
  qz::set_last_error(0);
  return qz::gl_renderer();
}

}  // extern "C"
