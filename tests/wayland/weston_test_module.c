/* A weston module for the Wayland tests: stock headless weston has no seat,
 * so this one adds a seat with a keyboard and takes commands, one a line,
 * from the FIFO named by QZ_WESTON_CONTROL:
 *   key CODE 1|0    a key (kernel key code) pressed or released, sent to
 *                   the window with the keyboard focus (the newest window
 *                   when none has it)
 *   move X Y        the pointer to (X, Y) of the newest toplevel's surface
 *                   (of the output when there is none), as a tablet moves it
 *   button CODE 1|0 a button (kernel code, BTN_LEFT 272) pressed or released
 *   wheel STEPS [VALUE]  the wheel turned STEPS notches (negative: away from
 *                   the user), one step each moving the axis by VALUE (10
 *                   when absent), as a wheel sends them
 *   close           asks every toplevel to close, as a window's close box does
 *   fraction SCALE  tells every surface's fractional scale object the
 *                   preferred scale SCALE (in 120ths)
 * It also offers idle inhibition (zwp_idle_inhibit_manager_v1, which weston
 * 10 lacks) and logs each inhibitor made and destroyed, and, where
 * wayland-protocols has it, the fractional scale (weston 10 lacks it too;
 * it shows viewports, through which the client meets the scale).
 * The seat gets its pointer with the first pointer command: a pointer shows
 * a cursor on the output, which screenshots of other tests must not see.
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

#include "idle-inhibit-unstable-v1-server.h"
#ifdef QZ_MODULE_FRACTIONAL
#include "fractional-scale-v1-server.h"
#endif

/* Exported by libweston-10, absent from its public headers. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *seat_name);
int weston_seat_init_keyboard(struct weston_seat *seat, struct xkb_keymap *keymap);
void notify_key(struct weston_seat *seat, const struct timespec *time, uint32_t key,
                enum wl_keyboard_key_state state, enum weston_key_state_update update_state);
int weston_seat_init_pointer(struct weston_seat *seat);
void notify_motion_absolute(struct weston_seat *seat, const struct timespec *time, double x, double y);
void notify_button(struct weston_seat *seat, const struct timespec *time, int32_t button,
                   enum wl_pointer_button_state state);
void notify_axis(struct weston_seat *seat, const struct timespec *time, struct weston_pointer_axis_event *event);
void notify_pointer_frame(struct weston_seat *seat);

/* Axis movement of one wheel notch, as weston's input back ends send it. */
#define NOTCH 10.0

struct test_seat {
  struct weston_seat seat;
  struct weston_compositor *compositor;
  int control;
  char line[256];
  size_t length;
};

/* The newest toplevel's view (views are listed front to back). */
static struct weston_view *newest_toplevel(struct weston_compositor *compositor) {
  struct weston_view *view;
  wl_list_for_each(view, &compositor->view_list, link) {
    if (weston_surface_get_desktop_surface(view->surface)) return view;
  }
  return NULL;
}

static void send_key(struct test_seat *t, uint32_t code, int pressed) {
  struct weston_keyboard *keyboard = weston_seat_get_keyboard(&t->seat);
  struct timespec now;
  if (!keyboard) return;
  if (!keyboard->focus) {
    struct weston_view *view = newest_toplevel(t->compositor);
    if (view) weston_keyboard_set_focus(keyboard, view->surface);
  }
  weston_compositor_get_time(&now);
  notify_key(&t->seat, &now, code, pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
             STATE_UPDATE_AUTOMATIC);
}

static int has_pointer(struct test_seat *t) {
  return weston_seat_get_pointer(&t->seat) || weston_seat_init_pointer(&t->seat) == 0;
}

static void move_pointer(struct test_seat *t, double x, double y) {
  struct weston_view *view = newest_toplevel(t->compositor);
  struct timespec now;
  if (view) {
    float gx, gy;
    weston_view_to_global_float(view, (float)x, (float)y, &gx, &gy);
    x = gx;
    y = gy;
  }
  weston_compositor_get_time(&now);
  notify_motion_absolute(&t->seat, &now, x, y);
  notify_pointer_frame(&t->seat);
}

static void send_button(struct test_seat *t, int32_t code, int pressed) {
  struct timespec now;
  weston_compositor_get_time(&now);
  notify_button(&t->seat, &now, code, pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  notify_pointer_frame(&t->seat);
}

static void turn_wheel(struct test_seat *t, int steps, double value) {
  struct weston_pointer_axis_event event = {WL_POINTER_AXIS_VERTICAL_SCROLL, 0, true, steps < 0 ? -1 : 1};
  struct timespec now;
  event.value = value * event.discrete;
  for (int i = 0; i < abs(steps); ++i) {
    weston_compositor_get_time(&now);
    notify_axis(&t->seat, &now, &event);
    notify_pointer_frame(&t->seat);
  }
}

static void close_toplevels(struct test_seat *t) {
  struct weston_view *view;
  wl_list_for_each(view, &t->compositor->view_list, link) {
    struct weston_desktop_surface *desktop = weston_surface_get_desktop_surface(view->surface);
    if (desktop) weston_desktop_surface_close(desktop);
  }
}

static void destroy_resource(struct wl_client *client, struct wl_resource *resource) {
  (void)client;
  wl_resource_destroy(resource);
}

static const struct zwp_idle_inhibitor_v1_interface inhibitor_requests = {destroy_resource};

static void inhibitor_gone(struct wl_resource *resource) {
  (void)resource;
  weston_log("qz-test: idle inhibitor destroyed\n");
}

static void create_inhibitor(struct wl_client *client, struct wl_resource *manager, uint32_t id,
                             struct wl_resource *surface) {
  struct wl_resource *inhibitor =
      wl_resource_create(client, &zwp_idle_inhibitor_v1_interface, wl_resource_get_version(manager), id);
  (void)surface;
  if (!inhibitor) {
    wl_client_post_no_memory(client);
    return;
  }
  wl_resource_set_implementation(inhibitor, &inhibitor_requests, NULL, inhibitor_gone);
  weston_log("qz-test: idle inhibitor created\n");
}

static const struct zwp_idle_inhibit_manager_v1_interface inhibit_requests = {destroy_resource, create_inhibitor};

/* A global offered by the module: its interface and its requests. */
struct manager {
  const struct wl_interface *interface;
  const void *requests;
};

static const struct manager inhibit_manager = {&zwp_idle_inhibit_manager_v1_interface, &inhibit_requests};

static void bind_manager(struct wl_client *client, void *data, uint32_t version, uint32_t id) {
  const struct manager *m = data;
  struct wl_resource *resource = wl_resource_create(client, m->interface, (int)version, id);
  if (!resource) {
    wl_client_post_no_memory(client);
    return;
  }
  wl_resource_set_implementation(resource, m->requests, NULL, NULL);
}

#ifdef QZ_MODULE_FRACTIONAL
/* Every client's fractional scale objects, for the fraction command. */
static struct wl_list fractional_scales;

static const struct wp_fractional_scale_v1_interface fractional_requests = {destroy_resource};

static void fractional_gone(struct wl_resource *resource) { wl_list_remove(wl_resource_get_link(resource)); }

static void get_fractional_scale(struct wl_client *client, struct wl_resource *manager, uint32_t id,
                                 struct wl_resource *surface) {
  struct wl_resource *scale =
      wl_resource_create(client, &wp_fractional_scale_v1_interface, wl_resource_get_version(manager), id);
  (void)surface;
  if (!scale) {
    wl_client_post_no_memory(client);
    return;
  }
  wl_resource_set_implementation(scale, &fractional_requests, NULL, fractional_gone);
  wl_list_insert(&fractional_scales, wl_resource_get_link(scale));
}

static const struct wp_fractional_scale_manager_v1_interface fractional_manager_requests = {destroy_resource,
                                                                                           get_fractional_scale};
static const struct manager fractional_manager = {&wp_fractional_scale_manager_v1_interface,
                                                  &fractional_manager_requests};

static void prefer_scale(uint32_t scale120) {
  struct wl_resource *scale;
  wl_resource_for_each(scale, &fractional_scales) wp_fractional_scale_v1_send_preferred_scale(scale, scale120);
}
#endif

static void run_command(struct test_seat *t, const char *line) {
  unsigned code = 0;
  int pressed = 0, steps = 0;
#ifdef QZ_MODULE_FRACTIONAL
  unsigned scale120 = 0;
#endif
  double x = 0, y = 0, value = 0;
  if (sscanf(line, "key %u %d", &code, &pressed) == 2)
    send_key(t, code, pressed);
  else if (sscanf(line, "move %lf %lf", &x, &y) == 2 && has_pointer(t))
    move_pointer(t, x, y);
  else if (sscanf(line, "button %u %d", &code, &pressed) == 2 && has_pointer(t))
    send_button(t, (int32_t)code, pressed);
  else if (sscanf(line, "wheel %d", &steps) == 1 && has_pointer(t))
    turn_wheel(t, steps, sscanf(line, "wheel %d %lf", &steps, &value) == 2 ? value : NOTCH);
  else if (strcmp(line, "close") == 0)
    close_toplevels(t);
#ifdef QZ_MODULE_FRACTIONAL
  else if (sscanf(line, "fraction %u", &scale120) == 1)
    prefer_scale(scale120);
#endif
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
  if (!wl_global_create(compositor->wl_display, inhibit_manager.interface, 1, (void *)&inhibit_manager,
                        bind_manager))
    return -1;
#ifdef QZ_MODULE_FRACTIONAL
  wl_list_init(&fractional_scales);
  if (!wl_global_create(compositor->wl_display, fractional_manager.interface, 1, (void *)&fractional_manager,
                        bind_manager))
    return -1;
#endif
  weston_seat_init(&t->seat, compositor, "qz-test-seat");
  if (weston_seat_init_keyboard(&t->seat, NULL) < 0) return -1;
  wl_event_loop_add_fd(wl_display_get_event_loop(compositor->wl_display), t->control, WL_EVENT_READABLE,
                       on_control, t);
  return 0;
}
