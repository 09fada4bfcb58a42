/* hello: a window with a few shapes and a line of text, until a key is pressed.
 * Plain C: qzgfx.h is all a C program needs. */
#include <qzgfx/qzgfx.h>

#include <stdio.h>

int main(void) {
  qz_set_title("hello, qzgfx");
  if (qz_screen_open(640, 480, 32, 1, 0, 0) != 0) {
    fprintf(stderr, "hello: %s\n", qz_error_message());
    return 1;
  }
  qz_clear(NULL, QZ_LIGHT_GREY);                       /* NULL: draw on the screen */
  qz_box_filled(NULL, 40, 40, 240, 160, QZ_BLUE);
  qz_line(NULL, 40, 440, 600, 200, QZ_RED);
  qz_circle(NULL, 420, 300, 100, QZ_BLACK);
  qz_flood_fill(NULL, 420, 300, QZ_YELLOW, QZ_BLACK);  /* fills the circle up to its outline */
  qz_text(NULL, 60, 96, "Hello from qzgfx!", QZ_WHITE);
  qz_text(NULL, 220, 460, "Press any key", QZ_BLACK);
  qz_wait_key();                                       /* the window shows until then */
  qz_screen_close();
  return 0;
}
