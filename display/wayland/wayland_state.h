#pragma once

// Private state of the Wayland back end and the routines its files share.
// Each connection attempt has a state of its own, which its driver thread
// reaches through wayland(): a thread given up on while it waits for the
// compositor never writes into a later attempt's. Every field is touched only
// on that thread, except `failure` and `unreachable`, which the program's
// thread reads once the thread ended its start without a window.

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/page_buffer.h"
#include "display/picture_fit.h"
#include "input/click_pairs.h"
#include "input/keysym_keys.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;
struct wl_cursor_theme;
struct wp_presentation;
struct wp_presentation_feedback;
struct xkb_compose_state;
struct zwp_pointer_constraints_v1;
struct zwp_confined_pointer_v1;
struct zwp_idle_inhibit_manager_v1;
struct zwp_idle_inhibitor_v1;
struct wp_viewporter;
struct wp_viewport;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;

namespace qz {

// Rows [first, last] of the window; empty when last < first.
struct RowRange {
  int first = 0;
  int last = -1;
  bool empty() const { return last < first; }
  void add(RowRange other);
};

// An output and its whole scale factor (wl_output version 2).
struct WaylandOutput {
  wl_output* output = nullptr;
  int scale = 1;
};

// One buffer the compositor reads the picture from.
struct WaylandBuffer {
  wl_buffer* buffer = nullptr;
  std::uint8_t* pixels = nullptr;  // inside the shared mapping
  bool busy = false;               // attached and not yet released
  RowRange stale;                  // rows shown from the other buffer since this one was written
};

struct WaylandState {
  wl_display* display = nullptr;
  std::string display_name;  // WAYLAND_DISPLAY, for messages
  std::string title;         // the window's title as the program set it
  std::string failure;       // why the window could not be set up
  bool unreachable = false;  // the compositor could not be reached at all

  // Globals.
  wl_registry* registry = nullptr;
  wl_compositor* compositor = nullptr;
  wl_subcompositor* subcompositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm_base = nullptr;
  wl_seat* seat = nullptr;
  std::uint32_t seat_version = 0;
  zxdg_decoration_manager_v1* decoration_manager = nullptr;
  zwp_pointer_constraints_v1* pointer_constraints = nullptr;  // null: confinement not offered
  wp_presentation* presentation = nullptr;                   // null: no presentation feedback
  zwp_idle_inhibit_manager_v1* idle_inhibit_manager = nullptr;  // null: idle inhibition not offered
  wp_viewporter* viewporter = nullptr;                          // null: no viewports
  wp_fractional_scale_manager_v1* fractional_manager = nullptr;  // null: whole scale factors only
  std::vector<WaylandOutput> outputs;
  int output_refresh = 0;  // Hz of the first output's current mode, 0 unknown
  // The first output's current mode in logical pixels (0 unknown): the room
  // an automatically scaled window is sized for.
  int output_width = 0, output_height = 0, output_scale = 1;

  // The window.
  wl_surface* surface = nullptr;
  xdg_surface* shell_surface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zxdg_toplevel_decoration_v1* decoration = nullptr;
  zwp_idle_inhibitor_v1* idle_inhibitor = nullptr;  // no screen saver or idle lock while the window shows
  bool frame_refused = false;  // the compositor wants the client to draw the frame
  bool configured = false;     // the first configure was acknowledged
  bool activated = false;      // as the last configure said
  bool fullscreen = false;     // as the last configure said
  bool maximized = false;      // as the last configure said
  // The content's size as the window opens (the picture, scaled), and what
  // the last toplevel configure asked for the whole window (0: our choice).
  int natural_width = 0, natural_height = 0;
  int configured_width = 0, configured_height = 0;
  // HiDPI (wayland_scale.cpp). The content's size in surface (logical)
  // units; the buffers, and the host's window size, are in device pixels:
  // the logical size times buffer_scale, or where the compositor tells a
  // fractional scale (in 120ths), that product rounded, shown at buffer
  // scale 1 through the viewport.
  int logical_width = 0, logical_height = 0;
  int buffer_scale = 1;     // the buffers' wl_surface buffer scale (1 when fractional)
  int buffer_scale120 = 0;  // the fractional scale the buffers were made at, 0 none
  int scale120 = 0;         // the compositor's preferred fractional scale, 0 not told
  std::vector<wl_output*> entered;  // the outputs the surface is on
  wp_viewport* viewport = nullptr;
  wp_fractional_scale_v1* fractional = nullptr;

  // The title bar we draw where the compositor draws none (wayland_frame.cpp).
  wl_surface* bar_surface = nullptr;
  wl_subsurface* bar_subsurface = nullptr;
  wl_buffer* bar_buffer = nullptr;
  PageBuffer bar_memory;  // a shared-memory file the buffer lies over
  bool bar_shown = false;        // the strip is mapped (not while fullscreen)
  int bar_width = 0;             // the width its buffer was made for
  bool bar_drawn_active = false;  // the colours it was drawn in
  int bar_pressed = 0;            // the box a button went down on, 0 none

  // Presentation: two buffers in one shared-memory file, the marked rows
  // copied (and converted) into one the compositor does not hold.
  int memory_fd = -1;
  std::uint8_t* memory = nullptr;
  std::size_t memory_size = 0;
  wl_shm_pool* pool = nullptr;
  std::array<WaylandBuffer, 2> buffers{};
  std::int32_t stride = 0;
  // Where the window is not the picture's size: the converted picture,
  // scaled from there into the window-sized buffers.
  std::vector<std::uint32_t> picture_copy;
  PictureScaler scaler;
  wl_callback* frame_callback = nullptr;  // the last commit's frame is not done yet
  struct wp_presentation_feedback* feedback = nullptr;  // asked for and not yet answered

  // Keyboard.
  wl_keyboard* keyboard = nullptr;
  xkb_context* xkb = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* key_state = nullptr;
  xkb_compose_state* compose = nullptr;  // null: the locale has no compose table
  KeysymKeyTable keys;                    // the keymap's keys as the key tables know them
  xkb_mod_index_t shift_index = 0, ctrl_index = 0, alt_index = 0, level3_index = 0;
  std::array<bool, 256> keycode_down{};
  std::array<bool, 256> vk_down{};  // specific virtual keys (left/right modifiers)
  bool switch_due = false;           // Alt+Enter pressed: windowed <-> fullscreen after the dispatch
  std::int32_t repeat_rate = 25;     // per second; 0: no repeat
  std::int32_t repeat_delay = 600;   // ms
  std::uint32_t repeat_keycode = 0;  // the key repeating, 0 none
  int repeat_timer = -1;             // timerfd

  // Pointer.
  wl_pointer* pointer = nullptr;
  std::uint32_t pointer_serial = 0;
  bool pointer_on_content = false;  // on the content (not the title bar)
  bool pointer_on_bar = false;
  int bar_pointer_x = 0, bar_pointer_y = 0;
  wl_cursor_theme* cursor_theme = nullptr;  // made on the first cursor shown
  wl_surface* cursor_surface = nullptr;
  std::int32_t cursor_hotspot_x = 0, cursor_hotspot_y = 0;
  bool cursor_due = false;  // shown before the theme was loaded
  bool confine_wanted = false;                     // the program confines the pointer
  zwp_confined_pointer_v1* confinement = nullptr;  // asked of the compositor for the content
  ClickPairs clicks;
  // Per axis (vertical, horizontal): the pointer frame being gathered, and
  // what is not yet a whole notch. Wheel steps (axis_discrete, or
  // axis_value120 in 120ths of a notch) count where the compositor sends
  // them; continuous movement counts only where it does not.
  struct AxisFrame {
    double value = 0;    // continuous movement
    int steps120 = 0;    // wheel steps, 120 a notch
    bool stepped = false;  // the frame had wheel steps
  };
  std::array<AxisFrame, 2> axis_frame{};
  std::array<double, 2> axis_left{};    // continuous movement not yet a notch
  std::array<int, 2> steps120_left{};   // wheel steps not yet a notch (high-resolution wheels)
};

// The calling driver thread's state (on driver threads only).
WaylandState& wayland();

// wayland_connect.cpp: connects and binds the globals (failure filled on
// false). A connection `answered` disowns is left open for the caller to
// disconnect, as is one that failed after it connected.
bool wayland_connect(bool (*answered)());
void wayland_disconnect();

// wayland_window.cpp
int wayland_create_window();
void wayland_destroy_window();
void wayland_apply_title(const std::string& title);
// A configure of the window: the first shows the whole picture, a later
// one with another size makes buffers of it and shows it all again.
void wayland_note_configured();
// xdg min/max size for content of the window's logical size below `bar` rows of title bar.
void wayland_apply_size_limits(int bar);

// wayland_frame.cpp: the title bar we draw where the compositor draws no
// frame, a strip of kFrameBarHeight rows above the content.
constexpr int kFrameBarHeight = 24;
// False when it cannot be had (no wl_subcompositor); the window goes on unframed.
bool wayland_frame_create();
void wayland_frame_destroy();
// After a configure or a title change: shows the strip as it now should be.
void wayland_frame_update(bool redraw);
bool wayland_frame_owns(const wl_surface* surface);
// A button on the strip at (x, y) of the strip.
void wayland_frame_button(std::uint32_t button, bool pressed, std::uint32_t serial, int x, int y);

// wayland_scale.cpp: the window's buffers in device pixels.
void wayland_bind_viewporter(wl_registry* registry, std::uint32_t name);
void wayland_bind_fractional_scale(wl_registry* registry, std::uint32_t name);
void wayland_release_scale_globals();
// With the surface: follows the outputs it enters and the preferred scale.
void wayland_watch_scale();
void wayland_unwatch_scale();
// Logical content of lw x lh: buffers of its device size, the surface told
// their scale. 0, or -1 (failure filled).
int wayland_size_content(int lw, int lh);
// The same for the shown window: a pending frame is dropped, a failure
// loses the display, and every row is shown again.
void wayland_resize_content(int lw, int lh);
// The scale may have changed (an output entered or left, its scale, the
// preferred scale): buffers of the new size, the picture shown whole.
void wayland_rescale();
// A surface position (logical, 24.8 fixed) as the buffer pixel under it.
PicturePoint wayland_buffer_point(wl_fixed_t x, wl_fixed_t y);

// wayland_buffers.cpp
// An XRGB buffer over shared memory (rows `stride` bytes apart from its start).
wl_buffer* wayland_buffer_over(const PageBuffer& memory, int width, int height, int stride);
// The two buffers converted rows are written to (the window's size in device pixels).
int wayland_create_buffers(int width, int height);
void wayland_destroy_buffers();
// Gives the first frame's buffer its pages now (the first touch of 7 MB
// costs about 20 ms), while the program's thread clears its framebuffer on
// another core.
void wayland_prefault_first_buffer();
// A buffer the compositor does not hold (the first of them), or null.
WaylandBuffer* wayland_free_buffer();

// wayland_present.cpp: commits the marked rows when the compositor is ready
// for a frame; they stay marked otherwise.
int wayland_setup_presentation();
// Buffers of the window's new size (device pixels) and the picture fitted
// into them; every row is to be shown again.
int wayland_fit_picture(int window_width, int window_height);
void wayland_release_presentation();
void wayland_present_marked_rows();

// wayland_timing.cpp: the refresh rate from the outputs and presentation
// feedback, and the outputs' scales.
void wayland_bind_output(wl_registry* registry, std::uint32_t name, std::uint32_t version);
void wayland_bind_presentation(wl_registry* registry, std::uint32_t name);
// Before a commit: the next presented frame tells the showing output's rate.
void wayland_ask_presentation_feedback();
void wayland_release_timing();

// wayland_keyboard.cpp
void wayland_bind_keyboard();
void wayland_release_keyboard();
// The repeat timer fired: the held key repeats.
void wayland_repeat_key();
void wayland_refresh_key_state(std::uint8_t* key_state);

// wayland_pointer.cpp
void wayland_bind_pointer();
void wayland_release_pointer();

// wayland_cursor.cpp: the cursor image over the content (hidden: no image).
// Before the theme is loaded, a shown cursor waits for wayland_load_due_cursor,
// which the driver thread calls outside the host lock.
void wayland_show_cursor(bool visible);
void wayland_load_due_cursor();
void wayland_release_cursor();

// wayland_confine.cpp: keeps the pointer inside the content while the
// program asks. mouse_clipped is 1 while the compositor confines it (the
// window focused, the pointer inside), never where it cannot (no pointer
// constraints). The wish outlives the window's surface and the pointer:
// dropped with them, renewed with their successors.
void wayland_set_confinement(bool wanted);
void wayland_drop_confinement();
void wayland_renew_confinement();

}  // namespace qz
