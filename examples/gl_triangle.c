/* gl_triangle: a coloured triangle spinning in an OpenGL window, until Escape
 * or the close box. The GL calls are the program's own (GL 1.1, linked from
 * the system's GL library); qzgfx gives the window, the context, the flip and
 * the keys. */
#include <qzgfx/qzgfx.h>

#include <GL/gl.h>
#include <stdio.h>

int main(void) {
  qz_set_title("qzgfx OpenGL triangle");
  if (qz_screen_open(640, 480, 32, 1, QZ_WINDOW_OPENGL, 60) != 0) {
    fprintf(stderr, "gl_triangle: %s\n", qz_error_message());
    return 1;
  }
  printf("GL %s on %s\n", qz_gl_version(), qz_gl_renderer());
  const double start = qz_time();
  for (;;) {
    /* Reading keys also takes the window's events: once a frame. */
    const int key = qz_read_key();
    if (key == QZ_KEY_ESCAPE || key == QZ_KEY_CLOSE) break;

    const float angle = (float)((qz_time() - start) * 90.0); /* degrees a second */
    glViewport(0, 0, 640, 480);
    glClearColor(0.1f, 0.1f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.333, 1.333, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2f(0.0f, 0.8f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex2f(-0.7f, -0.4f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex2f(0.7f, -0.4f);
    glEnd();
    qz_flip();       /* swaps the GL buffers */
    qz_wait_vsync(); /* paces the loop at about the display's rate */
  }
  qz_screen_close();
  return 0;
}
