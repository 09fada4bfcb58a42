// An OpenGL mode of 640 x 480: prints "driver NAME" (or "error E" when the
// mode is refused), clears to a colour, draws a flat quad with GL 1.1 calls
// through gl_proc_address, flips, and writes what the window must show as a
// BGRA dump to argv[1]. Then answers commands on standard input:
//   keys      dispatch the window's messages for 300 ms (poll_events), then
//             print every queued key as its bytes in decimal, "|"-separated
//   flips     only flip for 300 ms, then print the queued keys as above
//             without polling
//   messages  post a thread message and WM_QUIT, poll and flip, then print
//             whether both are still in the thread's queue ("kept kept")
//   switch    press Alt+Enter (a posted key message) and dispatch for
//             300 ms; print whether the texture made at the start is still
//             the context's, draw again and flip
//   quit      end with status 0

#include <windows.h>

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "display/display_driver.h"
#include "display/gl_context.h"
#include "display/screen_mode.h"
#include "display/win32/win32_host.h"
#include "input/key_queue.h"
#include "input/key_read.h"
#include "runtime/last_error.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr RECT kQuad{100, 120, 300, 250};
constexpr std::uint32_t kClear = 0x336699, kQuadColour = 0xFF8000;  // 0xRRGGBB

template <typename Fn>
Fn gl(const char* name) {
  return reinterpret_cast<Fn>(gl_proc_address(name));
}

void draw() {
  gl<void(APIENTRY*)(GLint, GLint, GLsizei, GLsizei)>("glViewport")(0, 0, kWidth, kHeight);
  gl<void(APIENTRY*)(GLenum)>("glMatrixMode")(GL_PROJECTION);
  gl<void(APIENTRY*)()>("glLoadIdentity")();
  gl<void(APIENTRY*)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble)>("glOrtho")(0, kWidth, kHeight, 0,
                                                                                           -1, 1);
  gl<void(APIENTRY*)(GLfloat, GLfloat, GLfloat, GLfloat)>("glClearColor")(0.2f, 0.4f, 0.6f, 1.0f);
  gl<void(APIENTRY*)(GLbitfield)>("glClear")(GL_COLOR_BUFFER_BIT);
  gl<void(APIENTRY*)(GLubyte, GLubyte, GLubyte)>("glColor3ub")(0xFF, 0x80, 0x00);
  auto vertex = gl<void(APIENTRY*)(GLint, GLint)>("glVertex2i");
  gl<void(APIENTRY*)(GLenum)>("glBegin")(GL_QUADS);
  vertex(kQuad.left, kQuad.top);
  vertex(kQuad.right, kQuad.top);
  vertex(kQuad.right, kQuad.bottom);
  vertex(kQuad.left, kQuad.bottom);
  gl<void(APIENTRY*)()>("glEnd")();
  gl<void(APIENTRY*)()>("glFinish")();
}

// A texture name of the context: made at the start, asked after a switch.
GLuint make_texture() {
  GLuint name = 0;
  gl<void(APIENTRY*)(GLsizei, GLuint*)>("glGenTextures")(1, &name);
  gl<void(APIENTRY*)(GLenum, GLuint)>("glBindTexture")(GL_TEXTURE_2D, name);
  gl<void(APIENTRY*)(GLenum, GLuint)>("glBindTexture")(GL_TEXTURE_2D, 0);
  return name;
}

bool texture_kept(GLuint name) { return name && gl<GLboolean(APIENTRY*)(GLuint)>("glIsTexture")(name) == GL_TRUE; }

void dispatch_for_300_ms(const ScreenMode& mode) {
  for (int i = 0; i < 30; ++i) {
    mode.driver->poll_events();
    Sleep(10);
  }
}

std::string queued_keys(bool poll) {
  std::string out;
  for (;;) {
    std::string key;
    if (poll) {
      key = read_key();
    } else if (const std::int32_t code = key_queue_get()) {
      key = key_code_to_string(code);
    }
    if (key.empty()) return out;
    if (!out.empty()) out += '|';
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (i) out += ' ';
      out += std::to_string(int(static_cast<unsigned char>(key[i])));
    }
  }
}

void write_expected(const char* path) {
  std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight, kClear);
  for (int y = kQuad.top; y < kQuad.bottom; ++y)
    for (int x = kQuad.left; x < kQuad.right; ++x) pixels[std::size_t(y) * kWidth + x] = kQuadColour;
  if (FILE* f = std::fopen(path, "wb")) {
    std::fwrite(pixels.data(), sizeof pixels[0], pixels.size(), f);
    std::fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  gfx_screen_res(kWidth, kHeight, 32, 1, kModeOpengl, 0);
  const ScreenMode* mode = current_mode();
  const char* dump = argc > 1 ? argv[1] : "opengl.bgra";
  GLuint texture = 0;
  if (!mode) {
    std::cout << "error " << last_error() << " version '" << gl_version() << "'" << std::endl;
  } else {
    texture = make_texture();
    draw();
    mode->driver->flip();
    write_expected(dump);
    std::cout << "driver " << mode->driver->name << " version " << (*gl_version() ? "given" : "none") << std::endl;
  }
  std::string command;
  while (std::cin >> command) {
    if (command == "quit") break;
    if (!mode) continue;
    if (command == "keys") {
      dispatch_for_300_ms(*mode);
      std::cout << queued_keys(true) << std::endl;
    } else if (command == "flips") {
      for (int i = 0; i < 30; ++i) {
        mode->driver->flip();
        Sleep(10);
      }
      std::cout << queued_keys(false) << std::endl;
    } else if (command == "messages") {
      PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
      PostQuitMessage(0);
      mode->driver->poll_events();
      mode->driver->flip();
      MSG message;
      const bool app = PeekMessageA(&message, nullptr, WM_APP, WM_APP, PM_REMOVE);
      const bool quit = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
      std::cout << (app ? "kept" : "eaten") << ' ' << (quit ? "kept" : "eaten") << std::endl;
    } else if (command == "switch") {
      PostMessageA(win32_window().window, WM_SYSKEYDOWN, VK_RETURN, LPARAM(1) << 29);
      dispatch_for_300_ms(*mode);
      std::cout << "texture " << (texture_kept(texture) ? "kept" : "lost") << std::endl;
      draw();
      mode->driver->flip();
    }
  }
  runtime_end(0);
}
