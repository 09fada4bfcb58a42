#pragma once

// Private state of the X11 window and the routines its files share. Every
// field is touched only by the one thread that runs the window: the X11
// back end's driver thread that published its connection into it, or, for
// the OpenGL back end (which has no driver thread: display/gl_host.h), the
// program's thread. The exceptions are `failure` and `unreachable`, which
// the program's thread reads once a driver thread ended its start without
// a window.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/display_name.h"
#include "display/page_buffer.h"
#include "display/picture_fit.h"
#include "display/x11/x11_mode_record.h"
#include "input/click_pairs.h"
#include "input/key_translate.h"
#include "input/keysym_keys.h"

namespace qz {

struct X11Atoms {
  Atom wm_protocols, wm_delete_window, wm_state, net_wm_name, net_wm_icon_name, net_wm_pid, net_wm_icon,
      net_wm_state, net_wm_state_fullscreen, net_wm_state_above, net_wm_ping, net_active_window,
      net_frame_extents, net_supporting_wm_check, motif_wm_hints, utf8_string;
};

// A rectangle of the root window: the monitor the window belongs to.
struct X11Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// One image the band is put from: a framebuffer page or the conversion buffer.
// The segment record lives apart because the image keeps a pointer to it.
struct X11Image {
  XImage* image = nullptr;
  std::unique_ptr<XShmSegmentInfo> shm;
  bool shared = false;  // attached to the server: put with XShmPutImage
};

// The display mode changed for fullscreen, to be put back.
using X11SavedCrtc = X11CrtcSetting;

// One connection attempt's own record: its driver thread works on it until
// the program's thread accepted the server's answer, and only then publishes
// the connection into X11State. A thread given up on while it waits for the
// server so never writes into the state a later attempt uses.
struct X11Attempt {
  std::string display_name;
  std::string failure;       // why the connection could not be opened
  bool unreachable = false;  // the display could not be opened at all
};

struct X11State {
  Display* display = nullptr;
  std::string display_name;
  std::string title;    // the window's title as the program set it
  std::string failure;  // why the window could not be set up
  bool unreachable = false;  // the display could not be opened at all
  bool started = false;  // the OpenGL back end's window is up (the driver thread's loop keeps its own)
  int screen = 0;
  Window root = 0;
  Window window = 0;
  Window confine_window = 0;  // input-only child over a scaled picture, for confinement
  Visual* visual = nullptr;
  int visual_depth = 0;
  Colormap colormap = 0;  // own colormap when the visual is not the default
  GC gc = nullptr;
  Cursor invisible_cursor = 0;
  Cursor arrow_cursor = 0;
  X11Atoms atoms{};
  bool window_mapped = false;
  bool window_viewable = false;
  bool wm_present = false;

  // Presentation.
  bool shm_descriptors = false;  // the server maps shared memory handed over by descriptor
  std::vector<X11Image> page_images;  // direct path: one per page
  X11Image buffer_image;              // conversion path
  PageBuffer conversion_buffer;
  std::int32_t buffer_step = 0;
  // A window of another size than the picture: the picture scaled into a
  // window-sized buffer (the bars black), put from there.
  PictureScaler scaler;
  X11Image window_image;
  PageBuffer window_buffer;
  std::int32_t window_step = 0;

  // Monitor and display mode.
  X11Rect monitor;
  unsigned long monitor_crtc = 0;
  bool randr = false;
  bool mode_changed = false;
  X11SavedCrtc saved_crtc;     // the desktop's setting
  unsigned long our_mode = 0;  // RRMode set for fullscreen

  // Keyboard.
  XIM im = nullptr;
  XIC ic = nullptr;
  bool detectable_repeat = false;
  std::array<bool, 256> keycode_down{};
  std::array<bool, 256> vk_down{};  // specific virtual keys (left/right modifiers)
  unsigned int level3_mask = 0;     // modifier bit of the AltGr key, if any

  // Buttons: time and place of the last press, for double clicks.
  ClickPairs clicks;

  // Screen saver.
  bool saver_suspended = false;
  std::chrono::steady_clock::time_point saver_reset{};
};

X11State& x11();

// x11_connect.cpp: XOpenDisplay with what the libraries would print on
// standard error turned into `failure` (filled when it returns null).
// `answered` is called as soon as a local server is heard from, before the
// X libraries' own (unbounded) opening; when it returns false the caller has
// been given up on and nothing is opened (null, `failure` empty).
Display* x11_open_connection(const std::string& name, std::string& failure, bool (*answered)());
// The program's thread gave up waiting for the server to answer: standard
// error is given back while the connect stays blocked on its thread.
void x11_abandon_connection();

// The connection with our error handlers, the extensions, keyboard map,
// input method, screen saver and monitor, published into x11() once
// `answered` (as for x11_open_connection) accepted it. False: nothing of
// x11() was written, and the attempt's `failure` (and `unreachable`) say why
// unless `answered` gave the attempt up.
bool x11_connect(X11Attempt& attempt, bool (*answered)());
// x11_connect for the state's own display name, its reason in x11().
bool x11_open_display(bool (*answered)());
void x11_close_display();

// x11_host.cpp: the window of a mode, on the display mode fullscreen asks
// for, with `prepare` (what draws into it) run before it is shown; 0 or -1
// (`failure` says why, and x11_take_down_window puts back what was done).
int x11_show_window(Visual* visual, int visual_depth, int (*prepare)());
// Takes the window down with what x11_show_window changed, `release_drawing`
// first.
void x11_take_down_window(void (*release_drawing)());
// The window's events as the window procedure's steps, then the key states
// and the screen saver's timer; with the host lock held.
void x11_take_events();

// x11_window.cpp. The window gets `visual` (with a colormap of its own) when
// one is given, else the default visual when it is TrueColor.
int x11_create_window(Visual* visual = nullptr, int visual_depth = 0);
void x11_destroy_window();
void x11_apply_title(const std::string& title);
void x11_activate_window();
void x11_confine_cursor();
void x11_free_cursor();
void x11_define_cursor();
int x11_window_position(int x, int y);
void x11_warp_pointer(int x, int y);
// Takes the pointer's place over the window from the server, so the mouse
// reads right before the pointer first moves.
void x11_query_pointer();
// Moves the pointer (kNotGiven keeps a coordinate), shows or hides it and
// confines or frees it (-1 leaves either as it is).
void x11_change_mouse(int x, int y, int visibility, int clip);

// x11_present.cpp
int x11_setup_presentation();
void x11_release_presentation();
void x11_present_rows(int first, int last);
// The picture shown in a client area of the given size: scaled into a
// window-sized buffer when that is not the picture's size. 0, or -1 when
// the buffer cannot be made (the picture then shows unscaled).
int x11_fit_picture(int window_width, int window_height);

// x11_events.cpp
void x11_dispatch_events();

// x11_keyboard.cpp
void x11_load_keymap();
using X11Key = KeysymKey;
X11Key x11_key_of(unsigned int keycode);
std::uint16_t x11_base_character(std::uint16_t virtual_key);
// The keys held, as events told them: key presses and releases, and the
// whole keymap the server sends after the window gains the focus or the
// pointer (keys pressed elsewhere). No round trip: the pass runs it each time.
void x11_take_keymap(const char (&key_vector)[32]);
void x11_refresh_key_state(std::uint8_t* key_state);
void x11_open_input_method();
void x11_close_input_method();
void x11_create_input_context();
void x11_destroy_input_context();
// The key's character for translation (0: none) and its text.
std::uint8_t x11_key_character(XKeyEvent& event);
std::u32string x11_key_text(XKeyEvent& event);

// x11_modes.cpp
void x11_init_randr();
void x11_find_monitor_at_pointer();
void x11_find_monitor_of_window();
// The part of the monitor that windows may take: the window manager's work
// area (panels left out) where it says, else the whole monitor.
X11Rect x11_work_area();
// The factor of the desktop's resolution (Xft.dpi), 1 where unset.
int x11_dpi_factor();
int x11_set_fullscreen_mode(int width, int height, int refresh);
void x11_restore_mode();
int x11_refresh_rate();
std::vector<std::int32_t> x11_list_modes(int depth);

// x11_screensaver.cpp
void x11_suspend_screensaver();
void x11_keep_screensaver_away();
void x11_resume_screensaver();

// x11_connect.cpp: X errors caught while `trap` lives.
class X11ErrorTrap {
 public:
  X11ErrorTrap();
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
  // Syncs with the server and tells whether an error arrived meanwhile.
  bool failed();

 private:
  int count_ = 0;
};

}  // namespace qz
