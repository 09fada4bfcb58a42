// The WGL context of an OpenGL mode: opengl32.dll loaded at run time, a
// double-buffered RGBA pixel format of 32 bits (depth and stencil buffers
// where offered) chosen through WGL_ARB_pixel_format when the driver has it,
// the context made current on the program's thread, and the entry points,
// version and renderer the program asks for. The context outlives the
// window: a fullscreen switch builds a new window, and the program's
// textures and buffers must survive it, so the new window gets the same
// pixel format and the same context is made current on it.

#include "display/wgl/wgl_context.h"

#include <GL/gl.h>
#include <GL/wglext.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "display/display_driver.h"
#include "display/gl_context.h"
#include "display/window_host.h"

namespace qz {

namespace {

struct WglEntries {
  HGLRC(WINAPI* create_context)(HDC) = nullptr;
  BOOL(WINAPI* make_current)(HDC, HGLRC) = nullptr;
  BOOL(WINAPI* delete_context)(HGLRC) = nullptr;
  PROC(WINAPI* get_proc_address)(LPCSTR) = nullptr;
  const GLubyte*(WINAPI* get_string)(GLenum) = nullptr;
};

// The program's thread only (there is no driver thread).
struct WglState {
  LoadedLibrary opengl32;
  WglEntries gl;
  HDC dc = nullptr;
  HGLRC context = nullptr;
  int format = 0;  // chosen once; every window of the context gets it
  std::string version;
  std::string renderer;
};
WglState g_wgl;

const PIXELFORMATDESCRIPTOR kWanted{
    sizeof(PIXELFORMATDESCRIPTOR), 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA,
    32, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 24, 8, 0, PFD_MAIN_PLANE, 0, 0, 0, 0};

// An entry point of the current context: WGL gives those beyond GL 1.1,
// opengl32.dll's exports the rest. Some drivers answer 1, 2, 3 or -1 for
// "none".
void* entry_point(const char* name) {
  PROC proc = g_wgl.gl.get_proc_address(name);
  const auto value = reinterpret_cast<std::intptr_t>(proc);
  if (value >= -1 && value <= 3) {
    void (*exported)() = nullptr;
    g_wgl.opengl32.look_up(name, exported);
    return reinterpret_cast<void*>(exported);
  }
  return reinterpret_cast<void*>(proc);
}

// wglChoosePixelFormatARB when a throw-away context on a hidden window of
// its own offers WGL_ARB_pixel_format (a window's pixel format is set once,
// so the probe cannot use the real one).
PFNWGLCHOOSEPIXELFORMATARBPROC arb_chooser() {
  PFNWGLCHOOSEPIXELFORMATARBPROC chooser = nullptr;
  HWND probe = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!probe) return nullptr;
  HDC dc = GetDC(probe);
  const int format = ChoosePixelFormat(dc, &kWanted);
  HGLRC context = format && SetPixelFormat(dc, format, &kWanted) ? g_wgl.gl.create_context(dc) : nullptr;
  if (context && g_wgl.gl.make_current(dc, context)) {
    auto extensions = reinterpret_cast<PFNWGLGETEXTENSIONSSTRINGARBPROC>(entry_point("wglGetExtensionsStringARB"));
    const char* names = extensions ? extensions(dc) : nullptr;
    if (names && std::strstr(names, "WGL_ARB_pixel_format"))
      chooser = reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(entry_point("wglChoosePixelFormatARB"));
    g_wgl.gl.make_current(nullptr, nullptr);
  }
  if (context) g_wgl.gl.delete_context(context);
  ReleaseDC(probe, dc);
  DestroyWindow(probe);
  return chooser;
}

// A pixel format fit for the mode, or 0: the best the driver offers with
// depth and stencil, then without them.
int choose_format(HDC dc) {
  int format = 0;
  if (PFNWGLCHOOSEPIXELFORMATARBPROC choose = arb_chooser()) {
    const int with_buffers[] = {WGL_DRAW_TO_WINDOW_ARB, 1, WGL_SUPPORT_OPENGL_ARB, 1, WGL_DOUBLE_BUFFER_ARB, 1,
                                WGL_PIXEL_TYPE_ARB, WGL_TYPE_RGBA_ARB, WGL_COLOR_BITS_ARB, 24, WGL_ALPHA_BITS_ARB, 8,
                                WGL_DEPTH_BITS_ARB, 24, WGL_STENCIL_BITS_ARB, 8, 0};
    constexpr int kWithoutBuffers = 12;  // the attributes before depth and stencil
    UINT count = 0;
    if (!choose(dc, with_buffers, nullptr, 1, &format, &count) || count == 0) {
      int colour_only[kWithoutBuffers + 1] = {};
      std::memcpy(colour_only, with_buffers, sizeof(int) * kWithoutBuffers);
      if (!choose(dc, colour_only, nullptr, 1, &format, &count) || count == 0) format = 0;
    }
  }
  if (format == 0) format = ChoosePixelFormat(dc, &kWanted);
  PIXELFORMATDESCRIPTOR described{};
  if (format == 0 || !DescribePixelFormat(dc, format, sizeof described, &described)) return 0;
  const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  if ((described.dwFlags & needed) != needed || described.iPixelType != PFD_TYPE_RGBA || described.cColorBits < 24)
    return 0;
  return format;
}

}  // namespace

void wgl_release_current() {
  if (g_wgl.context) g_wgl.gl.make_current(nullptr, nullptr);
  if (g_wgl.dc) ReleaseDC(win32_window().window, g_wgl.dc);
  g_wgl.dc = nullptr;
}

int wgl_make_current() {
  HWND window = win32_window().window;
  g_wgl.dc = GetDC(window);
  if (g_wgl.dc && g_wgl.format == 0) g_wgl.format = choose_format(g_wgl.dc);
  PIXELFORMATDESCRIPTOR described{};
  if (!g_wgl.dc || g_wgl.format == 0 || !DescribePixelFormat(g_wgl.dc, g_wgl.format, sizeof described, &described) ||
      !SetPixelFormat(g_wgl.dc, g_wgl.format, &described)) {
    note_driver_refusal("no double-buffered RGBA OpenGL pixel format of 32 bits");
    return -1;
  }
  const bool first_window = g_wgl.context == nullptr;
  if (first_window) g_wgl.context = g_wgl.gl.create_context(g_wgl.dc);
  if (!g_wgl.context || !g_wgl.gl.make_current(g_wgl.dc, g_wgl.context)) {
    note_driver_refusal("no OpenGL context could be made current");
    return -1;
  }
  // 1: every swap waits for a retrace; 0: swaps at once. Set for each
  // window: some drivers keep it per window rather than per context.
  if (auto interval = reinterpret_cast<PFNWGLSWAPINTERVALEXTPROC>(entry_point("wglSwapIntervalEXT")))
    interval(window_host().refresh != 0 ? 1 : 0);
  if (!first_window) return 0;
  auto text = [](GLenum name) {
    const GLubyte* value = g_wgl.gl.get_string(name);
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };
  g_wgl.version = text(GL_VERSION);
  g_wgl.renderer = text(GL_RENDERER);
  return 0;
}

int wgl_load() {
  g_wgl.opengl32 = LoadedLibrary("opengl32.dll");
  WglEntries& gl = g_wgl.gl;
  if (!g_wgl.opengl32.look_up("wglCreateContext", gl.create_context) ||
      !g_wgl.opengl32.look_up("wglMakeCurrent", gl.make_current) ||
      !g_wgl.opengl32.look_up("wglDeleteContext", gl.delete_context) ||
      !g_wgl.opengl32.look_up("wglGetProcAddress", gl.get_proc_address) ||
      !g_wgl.opengl32.look_up("glGetString", gl.get_string)) {
    wgl_unload();
    return -1;
  }
  return 0;
}

void wgl_unload() {
  g_wgl.gl = WglEntries{};
  g_wgl.opengl32 = LoadedLibrary();
}

void wgl_delete_context() {
  if (g_wgl.context) {
    g_wgl.gl.make_current(nullptr, nullptr);
    g_wgl.gl.delete_context(g_wgl.context);
    g_wgl.context = nullptr;
  }
  g_wgl.format = 0;
  g_wgl.version.clear();
  g_wgl.renderer.clear();
}

void wgl_swap_buffers() {
  if (g_wgl.dc) SwapBuffers(g_wgl.dc);
}

void* gl_proc_address(const char* name) { return g_wgl.context && name ? entry_point(name) : nullptr; }
const char* gl_version() { return g_wgl.version.c_str(); }
const char* gl_renderer() { return g_wgl.renderer.c_str(); }

}  // namespace qz
