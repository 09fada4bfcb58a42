/*
 * qzgfx for C++: a thin inline layer over <qzgfx/qzgfx.h>.
 *
 *     #include <qzgfx/qzgfx.hpp>
 *
 *     int main() {
 *       qz::Screen screen(640, 480);              // throws qz::Error without a window
 *       screen.circle(320, 240, 100, qz::yellow);
 *       screen.text(280, 236, "hello", qz::white);
 *       qz::wait_for_key();
 *     }                                          // the screen closes here
 *
 * What it adds: RAII for the screen, frames and images (qz::Screen,
 * qz::Frame, qz::Image), enum classes for keys, scan codes, buttons and
 * events, std::string_view text and default arguments. Everything is inline
 * and calls the C functions; mix both freely. Names live in namespace qz
 * (in an inline namespace of their own, so they can never meet a name of
 * the library's inside).
 */
#ifndef QZGFX_QZGFX_HPP
#define QZGFX_QZGFX_HPP

// MSVC keeps __cplusplus at 199711L unless asked; _MSVC_LANG tells the truth.
#if (defined(_MSVC_LANG) && _MSVC_LANG < 201703L) || (!defined(_MSVC_LANG) && __cplusplus < 201703L)
#error "qzgfx.hpp needs C++17 or later; include <qzgfx/qzgfx.h> for the C API"
#endif

#include <qzgfx/qzgfx.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace qz {
inline namespace api {

/** A colour: 0xAARRGGBB at depth 32, the pixel value at depths 8 and 16. */
using Colour = qz_colour;

/** An opaque colour from red, green and blue (0..255). */
constexpr Colour rgb(int red, int green, int blue) {
  return 0xFF000000u | (static_cast<std::uint32_t>(red) & 0xFFu) << 16 |
         (static_cast<std::uint32_t>(green) & 0xFFu) << 8 | (static_cast<std::uint32_t>(blue) & 0xFFu);
}
/** A colour with alpha (0 transparent .. 255 opaque). */
constexpr Colour rgba(int red, int green, int blue, int alpha) {
  return (static_cast<std::uint32_t>(alpha) & 0xFFu) << 24 | (rgb(red, green, blue) & 0xFFFFFFu);
}

// The values of the C header's QZ_ colours, made without its macros: those
// cast the C way, and would warn in programs built with -Wold-style-cast.
inline constexpr Colour black = rgb(0, 0, 0);                ///< Black.
inline constexpr Colour white = rgb(255, 255, 255);          ///< White.
inline constexpr Colour grey = rgb(128, 128, 128);           ///< Middle grey.
inline constexpr Colour light_grey = rgb(210, 210, 210);     ///< Light grey.
inline constexpr Colour red = rgb(230, 41, 55);              ///< Red.
inline constexpr Colour green = rgb(0, 190, 60);             ///< Green.
inline constexpr Colour blue = rgb(0, 110, 230);             ///< Blue.
inline constexpr Colour yellow = rgb(253, 220, 0);           ///< Yellow.
inline constexpr Colour orange = rgb(255, 150, 0);           ///< Orange.
inline constexpr Colour purple = rgb(170, 60, 200);          ///< Purple.
inline constexpr Colour cyan = rgb(0, 200, 220);             ///< Cyan.

/** What the constructors throw when the library refuses: qz_error_message's text. */
class Error : public std::runtime_error {
 public:
  /** An error carrying the calling thread's qz_error_message(). */
  Error() : std::runtime_error(qz_error_message()) {}
};

/** Key codes as qz_read_key returns them; characters are Key(c). */
enum class Key : int {
  None = QZ_KEY_NONE,
  Backspace = QZ_KEY_BACKSPACE,
  Tab = QZ_KEY_TAB,
  Enter = QZ_KEY_ENTER,
  Escape = QZ_KEY_ESCAPE,
  Space = QZ_KEY_SPACE,
  ShiftTab = QZ_KEY_SHIFT_TAB,
  F1 = QZ_KEY_F1, F2 = QZ_KEY_F2, F3 = QZ_KEY_F3, F4 = QZ_KEY_F4, F5 = QZ_KEY_F5, F6 = QZ_KEY_F6,
  F7 = QZ_KEY_F7, F8 = QZ_KEY_F8, F9 = QZ_KEY_F9, F10 = QZ_KEY_F10, F11 = QZ_KEY_F11, F12 = QZ_KEY_F12,
  Home = QZ_KEY_HOME, Up = QZ_KEY_UP, PageUp = QZ_KEY_PAGE_UP, Left = QZ_KEY_LEFT, Right = QZ_KEY_RIGHT,
  End = QZ_KEY_END, Down = QZ_KEY_DOWN, PageDown = QZ_KEY_PAGE_DOWN, Insert = QZ_KEY_INSERT,
  Delete = QZ_KEY_DELETE,
  CtrlLeft = QZ_KEY_CTRL_LEFT, CtrlRight = QZ_KEY_CTRL_RIGHT, CtrlUp = QZ_KEY_CTRL_UP,
  CtrlDown = QZ_KEY_CTRL_DOWN, CtrlHome = QZ_KEY_CTRL_HOME, CtrlEnd = QZ_KEY_CTRL_END,
  CtrlPageUp = QZ_KEY_CTRL_PAGE_UP, CtrlPageDown = QZ_KEY_CTRL_PAGE_DOWN,
  Close = QZ_KEY_CLOSE  ///< Not a key: the close box was pressed.
};
/** The key code of a character ('a', 'A', '1', ...). */
constexpr Key key_of(char c) { return static_cast<Key>(static_cast<unsigned char>(c)); }

/** Scan codes for key_down: a key's place on the keyboard. */
enum class Scan : int {
  Escape = QZ_SCAN_ESCAPE, Enter = QZ_SCAN_ENTER, Space = QZ_SCAN_SPACE, Tab = QZ_SCAN_TAB,
  Backspace = QZ_SCAN_BACKSPACE, Ctrl = QZ_SCAN_CTRL, Alt = QZ_SCAN_ALT,
  LeftShift = QZ_SCAN_LEFT_SHIFT, RightShift = QZ_SCAN_RIGHT_SHIFT,
  Up = QZ_SCAN_UP, Down = QZ_SCAN_DOWN, Left = QZ_SCAN_LEFT, Right = QZ_SCAN_RIGHT,
  Home = QZ_SCAN_HOME, End = QZ_SCAN_END, PageUp = QZ_SCAN_PAGE_UP, PageDown = QZ_SCAN_PAGE_DOWN,
  Insert = QZ_SCAN_INSERT, Delete = QZ_SCAN_DELETE,
  A = QZ_SCAN_A, B = QZ_SCAN_B, C = QZ_SCAN_C, D = QZ_SCAN_D, E = QZ_SCAN_E, F = QZ_SCAN_F,
  G = QZ_SCAN_G, H = QZ_SCAN_H, I = QZ_SCAN_I, J = QZ_SCAN_J, K = QZ_SCAN_K, L = QZ_SCAN_L,
  M = QZ_SCAN_M, N = QZ_SCAN_N, O = QZ_SCAN_O, P = QZ_SCAN_P, Q = QZ_SCAN_Q, R = QZ_SCAN_R,
  S = QZ_SCAN_S, T = QZ_SCAN_T, U = QZ_SCAN_U, V = QZ_SCAN_V, W = QZ_SCAN_W, X = QZ_SCAN_X,
  Y = QZ_SCAN_Y, Z = QZ_SCAN_Z,
  F1 = QZ_SCAN_F1, F2 = QZ_SCAN_F2, F3 = QZ_SCAN_F3, F4 = QZ_SCAN_F4, F5 = QZ_SCAN_F5, F6 = QZ_SCAN_F6,
  F7 = QZ_SCAN_F7, F8 = QZ_SCAN_F8, F9 = QZ_SCAN_F9, F10 = QZ_SCAN_F10, F11 = QZ_SCAN_F11, F12 = QZ_SCAN_F12
};

/** Mouse buttons, as bits of Mouse::buttons and Event::buttons. */
enum class Button : int {
  Left = QZ_BUTTON_LEFT, Right = QZ_BUTTON_RIGHT, Middle = QZ_BUTTON_MIDDLE, X1 = QZ_BUTTON_X1,
  X2 = QZ_BUTTON_X2
};

/** What an Event tells. */
enum class EventType : int {
  None = QZ_EVENT_NONE, KeyDown = QZ_EVENT_KEY_DOWN, KeyUp = QZ_EVENT_KEY_UP,
  KeyRepeat = QZ_EVENT_KEY_REPEAT, MouseMove = QZ_EVENT_MOUSE_MOVE, ButtonDown = QZ_EVENT_BUTTON_DOWN,
  ButtonUp = QZ_EVENT_BUTTON_UP, ButtonDouble = QZ_EVENT_BUTTON_DOUBLE, Wheel = QZ_EVENT_WHEEL,
  MouseEnter = QZ_EVENT_MOUSE_ENTER, MouseLeave = QZ_EVENT_MOUSE_LEAVE,
  FocusGained = QZ_EVENT_FOCUS_GAINED, FocusLost = QZ_EVENT_FOCUS_LOST, Close = QZ_EVENT_CLOSE,
  HorizontalWheel = QZ_EVENT_HWHEEL, DisplayLost = QZ_EVENT_DISPLAY_LOST
};

/** One window event (the C record, with its type as an enum class). */
struct Event : qz_event {
  /** The type as an enum class. */
  EventType kind() const { return static_cast<EventType>(type); }
};

/** The mouse: position, wheel, buttons held. */
struct Mouse : qz_mouse {
  /** Whether button `b` is held down. */
  bool held(Button b) const { return (buttons & static_cast<int>(b)) != 0; }
};

/** How the points of the options-taking calls are given. */
enum class Coords : int {
  Absolute = QZ_ABSOLUTE, Size = QZ_SIZE, FromLast = QZ_FROM_LAST, FromLastSize = QZ_FROM_LAST_SIZE
};

class Image;

/**
 * Something to draw on: the screen (Screen, or Canvas{}) or an image. Every
 * method is the C function of the same name with this canvas as target. An
 * empty canvas (a moved-from Image) is neither: every method does nothing.
 */
class Canvas {
 public:
  /** The screen. */
  constexpr Canvas() = default;
  /** An image of the C API's (not owned). */
  constexpr explicit Canvas(qz_image* image) : target_(image) {}

  /** The C target: an image, or nullptr for the screen (and when empty). */
  qz_image* target() const { return target_; }
  /** Whether there is nothing to draw on: a moved-from Image. */
  bool empty() const { return empty_; }

  void clear(Colour c) const { if (!empty_) qz_clear(target_, c); }  ///< Fills the whole canvas.
  void put_pixel(int x, int y, Colour c) const { if (!empty_) qz_put_pixel(target_, x, y, c); }  ///< One pixel.
  Colour get_pixel(int x, int y) const { return empty_ ? 0 : qz_get_pixel(target_, x, y); }  ///< 0 outside.
  /** A line, both ends included; `style` is a 16-pixel dash pattern (bit 15 first). */
  void line(float x1, float y1, float x2, float y2, Colour c, unsigned style = QZ_SOLID) const {
    if (empty_) return;
    if (style == QZ_SOLID)
      qz_line(target_, x1, y1, x2, y2, c);
    else
      qz_line_ex(target_, x1, y1, x2, y2, c, QZ_SHAPE_LINE, style, QZ_ABSOLUTE);
  }
  /** A line from the last point drawn. */
  void line_to(float x, float y, Colour c) const { if (!empty_) qz_line_to(target_, x, y, c); }
  /** A box outline (or filled) between two corners. */
  void box(float x1, float y1, float x2, float y2, Colour c, bool filled = false) const {
    if (empty_) return;
    filled ? qz_box_filled(target_, x1, y1, x2, y2, c) : qz_box(target_, x1, y1, x2, y2, c);
  }
  /** A filled box between two corners. */
  void box_filled(float x1, float y1, float x2, float y2, Colour c) const { box(x1, y1, x2, y2, c, true); }
  /** A circle, its outline or filled. */
  void circle(float x, float y, float radius, Colour c, bool filled = false) const {
    if (empty_) return;
    filled ? qz_circle_filled(target_, x, y, radius, c) : qz_circle(target_, x, y, radius, c);
  }
  /** An ellipse with two radii. */
  void ellipse(float x, float y, float radius_x, float radius_y, Colour c, bool filled = false) const {
    if (!empty_) qz_ellipse(target_, x, y, radius_x, radius_y, c, filled ? 1 : 0);
  }
  /** An arc from `start` to `end` (radians, counter-clockwise from 3 o'clock). */
  void arc(float x, float y, float radius, float start, float end, Colour c) const {
    if (!empty_) qz_arc(target_, x, y, radius, start, end, c);
  }
  /** A pie slice's outline. */
  void pie(float x, float y, float radius, float start, float end, Colour c) const {
    if (!empty_) qz_pie(target_, x, y, radius, start, end, c);
  }
  /** Fills the region around (x, y) up to pixels of colour `border`. */
  void flood_fill(float x, float y, Colour fill, Colour border) const {
    if (!empty_) qz_flood_fill(target_, x, y, fill, border);
  }
  /** The same with an 8 x 8 tile of colours, row by row. */
  void flood_fill(float x, float y, const Colour (&tile)[64], Colour border) const {
    if (!empty_) qz_flood_fill_pattern(target_, x, y, tile, border);
  }
  /** Text in the built-in font, top-left corner at (x, y). */
  void text(float x, float y, std::string_view s, Colour c) const {
    if (!empty_) qz_text_ex(target_, x, y, s.data(), s.size(), c, nullptr, QZ_ABSOLUTE);
  }
  /** Text in an image font (see qz_text_ex); false when the font is not one. */
  bool text(float x, float y, std::string_view s, const Image& font) const;
  /** Copies an image here, leaving out pixels of colour `transparent` when given. */
  void blit(const Image& source, int x, int y, std::optional<Colour> transparent = {}) const;

 protected:
  /** Makes this canvas empty: it no longer stands for anything, the screen included. */
  void make_empty() {
    target_ = nullptr;
    empty_ = true;
  }

 private:
  qz_image* target_ = nullptr;
  bool empty_ = false;
};

/** An image that frees itself. Move-only; a moved-from image is empty(). */
class Image : public Canvas {
 public:
  /** A width x height image of 1, 2 or 4 bytes per pixel, cleared to 0; throws Error on failure. */
  Image(int width, int height, int bytes_per_pixel = 4)
      : Canvas(qz_image_create(width, height, bytes_per_pixel)) {
    if (!target()) throw Error();
  }
  ~Image() { qz_image_free(target()); }
  /** Takes over another image; `other` is left empty. */
  Image(Image&& other) noexcept : Canvas(other) { other.make_empty(); }
  /** Frees this image and takes over another; `other` is left empty. */
  Image& operator=(Image&& other) noexcept {
    if (this != &other) {
      qz_image_free(target());
      Canvas::operator=(other);
      other.make_empty();
    }
    return *this;
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const { return qz_image_width(target()); }                   ///< Pixels per row; 0 when empty.
  int height() const { return qz_image_height(target()); }                 ///< Rows; 0 when empty.
  int bytes_per_pixel() const { return qz_image_bytes_per_pixel(target()); }  ///< 1, 2 or 4; 0 when empty.
  int pitch() const { return qz_image_pitch(target()); }                   ///< Bytes per row; 0 when empty.
  void* pixels() const { return qz_image_pixels(target()); }              ///< The first pixel; null when empty.
};

inline bool Canvas::text(float x, float y, std::string_view s, const Image& font) const {
  if (empty_ || font.empty()) return false;
  return qz_text_ex(target_, x, y, s.data(), s.size(), 0, font.target(), QZ_ABSOLUTE) == 0;
}
inline void Canvas::blit(const Image& source, int x, int y, std::optional<Colour> transparent) const {
  if (empty_ || source.empty()) return;
  if (transparent)
    qz_blit_transparent(target_, x, y, source.target(), *transparent);
  else
    qz_blit(target_, x, y, source.target());
}

/**
 * The screen, open while this lives. Draw on it with the Canvas methods.
 * One at a time; opening another closes this one's window.
 */
class Screen : public Canvas {
 public:
  /**
   * Opens a width x height screen (depth 8, 16 or 32; pages; window flags of
   * qz_window_flag or QZ_NO_WINDOW; refresh in Hz). Throws Error when no
   * screen can be had, with the reason.
   */
  Screen(int width, int height, int depth = 32, int pages = 1, int flags = 0, int refresh = 0) {
    if (qz_screen_open(width, height, depth, pages, flags, refresh) != 0) throw Error();
  }
  ~Screen() { qz_screen_close(); }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  /** Everything about the open screen. */
  qz_screen_info info() const {
    qz_screen_info i{};
    qz_screen_get_info(&i);
    return i;
  }
  int width() const { return info().width; }    ///< Pixels per row.
  int height() const { return info().height; }  ///< Rows.
  /** The work page's first pixel (see qz_screen_pixels). */
  void* pixels() const { return qz_screen_pixels(); }
  /** Rows first..last changed by direct writes: present them. */
  void mark_rows(int first, int last = -1) const { qz_screen_mark_rows(first, last); }
  /** Shows the work page and draws on the page shown before. */
  bool flip() const { return qz_flip() == 0; }
  /** Chooses the work and the visible page (-1 keeps either). */
  bool set_pages(int work, int visible) const { return qz_set_pages(work, visible) == 0; }
  /** The window's title. */
  void title(std::string_view t) const { qz_set_title(std::string(t).c_str()); }
};

/** A frame: nothing is presented until it ends, so nothing flickers. */
class Frame {
 public:
  Frame() { qz_frame_begin(); }
  ~Frame() { qz_frame_end(); }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
};

/** The oldest key code waiting, Key::None when none. */
inline Key next_key() { return static_cast<Key>(qz_read_key()); }
/** Whether a key code is waiting. */
/** The size of windows opened from now on: 1 to 8 times the screen's, 0 auto (see qz_set_window_scale). */
inline bool set_window_scale(int scale) { return qz_set_window_scale(scale) == 0; }

inline bool key_waiting() { return qz_key_pending() != 0; }
/** Waits for a key; Key::None at once when no window can deliver one. */
inline Key wait_for_key() { return static_cast<Key>(qz_wait_key()); }
/** Whether the key with that scan code is held down. */
inline bool key_down(Scan s) { return qz_key_down(static_cast<int>(s)) != 0; }

/** The mouse, or nothing when it is not over the window. */
inline std::optional<Mouse> mouse() {
  Mouse m{};
  if (qz_get_mouse(&m) != 0) return std::nullopt;
  return m;
}
/** Moves the pointer. */
inline void move_mouse(int x, int y) { qz_set_mouse(x, y); }
/** Shows or hides the pointer over the window. */
inline void show_mouse(bool visible) { qz_show_mouse(visible ? 1 : 0); }
/** Confines the pointer to the window, or frees it. */
inline void confine_mouse(bool confined) { qz_confine_mouse(confined ? 1 : 0); }

/** The oldest window event, or nothing. */
inline std::optional<Event> poll_event() {
  Event e{};
  if (!qz_poll_event(&e)) return std::nullopt;
  return e;
}
/** Waits up to `timeout_ms` (negative: no limit) for an event. */
inline std::optional<Event> wait_event(int timeout_ms = -1) {
  Event e{};
  if (!qz_wait_event(&e, timeout_ms)) return std::nullopt;
  return e;
}

/** The OpenGL screen's function `name`, cast to `Fn`; null without one. */
template <typename Fn>
Fn gl_function(const char* name) {
  return reinterpret_cast<Fn>(qz_gl_proc_address(name));
}
/** The OpenGL screen's GL_VERSION; empty without one. */
inline std::string gl_version() { return qz_gl_version(); }
/** The OpenGL screen's GL_RENDERER; empty without one. */
inline std::string gl_renderer() { return qz_gl_renderer(); }

/** About one display frame. */
inline void wait_vsync() { qz_wait_vsync(); }
/** Sleeps. */
inline void sleep_ms(int milliseconds) { qz_sleep(milliseconds); }
/** Seconds on a steady clock. */
inline double seconds() { return qz_time(); }

/** Prints at the text cursor (see qz_print). */
inline void print(std::string_view s) { qz_print(std::string(s).c_str()); }
/** Moves the text cursor (row, column from 1). */
inline void locate(int row, int column) { qz_locate(row, column); }

/** The calling thread's last failure, "" when none. */
inline std::string_view error_message() { return qz_error_message(); }

}  // namespace api
}  // namespace qz

#endif  // QZGFX_QZGFX_HPP
