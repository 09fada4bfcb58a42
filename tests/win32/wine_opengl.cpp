// An OpenGL mode of 640 x 480: prints "driver NAME" (or "error E" when the
// mode is refused), clears to a colour, draws a flat quad with GL 1.1 calls
// through gl_proc_address, flips, and writes what the window must show as a
// BGRA dump to argv[1]. Then answers commands on standard input:
//   keys   dispatch the window's messages for 300 ms (poll_events), then
//          print every queued key as its bytes in decimal, "|"-separated
//   quit   end with status 0

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
#include "input/key_read.h"
#include "runtime/last_error.h"
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
  if (!mode) {
    std::cout << "error " << last_error() << " version '" << gl_version() << "'" << std::endl;
  } else {
    draw();
    mode->driver->flip();
    write_expected(argc > 1 ? argv[1] : "opengl.bgra");
    std::cout << "driver " << mode->driver->name << " version " << (*gl_version() ? "given" : "none") << std::endl;
  }
  std::string command;
  while (std::cin >> command) {
    if (command == "quit") break;
    if (command != "keys" || !mode) continue;
    for (int i = 0; i < 30; ++i) {
      mode->driver->poll_events();
      Sleep(10);
    }
    std::string out;
    for (std::string key = read_key(); !key.empty(); key = read_key()) {
      if (!out.empty()) out += '|';
      for (std::size_t i = 0; i < key.size(); ++i) {
        if (i) out += ' ';
        out += std::to_string(int(static_cast<unsigned char>(key[i])));
      }
    }
    std::cout << out << std::endl;
  }
  runtime_end(0);
}
