/* A weston module for the Wayland tests: stock headless weston has no seat,
 * so this one adds a seat with a keyboard and takes commands, one a line,
 * from the FIFO named by QZ_WESTON_CONTROL:
 *   key CODE 1|0   a key (kernel key code) pressed or released, sent to
 *                  the window with the keyboard focus (the newest window
 *                  when none has it)
 *   close          asks every toplevel to close, as a window's close box does
 * Loaded with weston --modules=PATH. */

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <libweston/libweston.h>
#include <libweston-desktop/libweston-desktop.h>

/* Exported by libweston-10, absent from its public headers. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *seat_name);
int weston_seat_init_keyboard(struct weston_seat *seat, struct xkb_keymap *keymap);
void notify_key(struct weston_seat *seat, const struct timespec *time, uint32_t key,
                enum wl_keyboard_key_state state, enum weston_key_state_update update_state);

struct test_seat {
  struct weston_seat seat;
  struct weston_compositor *compositor;
  int control;
  char line[256];
  size_t length;
};

/* The newest toplevel (views are listed front to back). */
static struct weston_surface *newest_toplevel(struct weston_compositor *compositor) {
  struct weston_view *view;
  wl_list_for_each(view, &compositor->view_list, link) {
    if (weston_surface_get_desktop_surface(view->surface)) return view->surface;
  }
  return NULL;
}

static void send_key(struct test_seat *t, uint32_t code, int pressed) {
  struct weston_keyboard *keyboard = weston_seat_get_keyboard(&t->seat);
  struct timespec now;
  if (!keyboard) return;
  if (!keyboard->focus) {
    struct weston_surface *surface = newest_toplevel(t->compositor);
    if (surface) weston_keyboard_set_focus(keyboard, surface);
  }
  weston_compositor_get_time(&now);
  notify_key(&t->seat, &now, code, pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
             STATE_UPDATE_AUTOMATIC);
}

static void close_toplevels(struct test_seat *t) {
  struct weston_view *view;
  wl_list_for_each(view, &t->compositor->view_list, link) {
    struct weston_desktop_surface *desktop = weston_surface_get_desktop_surface(view->surface);
    if (desktop) weston_desktop_surface_close(desktop);
  }
}

static void run_command(struct test_seat *t, const char *line) {
  unsigned code = 0;
  int pressed = 0;
  if (sscanf(line, "key %u %d", &code, &pressed) == 2)
    send_key(t, code, pressed);
  else if (strcmp(line, "close") == 0)
    close_toplevels(t);
}

static int on_control(int fd, uint32_t mask, void *data) {
  struct test_seat *t = data;
  char buffer[256];
  ssize_t n;
  (void)mask;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n') {
        t->line[t->length] = '\0';
        run_command(t, t->line);
        t->length = 0;
      } else if (t->length + 1 < sizeof t->line) {
        t->line[t->length++] = buffer[i];
      }
    }
  }
  return 0;
}

WL_EXPORT int wet_module_init(struct weston_compositor *compositor, int *argc, char *argv[]) {
  const char *path = getenv("QZ_WESTON_CONTROL");
  struct test_seat *t;
  (void)argc;
  (void)argv;
  if (!path) return -1;
  t = calloc(1, sizeof *t);
  if (!t) return -1;
  t->compositor = compositor;
  /* Opened for writing too, so that the FIFO never reads as ended. */
  t->control = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (t->control < 0) {
    free(t);
    return -1;
  }
  weston_seat_init(&t->seat, compositor, "qz-test-seat");
  if (weston_seat_init_keyboard(&t->seat, NULL) < 0) return -1;
  wl_event_loop_add_fd(wl_display_get_event_loop(compositor->wl_display), t->control, WL_EVENT_READABLE,
                       on_control, t);
  return 0;
}
