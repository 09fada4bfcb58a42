/* A small program for the OpenGL window tests, on the public C API only:
 * opens an OpenGL screen of 640 x 480 (argv[1]: extra window flags) and says
 * "ready VERSION | RENDERER", or "refused ERROR MESSAGE" and ends. Then, one
 * command a line from standard input:
 *   draw   clears to (51, 102, 153), draws a quad of (200, 30, 90) over
 *          x 100..299, y 100..249 (window rows from the top) with GL 1.1
 *          calls, flips and says "drawn";
 *   drain  prints every key code waiting, one a line, then "end";
 *   quit   closes the screen and ends with status 0.
 * GL functions come from qz_gl_proc_address: the program links no GL. */
#include <qzgfx/qzgfx.h>

#include <GL/gl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef void (*ClearColor)(GLclampf, GLclampf, GLclampf, GLclampf);
typedef void (*Clear)(GLbitfield);
typedef void (*Viewport)(GLint, GLint, GLsizei, GLsizei);
typedef void (*MatrixMode)(GLenum);
typedef void (*LoadIdentity)(void);
typedef void (*Ortho)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
typedef void (*Begin)(GLenum);
typedef void (*End)(void);
typedef void (*Color3ub)(GLubyte, GLubyte, GLubyte);
typedef void (*Vertex2i)(GLint, GLint);
typedef void (*Finish)(void);

#define GL_FN(type, name) ((type)qz_gl_proc_address(name))

static void draw(void) {
  GL_FN(Viewport, "glViewport")(0, 0, 640, 480);
  GL_FN(ClearColor, "glClearColor")(0.2f, 0.4f, 0.6f, 1.0f);
  GL_FN(Clear, "glClear")(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GL_FN(MatrixMode, "glMatrixMode")(GL_PROJECTION);
  GL_FN(LoadIdentity, "glLoadIdentity")();
  /* Window rows from the top, as the X server counts them. */
  GL_FN(Ortho, "glOrtho")(0, 640, 480, 0, -1, 1);
  GL_FN(MatrixMode, "glMatrixMode")(GL_MODELVIEW);
  GL_FN(LoadIdentity, "glLoadIdentity")();
  GL_FN(Color3ub, "glColor3ub")(200, 30, 90);
  Vertex2i vertex = GL_FN(Vertex2i, "glVertex2i");
  GL_FN(Begin, "glBegin")(GL_QUADS);
  vertex(100, 100);
  vertex(300, 100);
  vertex(300, 250);
  vertex(100, 250);
  GL_FN(End, "glEnd")();
  qz_flip();
  GL_FN(Finish, "glFinish")();
}

int main(int argc, char** argv) {
  const int flags = QZ_WINDOW_OPENGL | (argc > 1 ? atoi(argv[1]) : 0);
  qz_set_title("gl screen");
  setvbuf(stdout, NULL, _IOLBF, 0);
  if (qz_screen_open(640, 480, 32, 1, flags, 0) != 0) {
    printf("refused %d %s\n", qz_last_error(), qz_error_message());
    return 0;
  }
  printf("ready %s | %s\n", qz_gl_version(), qz_gl_renderer());
  char line[64];
  while (fgets(line, sizeof line, stdin)) {
    if (strncmp(line, "draw", 4) == 0) {
      draw();
      printf("drawn\n");
    } else if (strncmp(line, "drain", 5) == 0) {
      for (int code = qz_read_key(); code != 0; code = qz_read_key()) printf("%d\n", code);
      printf("end\n");
    } else if (strncmp(line, "quit", 4) == 0) {
      break;
    }
  }
  qz_screen_close();
  return 0;
}
