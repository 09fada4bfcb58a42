/* The web test's probe: prints what the program sees of the page's keys
 * and pointer, one line each, until Escape. */
#include <qzgfx/qzgfx.h>
#include <stdio.h>

int main(void) {
  if (qz_screen_open(640, 480, 32, 1, 0, 0) != 0) {
    printf("no screen: %s\n", qz_error_message());
    return 1;
  }
  qz_clear(NULL, QZ_WHITE);
  printf("probe ready\n");
  for (;;) {
    qz_event e;
    if (!qz_wait_event(&e, 100)) continue;
    if (e.type == QZ_EVENT_KEY_DOWN) {
      int code = qz_read_key();
      printf("down %d key %d\n", e.scan_code, code);
      if (code == 27) break;
    } else if (e.type == QZ_EVENT_KEY_UP) {
      printf("up %d\n", e.scan_code);
    } else if (e.type == QZ_EVENT_BUTTON_DOWN) {
      qz_mouse m;
      int got = qz_get_mouse(&m);
      printf("button %d at %d %d mouse %d %d %d\n", e.buttons, e.x, e.y, got, m.x, m.y);
    }
    fflush(stdout);
  }
  qz_screen_close();
  return 0;
}
