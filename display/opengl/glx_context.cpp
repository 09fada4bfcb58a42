#include "display/opengl/glx_context.h"

#include <cstring>
#include <string>

#include "display/display_driver.h"
#include "display/gl_context.h"
#include "display/opengl/glx_library.h"
#include "display/x11/x11_state.h"

namespace qz {

namespace {

// The connection, the context and the window it draws on (program's thread
// only).
struct GlxState {
  const GlxLibrary* gl = nullptr;
  Display* display = nullptr;
  int screen = 0;
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
  const char* extensions = g_glx.gl->query_extensions_string(g_glx.display, g_glx.screen);
  // Servers without a retrace to wait for (Xvfb) refuse with an X error,
  // which the trap keeps to itself.
  X11ErrorTrap trap;
  if (has_extension(extensions, "GLX_EXT_swap_control")) {
    using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<SwapIntervalExt>(
            g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
      set(g_glx.display, g_glx.drawable, interval);
  } else if (has_extension(extensions, "GLX_MESA_swap_control")) {
    using SwapIntervalMesa = int (*)(unsigned);
    if (auto set = reinterpret_cast<SwapIntervalMesa>(
            g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA"))))
      set(unsigned(interval));
  }
  trap.failed();
}

int refuse(const std::string& reason) {
  note_driver_refusal(reason);
  return -1;
}

std::string gl_string(GLenum name) {
  const GLubyte* text = g_glx.gl->get_string(name);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

int glx_create_context(Display* display, int screen) {
  std::string failure;
  g_glx.gl = glx_library(failure);
  if (!g_glx.gl) return refuse(failure);
  g_glx.display = display;
  g_glx.screen = screen;
  // Asked by name first: the GL library's own query may complain on
  // standard error when the server lacks the extension.
  int opcode = 0, error_base = 0, event_base = 0;
  if (!XQueryExtension(display, "GLX", &opcode, &event_base, &error_base) ||
      !g_glx.gl->query_extension(display, &error_base, &event_base))
    return refuse("the X server has no GLX (OpenGL) extension");
  g_glx.visual = choose_visual(display, screen, true);
  if (!g_glx.visual) g_glx.visual = choose_visual(display, screen, false);
  if (!g_glx.visual) return refuse("the X server offers no double-buffered RGBA OpenGL visual");
  X11ErrorTrap trap;
  g_glx.context = g_glx.gl->create_context(display, g_glx.visual, nullptr, True);
  if (trap.failed() || !g_glx.context) {
    glx_destroy_context();
    return refuse("the X server refused an OpenGL context");
  }
  glx_keep_driver_loaded();
  return 0;
}

XVisualInfo* glx_visual() { return g_glx.visual; }

int glx_make_current(Window window, int interval) {
  X11ErrorTrap trap;
  if (!g_glx.gl->make_current(g_glx.display, window, g_glx.context) || trap.failed())
    return refuse("the OpenGL context cannot draw on the window");
  g_glx.drawable = window;
  if (interval >= 0) set_swap_interval(interval);
  g_glx.version = gl_string(GL_VERSION);
  g_glx.renderer = gl_string(GL_RENDERER);
  return 0;
}

void glx_release_current() {
  if (!g_glx.gl || !g_glx.display || !g_glx.context) return;
  g_glx.gl->make_current(g_glx.display, None, nullptr);
  g_glx.drawable = 0;
}

void glx_destroy_context() {
  if (g_glx.context) g_glx.gl->destroy_context(g_glx.display, g_glx.context);
  if (g_glx.visual) XFree(g_glx.visual);
  const GlxLibrary* gl = g_glx.gl;
  g_glx = GlxState{};
  g_glx.gl = gl;
}

void glx_swap_buffers() {
  if (g_glx.drawable) g_glx.gl->swap_buffers(g_glx.display, g_glx.drawable);
}

void* gl_proc_address(const char* name) {
  if (!g_glx.drawable || !name) return nullptr;
  return reinterpret_cast<void*>(g_glx.gl->get_proc_address(reinterpret_cast<const GLubyte*>(name)));
}

const char* gl_version() { return g_glx.drawable ? g_glx.version.c_str() : ""; }
const char* gl_renderer() { return g_glx.drawable ? g_glx.renderer.c_str() : ""; }

}  // namespace qz
