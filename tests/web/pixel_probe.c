/* The web test's picture probe: four known pixels at 16 bits (asking for
 * fullscreen), then at 8 bits, then with one palette entry changed, each
 * held until a key. With PROBE_CRASH set it crashes once its screen is open. */
#include <qzgfx/qzgfx.h>
#include <stdio.h>
#include <stdlib.h>

static void say_and_wait(const char* what) {
  printf("%s\n", what);
  fflush(stdout);
  qz_wait_key();
}

int main(void) {
  static const qz_colour wide[4] = {0xF800, 0x07E0, 0x001F, 0x5519};
  if (qz_screen_open(64, 16, 16, 1, QZ_WINDOW_DESKTOP_FULLSCREEN, 0) != 0) return 1;
  if (getenv("PROBE_CRASH")) __builtin_trap();
  qz_clear(NULL, 0);
  for (int i = 0; i < 4; ++i) qz_put_pixel(NULL, i, 0, wide[i]);
  say_and_wait("16 bits");
  if (qz_screen_open(64, 16, 8, 1, 0, 0) != 0) return 1;
  qz_set_palette(1, 10, 20, 30);
  qz_set_palette(2, 255, 128, 1);
  qz_set_palette(3, 0, 254, 255);
  qz_set_palette(4, 77, 0, 200);
  qz_clear(NULL, 0);
  for (int i = 0; i < 4; ++i) qz_put_pixel(NULL, i, 0, (qz_colour)(i + 1));
  say_and_wait("8 bits");
  qz_set_palette(2, 7, 200, 99);
  say_and_wait("palette changed");
  qz_screen_close();
  return 0;
}
