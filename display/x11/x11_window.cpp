// The window: creation with its hints (fixed client size, position, class,
// process id, icon, close protocol), title, cursor, pointer confinement and
// placement. Runs on the driver thread only.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "display/window_title.h"
#include "display/x11/x11_state.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace qz {

namespace {

constexpr long kEventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask |
                            ExposureMask | StructureNotifyMask | PropertyChangeMask | KeymapStateMask;

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr unsigned long kMotifDecorationsFlag = 2;

constexpr int kIconSize = 32;

void intern_atoms(X11State& x) {
  static const char* const kNames[] = {
      "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_STATE", "_NET_WM_NAME", "_NET_WM_ICON_NAME", "_NET_WM_PID",
      "_NET_WM_ICON", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_ABOVE", "_NET_WM_PING",
      "_NET_ACTIVE_WINDOW", "_NET_FRAME_EXTENTS", "_NET_SUPPORTING_WM_CHECK", "_MOTIF_WM_HINTS", "UTF8_STRING",
  };
  constexpr int kCount = int(sizeof kNames / sizeof kNames[0]);
  static_assert(sizeof(X11Atoms) == kCount * sizeof(Atom));
  std::array<Atom, kCount> atoms{};
  XInternAtoms(x.display, const_cast<char**>(kNames), kCount, False, atoms.data());
  std::memcpy(&x.atoms, atoms.data(), sizeof x.atoms);
}

// A small picture of the mechanism: a grey tile, the kite of links in black
// and the crank centre in the marker colour.
std::vector<unsigned long> make_icon() {
  std::vector<unsigned long> data(2 + kIconSize * kIconSize, 0xFFD2D2D2ul);
  data[0] = kIconSize;
  data[1] = kIconSize;
  auto plot = [&](int px, int py, unsigned long colour) {
    if (px >= 0 && py >= 0 && px < kIconSize && py < kIconSize) data[2 + std::size_t(py * kIconSize + px)] = colour;
  };
  auto line = [&](int x0, int y0, int x1, int y1) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i)
      plot(x0 + (x1 - x0) * i / std::max(steps, 1), y0 + (y1 - y0) * i / std::max(steps, 1), 0xFF000000ul);
  };
  line(16, 4, 6, 12);
  line(16, 4, 26, 12);
  line(16, 18, 6, 12);
  line(16, 18, 26, 12);
  line(16, 26, 16, 18);
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (dx * dx + dy * dy <= 5) plot(16 + dx, 26 + dy, 0xFFBF40BFul);
  return data;
}

void set_cardinals(X11State& x, Atom property, Atom type, const unsigned long* values, int count) {
  XChangeProperty(x.display, x.window, property, type, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values), count);
}

void set_text_property(X11State& x, Atom property, Atom type, const std::string& bytes) {
  XChangeProperty(x.display, x.window, property, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
}

bool window_manager_running(X11State& x) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(x.display, x.root, x.atoms.net_supporting_wm_check, 0, 1, False,
                                        XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
                     type == XA_WINDOW && count == 1;
  if (data) XFree(data);
  return found;
}

// The default visual when it is TrueColor, else a 24-bit TrueColor one.
bool choose_visual(X11State& x) {
  Visual* visual = DefaultVisual(x.display, x.screen);
  if (visual->c_class == TrueColor) {
    x.visual = visual;
    x.visual_depth = DefaultDepth(x.display, x.screen);
    x.colormap = 0;
    return true;
  }
  XVisualInfo info{};
  if (!XMatchVisualInfo(x.display, x.screen, 24, TrueColor, &info)) return false;
  x.visual = info.visual;
  x.visual_depth = info.depth;
  x.colormap = XCreateColormap(x.display, x.root, info.visual, AllocNone);
  return true;
}

void set_hints(X11State& x, const WindowHost& host, int left, int top) {
  XSizeHints* size = XAllocSizeHints();
  size->flags = PPosition | USPosition | PMinSize | PMaxSize | PWinGravity;
  size->x = left;
  size->y = top;
  if (host.flags & kModeResizable) {
    size->flags &= ~PMaxSize;
    size->min_width = size->min_height = 1;
  } else {
    size->min_width = size->max_width = host.window_width;
    size->min_height = size->max_height = host.window_height;
  }
  // The given position is the client area's, as the centring computed it.
  size->win_gravity = StaticGravity;
  XSetWMNormalHints(x.display, x.window, size);
  XFree(size);

  XWMHints* wm = XAllocWMHints();
  wm->flags = InputHint | StateHint;
  wm->input = True;
  wm->initial_state = NormalState;
  XSetWMHints(x.display, x.window, wm);
  XFree(wm);

  std::string name = "qzgfx";
#if defined(__linux__)
  name = program_invocation_short_name;
#endif
  XClassHint* cls = XAllocClassHint();
  cls->res_name = name.data();
  cls->res_class = const_cast<char*>(host.class_name);
  XSetClassHint(x.display, x.window, cls);
  XFree(cls);

  Atom protocols[] = {x.atoms.wm_delete_window, x.atoms.net_wm_ping};
  XSetWMProtocols(x.display, x.window, protocols, 2);

#if defined(__linux__)
  char machine[HOST_NAME_MAX + 1] = {};
  if (gethostname(machine, sizeof machine - 1) == 0) {
    XTextProperty text{};
    char* list[] = {machine};
    if (XStringListToTextProperty(list, 1, &text)) {
      XSetWMClientMachine(x.display, x.window, &text);
      XFree(text.value);
    }
  }
  const unsigned long pid = static_cast<unsigned long>(getpid());
  set_cardinals(x, x.atoms.net_wm_pid, XA_CARDINAL, &pid, 1);
#endif
  const std::vector<unsigned long> icon = make_icon();
  set_cardinals(x, x.atoms.net_wm_icon, XA_CARDINAL, icon.data(), int(icon.size()));

  const bool fullscreen = host.flags & (kModeFullscreen | kModeDesktopFullscreen);
  if (fullscreen || (host.flags & kModeFrameless)) {
    const unsigned long motif[5] = {kMotifDecorationsFlag, 0, 0, 0, 0};
    set_cardinals(x, x.atoms.motif_wm_hints, x.atoms.motif_wm_hints, motif, 5);
  }
  std::vector<unsigned long> states;
  if (fullscreen) states.push_back(x.atoms.net_wm_state_fullscreen);
  if (host.flags & kModeTopmost) states.push_back(x.atoms.net_wm_state_above);
  if (!states.empty()) set_cardinals(x, x.atoms.net_wm_state, XA_ATOM, states.data(), int(states.size()));
}

// The client area: the picture's size, a multiple of it for a scaled
// window or a HiDPI desktop (auto: what fits the work area), the monitor for
// fullscreen at the desktop's mode. OpenGL windows are the program's
// drawing, never scaled.
void choose_window_size(const X11State& x, WindowHost& host) {
  WindowSize size{host.width, host.height};
  if (!(host.flags & kModeOpengl)) {
    if (host.flags & kModeDesktopFullscreen) {
      size = {x.monitor.width, x.monitor.height};
    } else {
      const X11Rect area = x11_work_area();
      size = window_size_at_dpi(host.width, host.height, host.scale, x11_dpi_factor(), area.width, area.height);
    }
  }
  host.window_width = size.width;
  host.window_height = size.height;
}

}  // namespace

int x11_create_window(Visual* visual, int visual_depth) {
  X11State& x = x11();
  WindowHost& host = window_host();
  if (!x.atoms.wm_protocols) intern_atoms(x);
  if (visual) {
    // A visual the caller's renderer needs (not necessarily the default),
    // so the window gets a colormap of its own.
    x.visual = visual;
    x.visual_depth = visual_depth;
    x.colormap = XCreateColormap(x.display, x.root, visual, AllocNone);
  } else if (!choose_visual(x)) {
    x.failure = "the display offers no TrueColor visual";
    return -1;
  }
  choose_window_size(x, host);
  int left = x.monitor.x, top = x.monitor.y;
  if (!(host.flags & (kModeFullscreen | kModeDesktopFullscreen))) {
    left += (x.monitor.width - host.window_width) >> 1;
    top += (x.monitor.height - host.window_height) >> 1;
  }
  XSetWindowAttributes attributes{};
  // No background: the server would clear exposed parts to it first, and
  // the next pass repaints them anyway.
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.event_mask = kEventMask;
  attributes.colormap = x.colormap ? x.colormap : DefaultColormap(x.display, x.screen);
  x.window = XCreateWindow(x.display, x.root, left, top, unsigned(host.window_width), unsigned(host.window_height), 0,
                           x.visual_depth, InputOutput, x.visual, CWBackPixmap | CWBorderPixel | CWEventMask | CWColormap,
                           &attributes);
  if (!x.window) {
    x.failure = "the X server refused the window";
    return -1;
  }
  x.gc = XCreateGC(x.display, x.window, 0, nullptr);
  x.window_mapped = false;
  x.wm_present = window_manager_running(x);
  set_hints(x, host, left, top);
  x11_apply_title(x.title);

  x.arrow_cursor = XCreateFontCursor(x.display, XC_left_ptr);
  static const char kEmpty[1] = {0};
  Pixmap blank = XCreateBitmapFromData(x.display, x.window, kEmpty, 1, 1);
  XColor black{};
  x.invisible_cursor = XCreatePixmapCursor(x.display, blank, blank, &black, &black, 0, 0);
  XFreePixmap(x.display, blank);
  x11_define_cursor();
  x11_query_pointer();
  return 0;
}

void x11_destroy_window() {
  X11State& x = x11();
  if (!x.display) return;
  if (x.window) {
    XUngrabPointer(x.display, CurrentTime);
    XDestroyWindow(x.display, x.window);  // its confining child with it
    x.window = 0;
    x.confine_window = 0;
  }
  if (x.gc) XFreeGC(x.display, x.gc);
  if (x.arrow_cursor) XFreeCursor(x.display, x.arrow_cursor);
  if (x.invisible_cursor) XFreeCursor(x.display, x.invisible_cursor);
  if (x.colormap) XFreeColormap(x.display, x.colormap);
  x.gc = nullptr;
  x.arrow_cursor = x.invisible_cursor = 0;
  x.colormap = 0;
  x.window_mapped = false;
}

void x11_apply_title(const std::string& title) {
  X11State& x = x11();
  x.title = title;
  if (!x.window) return;
  const std::u32string text = title_characters(title);
  std::string latin1;
  for (char32_t c : text) latin1.push_back(c <= 0xFF ? char(c) : '?');
  const std::string utf8 = utf8_of(text);
  set_text_property(x, XA_WM_NAME, XA_STRING, latin1);
  set_text_property(x, XA_WM_ICON_NAME, XA_STRING, latin1);
  set_text_property(x, x.atoms.net_wm_name, x.atoms.utf8_string, utf8);
  set_text_property(x, x.atoms.net_wm_icon_name, x.atoms.utf8_string, utf8);
  XFlush(x.display);
}

// Brings the newly shown window to the front with the keyboard focus: asks
// the window manager when there is one, sets the focus itself otherwise.
void x11_activate_window() {
  X11State& x = x11();
  if (!x.window) return;
  if (x.wm_present) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x.window;
    event.xclient.message_type = x.atoms.net_active_window;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.display, x.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    XSetInputFocus(x.display, x.window, RevertToParent, CurrentTime);
  }
}

void x11_confine_cursor() {
  X11State& x = x11();
  if (!x.window || !x.window_mapped) return;
  // A scaled picture confines to its own rectangle, not to the bars: an
  // input-only child over it (selecting nothing, so the window still gets
  // every event) is what the grab confines to.
  Window confine_to = x.window;
  const PictureRect r = window_host().picture;
  if (host_picture_scaled() && r.width > 0 && r.height > 0) {
    if (!x.confine_window) {
      XSetWindowAttributes attributes{};
      x.confine_window = XCreateWindow(x.display, x.window, r.x, r.y, unsigned(r.width), unsigned(r.height), 0, 0,
                                       InputOnly, CopyFromParent, 0, &attributes);
    } else {
      XMoveResizeWindow(x.display, x.confine_window, r.x, r.y, unsigned(r.width), unsigned(r.height));
    }
    XMapWindow(x.display, x.confine_window);
    XSync(x.display, False);  // viewable before the grab
    confine_to = x.confine_window;
  }
  XGrabPointer(x.display, x.window, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
               GrabModeAsync, confine_to, None, CurrentTime);
}

void x11_free_cursor() {
  X11State& x = x11();
  if (x.display && x.window) XUngrabPointer(x.display, CurrentTime);
  if (x.display && x.confine_window) XUnmapWindow(x.display, x.confine_window);
}

void x11_define_cursor() {
  X11State& x = x11();
  if (!x.window) return;
  // The cursor of a window applies only over it, which is exactly where a
  // hidden cursor is to be hidden.
  XDefineCursor(x.display, x.window, window_input().cursor_visible ? x.arrow_cursor : x.invisible_cursor);
}

namespace {

// How far the client area sits inside the window manager's frame: the
// frame's own report when it gives one, else the client's place in the
// top-level window the manager put it in. Zero without a manager.
void frame_offset(X11State& x, int& left, int& top) {
  left = top = 0;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(x.display, x.window, x.atoms.net_frame_extents, 0, 4, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      type == XA_CARDINAL && format == 32 && count == 4) {
    const auto* extents = reinterpret_cast<const long*>(data);  // left, right, top, bottom
    left = int(extents[0]);
    top = int(extents[2]);
    XFree(data);
    return;
  }
  if (data) XFree(data);
  Window window = x.window, root = 0, parent = 0, *children = nullptr;
  unsigned int child_count = 0;
  while (XQueryTree(x.display, window, &root, &parent, &children, &child_count)) {
    if (children) XFree(children);
    if (!parent || parent == root) break;
    window = parent;
  }
  Window child = 0;
  if (window != x.window) XTranslateCoordinates(x.display, x.window, window, 0, 0, &left, &top, &child);
}

}  // namespace

// The position is the frame's top-left on the screen, as on other window
// systems: a move takes it, and reading it and moving to what was read
// leaves the window where it is. The window's static gravity makes a move
// place the client area, so the frame's offset is added.
int x11_window_position(int left, int top) {
  X11State& x = x11();
  const WindowHost& host = window_host();
  if (!x.window || (host.flags & (kModeFullscreen | kModeDesktopFullscreen))) return 0;
  int dx = 0, dy = 0;
  frame_offset(x, dx, dy);
  if (left == kNotGiven && top == kNotGiven) {
    int rx = 0, ry = 0;
    Window child = 0;
    if (!XTranslateCoordinates(x.display, x.window, x.root, 0, 0, &rx, &ry, &child)) return 0;
    return ((rx - dx) & 0xFFFF) + (ry - dy) * 65536;
  }
  XMoveWindow(x.display, x.window, left + dx, top + dy);
  XFlush(x.display);
  return 0;
}

void x11_change_mouse(int to_x, int to_y, int visibility, int clip) {
  X11State& state = x11();
  if (!state.window) return;
  WindowHost& host = window_host();
  WindowInput& input = window_input();
  if (to_x != kNotGiven || to_y != kNotGiven) {
    const PicturePoint to =
        host_window_point(std::clamp(to_x == kNotGiven ? input.pointer_x : to_x, 0, std::max(host.width - 1, 0)),
                          std::clamp(to_y == kNotGiven ? input.pointer_y : to_y, 0, std::max(host.height - 1, 0)));
    x11_warp_pointer(to.x, to.y);
    input.cursor_in_client = 1;
  }
  if (visibility >= 0) {
    input.cursor_visible = visibility > 0 ? 1 : 0;
    x11_define_cursor();
  }
  if (clip >= 0) {
    host.mouse_clipped = clip > 0 ? 1 : 0;
    if (host.mouse_clipped)
      x11_confine_cursor();
    else
      x11_free_cursor();
  }
}

void x11_warp_pointer(int to_x, int to_y) {
  X11State& x = x11();
  if (!x.window) return;
  XWarpPointer(x.display, None, x.window, 0, 0, 0, 0, to_x, to_y);
  XFlush(x.display);
}

void x11_query_pointer() {
  X11State& x = x11();
  if (!x.window) return;
  Window root = 0, child = 0;
  int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
  unsigned int mask = 0;
  // False: the pointer is on another screen, so not over the window.
  if (!XQueryPointer(x.display, x.window, &root, &child, &root_x, &root_y, &window_x, &window_y, &mask)) {
    window_input().cursor_in_client = 0;
    return;
  }
  pointer_position_steps(window_x, window_y, root_x, root_y);
}

}  // namespace qz
