#include "display/opengl/glx_context.h"

#include <cstring>
#include <string>

#include "display/gl_context.h"
#include "display/opengl/glx_library.h"
#include "display/x11/x11_state.h"

namespace qz {

namespace {

// The context and the window it draws on (program's thread only).
struct GlxState {
  const GlxLibrary* gl = nullptr;
  XVisualInfo* visual = nullptr;
  GLXContext context = nullptr;
  Window drawable = 0;  // the window while the context is current on it
  std::string version, renderer;
};

GlxState g_glx;

bool has_extension(const char* list, const char* name) {
  const std::size_t length = std::strlen(name);
  for (const char* p = list; p && (p = std::strstr(p, name)) != nullptr; p += length)
    if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  return false;
}

XVisualInfo* choose_visual(Display* display, int screen, bool depth_stencil) {
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                      GLX_DEPTH_SIZE, 24, GLX_STENCIL_SIZE, 8, None};
  if (!depth_stencil) attributes[8] = None;
  return g_glx.gl->choose_visual(display, screen, attributes);
}

void set_swap_interval(int interval) {
  X11State& x = x11();
  const char* extensions = g_glx.gl->query_extensions_string(x.display, x.screen);
  // Servers without a retrace to wait for (Xvfb) refuse with an X error,
  // which the trap keeps to itself.
  X11ErrorTrap trap;
  if (has_extension(extensions, "GLX_EXT_swap_control")) {
    using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<SwapIntervalExt>(
            g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
      set(x.display, g_glx.drawable, interval);
  } else if (has_extension(extensions, "GLX_MESA_swap_control")) {
    using SwapIntervalMesa = int (*)(unsigned);
    if (auto set = reinterpret_cast<SwapIntervalMesa>(
            g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA"))))
      set(unsigned(interval));
  }
  trap.failed();
}

std::string gl_string(GLenum name) {
  const GLubyte* text = g_glx.gl->get_string(name);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

int glx_create_context() {
  X11State& x = x11();
  std::string failure;
  g_glx.gl = glx_library(failure);
  if (!g_glx.gl) {
    x.failure = failure;
    return -1;
  }
  // Asked by name first: the GL library's own query may complain on
  // standard error when the server lacks the extension.
  int opcode = 0, error_base = 0, event_base = 0;
  if (!XQueryExtension(x.display, "GLX", &opcode, &event_base, &error_base) ||
      !g_glx.gl->query_extension(x.display, &error_base, &event_base)) {
    x.failure = "the X server has no GLX (OpenGL) extension";
    return -1;
  }
  g_glx.visual = choose_visual(x.display, x.screen, true);
  if (!g_glx.visual) g_glx.visual = choose_visual(x.display, x.screen, false);
  if (!g_glx.visual) {
    x.failure = "the X server offers no double-buffered RGBA OpenGL visual";
    return -1;
  }
  X11ErrorTrap trap;
  g_glx.context = g_glx.gl->create_context(x.display, g_glx.visual, nullptr, True);
  if (trap.failed() || !g_glx.context) {
    glx_destroy_context();
    x.failure = "the X server refused an OpenGL context";
    return -1;
  }
  glx_keep_driver_loaded();
  return 0;
}

XVisualInfo* glx_visual() { return g_glx.visual; }

int glx_attach_window(int interval) {
  X11State& x = x11();
  X11ErrorTrap trap;
  if (!g_glx.gl->make_current(x.display, x.window, g_glx.context) || trap.failed()) {
    x.failure = "the OpenGL context cannot draw on the window";
    return -1;
  }
  g_glx.drawable = x.window;
  if (interval >= 0) set_swap_interval(interval);
  g_glx.version = gl_string(GL_VERSION);
  g_glx.renderer = gl_string(GL_RENDERER);
  return 0;
}

void glx_detach_window() {
  X11State& x = x11();
  if (!g_glx.gl || !x.display || !g_glx.context) return;
  g_glx.gl->make_current(x.display, None, nullptr);
  g_glx.drawable = 0;
}

void glx_destroy_context() {
  X11State& x = x11();
  if (g_glx.context) g_glx.gl->destroy_context(x.display, g_glx.context);
  if (g_glx.visual) XFree(g_glx.visual);
  const GlxLibrary* gl = g_glx.gl;
  g_glx = GlxState{};
  g_glx.gl = gl;
}

void glx_swap_buffers() {
  if (g_glx.drawable) g_glx.gl->swap_buffers(x11().display, g_glx.drawable);
}

void* gl_proc_address(const char* name) {
  if (!g_glx.drawable || !name) return nullptr;
  return reinterpret_cast<void*>(g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>(name)));
}

const char* gl_version() { return g_glx.drawable ? g_glx.version.c_str() : ""; }
const char* gl_renderer() { return g_glx.drawable ? g_glx.renderer.c_str() : ""; }

}  // namespace qz
