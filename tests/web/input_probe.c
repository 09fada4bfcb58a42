/* The web test's probe: prints what the program sees of the page's keys
 * and pointer, one line each, until Escape. R starts a blocking key read,
 * C confines the pointer or frees it. */
#include <qzgfx/qzgfx.h>
#include <stdio.h>

int main(void) {
  int confined = 0;
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
      /* Shift or Alt alone queues no key code: the next key's is not theirs. */
      int code = e.scan_code == QZ_SCAN_LEFT_SHIFT || e.scan_code == QZ_SCAN_ALT ? 0 : qz_read_key();
      printf("down %d key %d\n", e.scan_code, code);
      if (code == 27) break;
      if (e.scan_code != QZ_SCAN_LEFT_SHIFT && qz_key_down(QZ_SCAN_LEFT_SHIFT)) printf("shift held\n");
      if (code == 'c') qz_confine_mouse(confined = !confined);
      if (code == 'r') {
        printf("reading\n");
        fflush(stdout);
        printf("read %d\n", qz_wait_key());
      }
    } else if (e.type == QZ_EVENT_KEY_UP) {
      printf("up %d\n", e.scan_code);
    } else if (e.type == QZ_EVENT_BUTTON_DOWN) {
      qz_mouse m;
      int got = qz_get_mouse(&m);
      printf("button %d at %d %d mouse %d %d %d\n", e.buttons, e.x, e.y, got, m.x, m.y);
    } else if (e.type == QZ_EVENT_BUTTON_DOUBLE) {
      printf("double %d at %d %d\n", e.buttons, e.x, e.y);
    }
    fflush(stdout);
  }
  qz_screen_close();
  return 0;
}
