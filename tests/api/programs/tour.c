/* A tour of the public C API as a user writes it: every kind of primitive
 * drawn on the back page of a two-page screen, then flipped into view; its
 * hash on standard output; then, with a window, a key, a mouse click and the
 * close request, each reported as it arrives. Without a window it ends
 * after the hash. Exit status 0 when everything came as expected. */
#include <qzgfx/qzgfx.h>

#include <stdio.h>
#include <string.h>

static void draw_everything(void) {
  qz_image* sprite;
  qz_colour tile[64];
  int i;

  qz_clear(NULL, QZ_LIGHT_GREY);
  qz_line(NULL, 10, 10, 630, 470, QZ_BLACK);
  qz_line_ex(NULL, 10, 470, 630, 10, QZ_BLUE, QZ_SHAPE_LINE, QZ_DASHED, QZ_ABSOLUTE);
  qz_move_to(20, 20);
  qz_line_to(NULL, 120, 20, QZ_RED);
  qz_box(NULL, 30, 40, 130, 100, QZ_BLACK);
  qz_box_filled(NULL, 40, 50, 120, 90, QZ_GREEN);
  qz_line_ex(NULL, 150, 40, 99, 59, QZ_PURPLE, QZ_SHAPE_BOX_FILLED, QZ_SOLID, QZ_SIZE);
  qz_circle(NULL, 320, 240, 100, QZ_BLACK);
  qz_circle_filled(NULL, 320, 240, 40, QZ_YELLOW);
  qz_ellipse(NULL, 500, 120, 80, 40, QZ_ORANGE, 0);
  qz_ellipse(NULL, 500, 360, 40, 80, QZ_CYAN, 1);
  qz_arc(NULL, 150, 350, 60, 0.0f, 3.14159265f, QZ_RED);
  qz_pie(NULL, 150, 350, 40, 0.5f, 2.0f, QZ_BLUE);
  qz_circle_ex(NULL, 320, 240, 70, QZ_BLUE, 0.5f, 0.0f, 0.0f, 0, QZ_ABSOLUTE);
  qz_flood_fill(NULL, 320, 160, QZ_WHITE, QZ_BLACK);
  for (i = 0; i < 64; ++i) tile[i] = (i / 8 + i % 8) % 2 ? QZ_RED : QZ_WHITE;
  qz_box(NULL, 540, 420, 620, 460, QZ_BLACK);
  qz_flood_fill_pattern(NULL, 580, 440, tile, QZ_BLACK);
  qz_text(NULL, 260, 400, "qzgfx tour", QZ_BLACK);
  qz_put_pixel(NULL, 639, 479, QZ_RED);

  sprite = qz_image_create(16, 16, 4);
  qz_clear(sprite, QZ_BLACK);
  qz_circle_filled(sprite, 8, 8, 6, QZ_RED);
  qz_blit(NULL, 560, 200, sprite);
  qz_blit_transparent(NULL, 590, 200, sprite, QZ_BLACK);
  qz_image_free(sprite);

  qz_set_text_colours(QZ_WHITE, QZ_BLUE);
  qz_locate(2, 2);
  qz_print("printed\nat the cursor");
}

/* FNV-1a over the visible page's pixels. */
static unsigned long hash_visible(void) {
  qz_screen_info info;
  const unsigned char* row;
  unsigned long h = 2166136261ul;
  int x, y;
  qz_screen_get_info(&info);
  qz_set_pages(info.visible_page, -1);
  row = (const unsigned char*)qz_screen_pixels();
  for (y = 0; y < info.height; ++y, row += info.pitch)
    for (x = 0; x < info.width * info.bytes_per_pixel; ++x) h = ((h ^ row[x]) * 16777619ul) & 0xFFFFFFFFul;
  return h;
}

int main(void) {
  qz_event event;
  int key, saw_key = 0, saw_click = 0;

  qz_set_title("qzgfx tour");
  if (qz_screen_open(640, 480, 32, 2, 0, 0) != 0) {
    fprintf(stderr, "tour: %s\n", qz_error_message());
    return 1;
  }
  qz_set_pages(1, 0);
  draw_everything();
  if (qz_flip() != 0) return 2;
  printf("hash %08lx\n", hash_visible());
  fflush(stdout);

  key = qz_wait_key();
  if (key == 0) {
    /* No window: nothing can arrive, and nothing blocked. */
    int error = qz_last_error();
    printf("no window\n");
    qz_screen_close();
    return error == 1 ? 0 : 3;
  }
  saw_key = 1;
  printf("key %d\n", key);
  fflush(stdout);
  while (qz_wait_event(&event, 20000)) {
    if (event.type == QZ_EVENT_BUTTON_DOWN && event.buttons == QZ_BUTTON_LEFT) {
      qz_mouse mouse;
      saw_click = 1;
      if (qz_get_mouse(&mouse) == 0) printf("click %d %d\n", mouse.x, mouse.y);
      fflush(stdout);
    } else if (event.type == QZ_EVENT_CLOSE) {
      printf("close\n");
      qz_screen_close();
      return saw_key && saw_click ? 0 : 4;
    }
  }
  return 5;
}
