/* Opens an 8-bit screen, animates its palette and returns from main without
 * closing it: the library must close it before the process's own clean-up. */
#include <qzgfx/qzgfx.h>

int main(void) {
  int i;
  if (qz_screen_open(320, 200, 8, 1, 0, 0) != 0) return 2;
  for (i = 0; i < 40; ++i) {
    qz_box_filled(NULL, (float)i, 0, (float)i + 10, 199, (qz_colour)(i % 16));
    qz_set_palette(i % 16, i * 6, 255 - i * 6, 128);
    qz_sleep(2);
  }
  return 0;
}
