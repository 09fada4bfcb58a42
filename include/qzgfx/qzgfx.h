/**
 * @file
 * qzgfx: a software pixel-graphics library with a window that presents itself.
 *
 * You draw into an off-screen framebuffer (the screen) or into images of your
 * own; a thread of the library's presents the rows you changed in a window.
 * Keys, the mouse and window events come back through a key queue and an
 * event queue.
 *
 *     #include <qzgfx/qzgfx.h>
 *
 *     int main(void) {
 *       if (qz_screen_open(640, 480, 32, 1, 0, 0) != 0) return 1;
 *       qz_circle(NULL, 320, 240, 100, QZ_YELLOW);
 *       qz_text(NULL, 280, 236, "hello", QZ_WHITE);
 *       qz_wait_key();
 *       qz_screen_close();
 *       return 0;
 *     }
 *
 * Conventions
 * - Every name carries the prefix qz_ (QZ_ for constants). This header is
 *   plain C11 and C++; it uses no C++ types and declares plain data only.
 * - Functions that can fail return 0 on success and 1 on failure, and set the
 *   calling thread's last-error number (qz_last_error) the same way;
 *   qz_error_message says why. Drawing never fails loudly: on the screen
 *   while none is open, or entirely outside the clip rectangle, it draws
 *   nothing.
 * - Drawing functions take a target first: an image, or NULL for the screen.
 *   Coordinates are floats in pixels, rounded half away from zero; (0, 0) is
 *   the top-left pixel, y grows downwards.
 * - Colours are 32-bit 0xAARRGGBB at depth 32, the pixel value itself at
 *   depths 8 and 16 (a palette index, an RGB565 value).
 * - Pointers: a NULL target or source image is the screen; NULL text or a
 *   NULL tile draws nothing (qz_text_ex returns 1); NULL title is the empty
 *   one; a NULL output of a call with several outputs is skipped; any other
 *   NULL argument makes the call fail with a reason (1, NULL, or 0 where the
 *   result is a count or a flag).
 * - Enumerations from C may hold any int: values outside the listed ones
 *   draw nothing or return 1.
 * - Threads: one thread (the program's) opens, closes and draws on the
 *   screen. Images may be drawn on by any thread, each its own images, with
 *   or without a screen, while the screen opens and closes. The clip
 *   rectangle, the coordinate mapping, the last point and the text colours
 *   belong to the calling thread; the clip applies to the screen only (an
 *   image is always drawn whole), the coordinate mapping to both.
 */
#ifndef QZGFX_QZGFX_H
#define QZGFX_QZGFX_H

#include <stddef.h>
#include <stdint.h>

/** @defgroup qz_version Version
 * @{ */
#define QZ_VERSION_MAJOR 0 /**< Major version: changes break the API. */
#define QZ_VERSION_MINOR 1 /**< Minor version: additions. */
#define QZ_VERSION_PATCH 0 /**< Patch version: fixes. */
/** @} */

/** Marks the library's exported functions (a shared build exports only them). */
#if defined(_WIN32) && defined(QZ_SHARED_BUILD)
#define QZ_API __declspec(dllexport)
#elif defined(_WIN32) && defined(QZ_SHARED)
#define QZ_API __declspec(dllimport)
#elif defined(__GNUC__)
#define QZ_API __attribute__((visibility("default")))
#else
#define QZ_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------- */
/** @defgroup qz_runtime Version, errors and the process
 * @{ */

/** The library's version as "MAJOR.MINOR.PATCH" (the one it was built as). */
QZ_API const char* qz_version(void);

/** The calling thread's last-error number: 0 after a success, 1 after a failure. */
QZ_API int qz_last_error(void);

/**
 * Why the calling thread's last failing call failed, as one line of text
 * (for example "cannot open a window: DISPLAY is not set"); "" when nothing
 * has failed on this thread. The text stays until the next failure. After a
 * qz_screen_open that succeeded although QZGFX names no back end, it holds
 * that warning (qz_last_error is 0 then).
 */
QZ_API const char* qz_error_message(void);

/**
 * Hands the process to the library, as a program of its own would want:
 * floating-point rounding to nearest, the character-type locale from the
 * environment, SIGINT/SIGTERM/SIGHUP (Ctrl+C on Windows) end the program at
 * its next wait or key read with the screen closed and the display mode put
 * back (status 128 + signal), and a lost display ends it with status 1 and
 * one line on standard error.
 *
 * Without this call the library changes nothing in the process: no signal
 * handler, no locale; a lost display makes later window calls fail and
 * queues a QZ_EVENT_DISPLAY_LOST event. Call it first in main, if at all.
 */
QZ_API void qz_runtime_init(int argc, char** argv);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_screen The screen: opening, pages, frames
 * @{ */

/** Window options for qz_screen_open (combine with |). */
enum qz_window_flag {
  QZ_WINDOW_FULLSCREEN = 0x01,    /**< Fill the monitor, changing its mode to the screen's size; where the
                                       display has no such mode, at its own mode with the picture fitted. */
  QZ_WINDOW_OPENGL = 0x02,        /**< A window for OpenGL (only on back ends that have it). */
  QZ_WINDOW_FIXED = 0x04,         /**< Alt+Enter does not switch to fullscreen. */
  QZ_WINDOW_FRAMELESS = 0x08,     /**< No title bar or border. */
  QZ_WINDOW_LAYERED = 0x10,       /**< See-through where the pixel is colour 0 at depth 8, magenta above
                                       (0xF81F at 15 and 16 bits, 0xFF00FF at 24 and 32); frameless, fixed.
                                       Windows GDI and Direct2D only: other back ends refuse it. */
  QZ_WINDOW_TOPMOST = 0x20,       /**< Stays above other windows. */
  QZ_WINDOW_ALPHA_BLEND = 0x40,   /**< Depth 32: drawing blends by the colour's alpha. */
  QZ_WINDOW_HIGH_PRIORITY = 0x80, /**< The presentation thread runs at high priority. */
  QZ_WINDOW_RESIZABLE = 0x100,    /**< The window can be resized; the picture is scaled to fit, its aspect kept,
                                       pixels repeated, black bars around it. */
  QZ_WINDOW_DESKTOP_FULLSCREEN = 0x200 /**< Fill the monitor at the desktop's own mode, the picture scaled to fit. */
};
/** As flags: no window at all (the screen exists in memory only). */
#define QZ_NO_WINDOW (-1)

/**
 * Opens the screen: a framebuffer of width x height pixels at `depth` bits
 * (8, 16 or 32; 15 and 24 give 16 and 32) with `pages` pages (at least 1),
 * shown in a window (flags: qz_window_flag values, 0 for a plain window, or
 * QZ_NO_WINDOW). `refresh` asks fullscreen for a rate in Hz (0: any).
 * Every page starts black. Text gets the 8 x 8 font and a grid of
 * width / 8 x height / 8 cells.
 *
 * Arguments that can never work (a size, depth or page count out of range)
 * are refused with the screen already open left as it was; otherwise that
 * screen is closed first, so a window the display then refuses leaves none.
 *
 * The environment variable QZGFX names the back end to try first ("X11",
 * "GDI", ...; "null" for no window); the others follow. On failure (no
 * display, bad size) returns 1 with the reason in qz_error_message.
 * Program's thread only.
 */
QZ_API int qz_screen_open(int width, int height, int depth, int pages, int flags, int refresh);

/**
 * Opens one of the numbered classic modes (1..21, e.g. 13 = 320x200 at 8
 * bits, 18 = 640x480 at 8 bits); `depth` overrides the mode's depth for
 * modes 14 and up (0 keeps it), `pages` 0 takes the mode's own count. Each
 * mode has its classic font: 8 x 8 at 320 x 200, 640 x 200, 320 x 240 and
 * 400 x 300; 8 x 14 at 640 x 350; 8 x 16 for the others.
 */
QZ_API int qz_screen_open_mode(int mode_number, int depth, int pages, int flags, int refresh);

/** Closes the window and frees the screen; nothing happens without one. */
QZ_API void qz_screen_close(void);

/** 1 while a screen is open, else 0. */
QZ_API int qz_screen_is_open(void);

/** What qz_screen_info reports about the open screen. */
typedef struct qz_screen_info {
  int width;           /**< Pixels per row. */
  int height;          /**< Rows. */
  int depth;           /**< Bits per pixel: 8, 16 or 32 (1, 2 and 4 for numbered modes). */
  int bytes_per_pixel; /**< 1, 2 or 4. */
  int pitch;           /**< Bytes from one row to the next. */
  int pages;           /**< Number of pages. */
  int work_page;       /**< The page drawing goes to (this thread). */
  int visible_page;    /**< The page the window shows. */
  int refresh_rate;    /**< The display's rate in Hz, 0 when unknown. */
  int text_columns;    /**< Text grid: columns. */
  int text_rows;       /**< Text grid: rows. */
  const char* driver;  /**< The back end in use: "X11", "GDI", "Null", ... */
  int window_width;    /**< The window's client area in window pixels (the screen's width without a window). */
  int window_height;   /**< Its height in window pixels (the screen's height without a window). */
  int picture_x;       /**< Where the picture shows in the client area, in window pixels: 0 unless scaled. */
  int picture_y;       /**< Its top, in window pixels: 0 unless scaled. */
  int picture_width;   /**< Its width in window pixels: the screen's unless scaled. */
  int picture_height;  /**< Its height in window pixels: the screen's unless scaled. */
} qz_screen_info;

/** Fills *info for the open screen; 1 (and *info zeroed) without one. */
QZ_API int qz_screen_get_info(qz_screen_info* info);

/**
 * The first byte of the work page's pixels, for writing pixels directly
 * (rows qz_screen_info.pitch bytes apart), or NULL without a screen. Write
 * between qz_frame_begin and qz_frame_end and tell the window which rows
 * changed with qz_screen_mark_rows.
 */
QZ_API void* qz_screen_pixels(void);

/** Marks rows first..last (inclusive; last < 0: to the bottom) as changed, so they are presented. */
QZ_API void qz_screen_mark_rows(int first, int last);

/**
 * Begins a frame: until the matching qz_frame_end the window presents
 * nothing, so a picture cleared and redrawn in between never shows half
 * done. Frames nest; keep them short (the window's events wait meanwhile).
 */
QZ_API void qz_frame_begin(void);
/** Ends a frame: what was drawn since qz_frame_begin is presented at once. */
QZ_API void qz_frame_end(void);

/**
 * Chooses the page drawing goes to and the page the window shows (-1 keeps
 * either). Returns 1 for a page the screen does not have.
 */
QZ_API int qz_set_pages(int work_page, int visible_page);

/**
 * Page flipping for a screen of two or more pages: shows the work page and
 * makes the page shown before the new work page. Returns 1 with one page.
 * On an OpenGL screen (QZ_WINDOW_OPENGL) it shows what GL drew: it swaps the
 * GL buffers, whatever the number of pages.
 */
QZ_API int qz_flip(void);

/** Sets the window title (127 bytes at most are kept); works before opening too. */
QZ_API void qz_set_title(const char* title);

/**
 * The size of the windows opened from now on: `scale` times the screen's
 * size (1 to 8; 1 is the default), or 0 (auto) for the largest whole
 * multiple that fits the desktop's work area, and where not even the
 * screen's own size fits, the largest size of its aspect that does. Every
 * picture pixel shows as scale x scale window pixels. The environment
 * variable QZGFX_SCALE (1 to 8, or auto) overrides it, so that a program can
 * be scaled without rebuilding it. Returns 1 for another value.
 *
 * HiDPI: on a monitor of twice the usual resolution (192 dpi: a Wayland
 * output scale of 2, Windows at 200 %, X11's Xft.dpi resource) a window
 * pixel is 2 x 2 device pixels as far as the window still fits, so a window
 * looks the same size as on a usual monitor and stays sharp; qz_screen_info
 * reports device pixels.
 *
 * OpenGL windows are never scaled: GL draws in the drawable's own pixels.
 * Set the viewport from qz_screen_info after opening, and every frame in a
 * resizable window (window_width and window_height follow its size):
 * glViewport(0, 0, info.window_width, info.window_height).
 */
QZ_API int qz_set_window_scale(int scale);

/** Moves the window's outer top-left corner (its frame's, where it has one) to (x, y) on the desktop. */
QZ_API int qz_set_window_pos(int x, int y);
/** Reads the window's position as qz_set_window_pos takes it; 1 when there is no window or it is fullscreen. */
QZ_API int qz_get_window_pos(int* x, int* y);

/**
 * Lists the display's modes of a depth: up to `max` entries of width and
 * height pairs (out[2k], out[2k+1]); returns how many modes there are.
 */
QZ_API int qz_list_modes(int depth, int* out, int max);

/** Sets palette entry `index` (0..255) of an 8-bit screen to red, green, blue (0..255 each). */
QZ_API int qz_set_palette(int index, int red, int green, int blue);
/** Reads palette entry `index`; each output may be NULL. */
QZ_API int qz_get_palette(int index, int* red, int* green, int* blue);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_colours Colours
 * @{ */

/** A colour: 0xAARRGGBB at depth 32, the pixel value at depths 8 and 16. */
typedef uint32_t qz_colour;

/** An opaque 32-bit colour from red, green and blue (0..255). */
#define QZ_RGB(r, g, b) \
  ((qz_colour)(0xFF000000u | ((uint32_t)(r) & 0xFFu) << 16 | ((uint32_t)(g) & 0xFFu) << 8 | ((uint32_t)(b) & 0xFFu)))
/** A 32-bit colour with alpha (0 transparent .. 255 opaque). */
#define QZ_RGBA(r, g, b, a) \
  ((qz_colour)(((uint32_t)(a) & 0xFFu) << 24 | ((uint32_t)(r) & 0xFFu) << 16 | ((uint32_t)(g) & 0xFFu) << 8 | ((uint32_t)(b) & 0xFFu)))

#define QZ_BLACK QZ_RGB(0, 0, 0)             /**< Black. */
#define QZ_WHITE QZ_RGB(255, 255, 255)       /**< White. */
#define QZ_GREY QZ_RGB(128, 128, 128)        /**< Middle grey. */
#define QZ_LIGHT_GREY QZ_RGB(210, 210, 210)  /**< Light grey. */
#define QZ_RED QZ_RGB(230, 41, 55)           /**< Red. */
#define QZ_GREEN QZ_RGB(0, 190, 60)          /**< Green. */
#define QZ_BLUE QZ_RGB(0, 110, 230)          /**< Blue. */
#define QZ_YELLOW QZ_RGB(253, 220, 0)        /**< Yellow. */
#define QZ_ORANGE QZ_RGB(255, 150, 0)        /**< Orange. */
#define QZ_PURPLE QZ_RGB(170, 60, 200)       /**< Purple. */
#define QZ_CYAN QZ_RGB(0, 200, 220)          /**< Cyan. */

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_images Images
 * @{ */

/** An image: pixels of your own to draw on, read, write and blit. */
typedef struct qz_image qz_image;

/**
 * The most pixels an image may have: 67108864 (2^26, e.g. 8192 x 8192, 256 MiB
 * at 4 bytes per pixel), each side being at most 65535. qz_image_create and
 * qz_image_load_png refuse larger images, the loader before it allocates.
 */
#define QZ_IMAGE_MAX_PIXELS 67108864

/**
 * Creates an image of width x height pixels with 1, 2 or 4 bytes per pixel
 * (0: the screen's, 4 without a screen), cleared to 0. Each side is 1 to
 * 65535 and width x height at most QZ_IMAGE_MAX_PIXELS. NULL on failure.
 */
QZ_API qz_image* qz_image_create(int width, int height, int bytes_per_pixel);
/** Frees an image (NULL is ignored). */
QZ_API void qz_image_free(qz_image* image);
/** The image's width in pixels (0 for NULL). */
QZ_API int qz_image_width(const qz_image* image);
/** The image's height in pixels (0 for NULL). */
QZ_API int qz_image_height(const qz_image* image);
/** Bytes per pixel: 1, 2 or 4 (0 for NULL). */
QZ_API int qz_image_bytes_per_pixel(const qz_image* image);
/** Bytes from one row to the next (0 for NULL). */
QZ_API int qz_image_pitch(const qz_image* image);
/** The first pixel's byte; rows follow qz_image_pitch bytes apart. */
QZ_API void* qz_image_pixels(qz_image* image);

/**
 * Copies the w x h pixels at (sx, sy) of `source` to (x, y) of `target`
 * (either NULL for the screen), clipped to both. Both must have the same
 * bytes per pixel; w or h below 1 takes the whole source.
 */
QZ_API void qz_blit_region(qz_image* target, int x, int y, const qz_image* source, int sx, int sy, int w, int h);
/** Copies the whole of `source` to (x, y) of `target` (NULL: the screen). */
QZ_API void qz_blit(qz_image* target, int x, int y, const qz_image* source);
/**
 * As qz_blit, leaving out the source pixels of colour `transparent`. At 4
 * bytes per pixel only red, green and blue are compared, so QZ_BLACK leaves
 * out a new image's 0 pixels as well as opaque black ones.
 */
QZ_API void qz_blit_transparent(qz_image* target, int x, int y, const qz_image* source, qz_colour transparent);

/**
 * Saves a 4-byte image (NULL: the screen's visible page at depth 32) as an
 * RGBA PNG file, the alpha byte kept as it is. Needs the library built with
 * libpng; returns 1 with the reason otherwise (nothing is printed).
 */
QZ_API int qz_image_save_png(const qz_image* image, const char* path);
/**
 * Loads a PNG file of any kind (palette, grey, 16-bit channels) as a new
 * 4-byte image of 0xAARRGGBB pixels; NULL with the reason on failure.
 * Images of more than QZ_IMAGE_MAX_PIXELS pixels are refused from their
 * header; the pixels are decoded once, into the new image. Only what the
 * pixels need is kept: text, suggested palettes, colour profiles and the
 * like are skipped, never decompressed. Anything but a regular file (a FIFO, a
 * device, a directory) is refused without being read. Nothing is printed.
 */
QZ_API qz_image* qz_image_load_png(const char* path);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_drawing Drawing
 * Every function draws on `target`: an image, or NULL for the screen.
 * @{ */

/** Fills the whole target (the screen: the work page) with a colour. */
QZ_API void qz_clear(qz_image* target, qz_colour colour);
/** Sets one pixel. */
QZ_API void qz_put_pixel(qz_image* target, int x, int y, qz_colour colour);
/** Reads one pixel; 0 outside the target. */
QZ_API qz_colour qz_get_pixel(const qz_image* target, int x, int y);

/** A line from (x1, y1) to (x2, y2), both ends included. */
QZ_API void qz_line(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour);
/** A line from the last point drawn to (x, y). */
QZ_API void qz_line_to(qz_image* target, float x, float y, qz_colour colour);
/** Moves the last point (where qz_line_to and QZ_FROM_LAST start) without drawing. */
QZ_API void qz_move_to(float x, float y);
/** The outline of the box with corners (x1, y1) and (x2, y2). */
QZ_API void qz_box(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour);
/** The filled box with corners (x1, y1) and (x2, y2). */
QZ_API void qz_box_filled(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour);
/** A circle's outline around (x, y). */
QZ_API void qz_circle(qz_image* target, float x, float y, float radius, qz_colour colour);
/** A filled circle (a disc) around (x, y). */
QZ_API void qz_circle_filled(qz_image* target, float x, float y, float radius, qz_colour colour);
/**
 * An ellipse with the given horizontal and vertical radii, its outline or
 * (filled != 0) the whole of it.
 */
QZ_API void qz_ellipse(qz_image* target, float x, float y, float radius_x, float radius_y, qz_colour colour,
                       int filled);
/**
 * The arc of a circle from angle `start` to `end` (radians, counter-clockwise
 * from 3 o'clock, each 0..2*pi); end below start goes round through 0. An
 * arc plots points about two thirds of a pixel apart along the angle, while
 * a circle's outline steps pixel by pixel: about a quarter of an arc's pixels
 * lie one pixel off the circle of the same radius.
 */
QZ_API void qz_arc(qz_image* target, float x, float y, float radius, float start, float end, qz_colour colour);
/** qz_arc with the two radius lines: a pie slice's outline. */
QZ_API void qz_pie(qz_image* target, float x, float y, float radius, float start, float end, qz_colour colour);

/**
 * Flood fill: paints the 4-connected region around (x, y) up to pixels of
 * colour `border` (not included).
 */
QZ_API void qz_flood_fill(qz_image* target, float x, float y, qz_colour fill, qz_colour border);
/**
 * Flood fill with an 8 x 8 tile (64 colours, row by row) repeated over the
 * target: pixel (x, y) takes tile[(y % 8) * 8 + x % 8].
 */
QZ_API void qz_flood_fill_pattern(qz_image* target, float x, float y, const qz_colour tile[64], qz_colour border);

/** How the points of the _ex functions are given. */
typedef enum qz_coords {
  QZ_ABSOLUTE = 0,  /**< Every point is a position. */
  QZ_SIZE = 1,      /**< The second point is an offset from the first (boxes: width and height less one). */
  QZ_FROM_LAST = 2, /**< The first point is an offset from the last point drawn. */
  QZ_FROM_LAST_SIZE = 3 /**< Both: first from the last point, second from the first. */
} qz_coords;

/** What qz_line_ex draws between its two points. */
typedef enum qz_shape {
  QZ_SHAPE_LINE = 0,      /**< A line. */
  QZ_SHAPE_BOX = 1,       /**< A box outline. */
  QZ_SHAPE_BOX_FILLED = 2 /**< A filled box. */
} qz_shape;

/** A solid dash style: every pixel drawn. */
#define QZ_SOLID 0xFFFFu
/** A dashed style: 8 pixels on, 8 off. */
#define QZ_DASHED 0xFF00u
/** A dotted style: every other pixel. */
#define QZ_DOTTED 0xAAAAu

/**
 * A line or box with every option: `style` is a 16-pixel dash pattern
 * repeated along lines and outlines (bit 15 is the first pixel; QZ_SOLID
 * for none), `coords` how the points are given. A line's pattern starts at
 * its first point; a box outline's runs once around it, from the left end of
 * the bottom edge along the bottom, then the top, the right and the left
 * edge, each edge left to right or top to bottom. An unknown shape or
 * coords draws nothing.
 */
QZ_API void qz_line_ex(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour, qz_shape shape,
                       unsigned style, qz_coords coords);
/**
 * A circle, ellipse or arc with every option: `aspect` is the ratio of the
 * vertical to the horizontal radius (0: the screen's, 1 for modes opened by
 * size); start and end as qz_arc, both 0 for the whole ellipse; negative
 * angles add the radius line to that end. `coords` QZ_ABSOLUTE or QZ_FROM_LAST
 * (QZ_SIZE and QZ_FROM_LAST_SIZE act as these); another value draws nothing.
 */
QZ_API void qz_circle_ex(qz_image* target, float x, float y, float radius, qz_colour colour, float aspect,
                         float start, float end, int filled, qz_coords coords);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_clip Clipping and coordinates
 * @{ */

/**
 * Clips the calling thread's drawing on the screen to the pixels x1..x2,
 * y1..y2 (images are not clipped); it stays across page flips. With
 * `relative`, coordinates count from (x1, y1) instead of the screen's corner.
 */
QZ_API void qz_set_clip(int x1, int y1, int x2, int y2, int relative);
/** Drawing on the whole screen again. */
QZ_API void qz_reset_clip(void);
/**
 * Maps your own coordinates onto the clip rectangle: (x1, y1) lands on its
 * bottom-left and (x2, y2) on its top-right corner (y grows upwards), or
 * on its top-left and bottom-right with `y_down`.
 */
QZ_API void qz_set_coordinates(float x1, float y1, float x2, float y2, int y_down);
/** Pixel coordinates again. */
QZ_API void qz_reset_coordinates(void);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_text Text
 * @{ */

/**
 * Draws text with its top-left corner at (x, y) in the screen's built-in
 * font (8 x 8, 8 x 14 or 8 x 16 code page 437 glyphs, chosen by the text
 * grid; 8 x 8 on images while no screen is open), only the glyphs' pixels,
 * in `colour`.
 */
QZ_API void qz_text(qz_image* target, float x, float y, const char* text, qz_colour colour);
/**
 * Draws `length` bytes of text (a NUL byte is a glyph too) with an image
 * font (NULL: the built-in one, in `colour`). An image font is an image of
 * the target's bytes per pixel whose first row's bytes hold the glyph table:
 * byte 0 is 0, bytes 1 and 2 the first and last character code, then one
 * byte per character giving its width in pixels (the widths adding up to at
 * most the image's width); below that row the glyphs, as tall as the image
 * less one row, stand side by side from the left and are copied as they are
 * (`colour` does not apply). Characters outside first..last are skipped and
 * take no room. Returns 1 with the reason for NULL text, a font that breaks
 * these rules, or `coords` not a qz_coords value.
 */
QZ_API int qz_text_ex(qz_image* target, float x, float y, const char* text, size_t length, qz_colour colour,
                      const qz_image* font, qz_coords coords);

/**
 * Sets the text grid to `columns` x `rows` cells (one may be 0 to keep it)
 * when a built-in font fits the cells (8 pixels wide; 8, 14 or 16 high),
 * clearing the screen; returns columns | rows << 16 of the grid.
 */
QZ_API int qz_set_text_grid(int columns, int rows);

/**
 * Prints text at the text cursor as a console does: characters go into the
 * grid's cells in the text colours and advance the cursor, "\n" starts the
 * next row, "\r" goes back to column 1, "\t" to the next multiple of 8, and
 * a row past the text region's last scrolls the region up by one row.
 */
QZ_API void qz_print(const char* text);
/** Moves the text cursor to row, column (both from 1; 0 keeps either). */
QZ_API void qz_locate(int row, int column);
/** The text cursor's row and column (from 1); either may be NULL. */
QZ_API void qz_get_cursor(int* row, int* column);
/** Sets the colours qz_print draws text and its cell background in. */
QZ_API void qz_set_text_colours(qz_colour foreground, qz_colour background);
/**
 * Confines qz_print's output and scrolling to rows top..bottom (from 1); 0, 0
 * gives the whole grid. Homes the cursor to the region's first row.
 */
QZ_API int qz_set_text_region(int top, int bottom);
/** Clears the text region's rows to the text background and homes the cursor. */
QZ_API void qz_clear_text(void);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_keys Keys
 * @{ */

/** Makes the key code of extended key e (function keys, cursor keys, Alt combinations). */
#define QZ_KEY_EXTENDED(e) ((e) * 256 + 255)

/**
 * Key codes, as qz_read_key returns them: 1..255 are characters (code page
 * 437: 'a', 'A', 13 for Enter, ...), others extended keys.
 */
enum qz_key {
  QZ_KEY_NONE = 0,
  QZ_KEY_BACKSPACE = 8,
  QZ_KEY_TAB = 9,
  QZ_KEY_ENTER = 13,
  QZ_KEY_ESCAPE = 27,
  QZ_KEY_SPACE = 32,
  QZ_KEY_SHIFT_TAB = QZ_KEY_EXTENDED(15),
  QZ_KEY_F1 = QZ_KEY_EXTENDED(59),
  QZ_KEY_F2 = QZ_KEY_EXTENDED(60),
  QZ_KEY_F3 = QZ_KEY_EXTENDED(61),
  QZ_KEY_F4 = QZ_KEY_EXTENDED(62),
  QZ_KEY_F5 = QZ_KEY_EXTENDED(63),
  QZ_KEY_F6 = QZ_KEY_EXTENDED(64),
  QZ_KEY_F7 = QZ_KEY_EXTENDED(65),
  QZ_KEY_F8 = QZ_KEY_EXTENDED(66),
  QZ_KEY_F9 = QZ_KEY_EXTENDED(67),
  QZ_KEY_F10 = QZ_KEY_EXTENDED(68),
  QZ_KEY_F11 = QZ_KEY_EXTENDED(133),
  QZ_KEY_F12 = QZ_KEY_EXTENDED(134),
  QZ_KEY_HOME = QZ_KEY_EXTENDED(71),
  QZ_KEY_UP = QZ_KEY_EXTENDED(72),
  QZ_KEY_PAGE_UP = QZ_KEY_EXTENDED(73),
  QZ_KEY_LEFT = QZ_KEY_EXTENDED(75),
  QZ_KEY_RIGHT = QZ_KEY_EXTENDED(77),
  QZ_KEY_END = QZ_KEY_EXTENDED(79),
  QZ_KEY_DOWN = QZ_KEY_EXTENDED(80),
  QZ_KEY_PAGE_DOWN = QZ_KEY_EXTENDED(81),
  QZ_KEY_INSERT = QZ_KEY_EXTENDED(82),
  QZ_KEY_DELETE = QZ_KEY_EXTENDED(83),
  QZ_KEY_CTRL_LEFT = QZ_KEY_EXTENDED(115),
  QZ_KEY_CTRL_RIGHT = QZ_KEY_EXTENDED(116),
  QZ_KEY_CTRL_END = QZ_KEY_EXTENDED(117),
  QZ_KEY_CTRL_PAGE_DOWN = QZ_KEY_EXTENDED(118),
  QZ_KEY_CTRL_HOME = QZ_KEY_EXTENDED(119),
  QZ_KEY_CTRL_PAGE_UP = QZ_KEY_EXTENDED(132),
  QZ_KEY_CTRL_UP = QZ_KEY_EXTENDED(141),
  QZ_KEY_CTRL_DOWN = QZ_KEY_EXTENDED(145),
  /** Not a key: the window's close box was pressed. */
  QZ_KEY_CLOSE = QZ_KEY_EXTENDED(107)
};

/** Scan codes for qz_key_down: the key's place on the keyboard, whatever the layout. */
enum qz_scan {
  QZ_SCAN_ESCAPE = 1,
  QZ_SCAN_1 = 2, QZ_SCAN_2 = 3, QZ_SCAN_3 = 4, QZ_SCAN_4 = 5, QZ_SCAN_5 = 6,
  QZ_SCAN_6 = 7, QZ_SCAN_7 = 8, QZ_SCAN_8 = 9, QZ_SCAN_9 = 10, QZ_SCAN_0 = 11,
  QZ_SCAN_BACKSPACE = 14,
  QZ_SCAN_TAB = 15,
  QZ_SCAN_Q = 16, QZ_SCAN_W = 17, QZ_SCAN_E = 18, QZ_SCAN_R = 19, QZ_SCAN_T = 20,
  QZ_SCAN_Y = 21, QZ_SCAN_U = 22, QZ_SCAN_I = 23, QZ_SCAN_O = 24, QZ_SCAN_P = 25,
  QZ_SCAN_ENTER = 28,
  QZ_SCAN_CTRL = 29,
  QZ_SCAN_A = 30, QZ_SCAN_S = 31, QZ_SCAN_D = 32, QZ_SCAN_F = 33, QZ_SCAN_G = 34,
  QZ_SCAN_H = 35, QZ_SCAN_J = 36, QZ_SCAN_K = 37, QZ_SCAN_L = 38,
  QZ_SCAN_LEFT_SHIFT = 42,
  QZ_SCAN_Z = 44, QZ_SCAN_X = 45, QZ_SCAN_C = 46, QZ_SCAN_V = 47, QZ_SCAN_B = 48,
  QZ_SCAN_N = 49, QZ_SCAN_M = 50,
  QZ_SCAN_RIGHT_SHIFT = 54,
  QZ_SCAN_ALT = 56,
  QZ_SCAN_SPACE = 57,
  QZ_SCAN_F1 = 59, QZ_SCAN_F2 = 60, QZ_SCAN_F3 = 61, QZ_SCAN_F4 = 62, QZ_SCAN_F5 = 63,
  QZ_SCAN_F6 = 64, QZ_SCAN_F7 = 65, QZ_SCAN_F8 = 66, QZ_SCAN_F9 = 67, QZ_SCAN_F10 = 68,
  QZ_SCAN_HOME = 71, QZ_SCAN_UP = 72, QZ_SCAN_PAGE_UP = 73, QZ_SCAN_LEFT = 75,
  QZ_SCAN_RIGHT = 77, QZ_SCAN_END = 79, QZ_SCAN_DOWN = 80, QZ_SCAN_PAGE_DOWN = 81,
  QZ_SCAN_INSERT = 82, QZ_SCAN_DELETE = 83,
  QZ_SCAN_F11 = 87, QZ_SCAN_F12 = 88
};

/**
 * Takes the oldest key code from the key queue (15 codes are kept, the
 * oldest dropped beyond that); 0 when none is waiting. Never waits.
 */
QZ_API int qz_read_key(void);
/** 1 while a key code is waiting, else 0. */
QZ_API int qz_key_pending(void);
/**
 * Waits for a key code and takes it. Returns 0 at once, with error 1, when
 * no key can come: no screen, or a screen without a window.
 */
QZ_API int qz_wait_key(void);
/** 1 while the key with that scan code (qz_scan) is held down, else 0. */
QZ_API int qz_key_down(int scan_code);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_mouse The mouse
 * @{ */

/** Mouse buttons, as bits of qz_mouse.buttons and qz_event.buttons. */
enum qz_button {
  QZ_BUTTON_LEFT = 0x01,
  QZ_BUTTON_RIGHT = 0x02,
  QZ_BUTTON_MIDDLE = 0x04,
  QZ_BUTTON_X1 = 0x08,
  QZ_BUTTON_X2 = 0x10
};

/** The mouse as qz_get_mouse reports it. */
typedef struct qz_mouse {
  int x;        /**< Horizontal position in screen pixels. */
  int y;        /**< Vertical position in screen pixels. */
  int wheel;    /**< Wheel position: notches turned away from you since the window opened. */
  int buttons;  /**< qz_button bits held down. */
  int confined; /**< 1 while the pointer is confined to the window. */
} qz_mouse;

/**
 * Reads the mouse; 1 (and *mouse unchanged) when there is no window or the
 * pointer is not over it.
 */
QZ_API int qz_get_mouse(qz_mouse* mouse);
/** Moves the pointer to (x, y) of the screen (clamped into it). */
QZ_API int qz_set_mouse(int x, int y);
/** Shows (1) or hides (0) the pointer over the window. */
QZ_API int qz_show_mouse(int visible);
/** Confines the pointer to the window (1) or frees it (0). */
QZ_API int qz_confine_mouse(int confined);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_events Events
 * @{ */

/** What happened, in qz_event.type. */
typedef enum qz_event_type {
  QZ_EVENT_NONE = 0,
  QZ_EVENT_KEY_DOWN = 1,       /**< scan_code, character */
  QZ_EVENT_KEY_UP = 2,         /**< scan_code, character */
  QZ_EVENT_KEY_REPEAT = 3,     /**< scan_code, character: a held key repeats */
  QZ_EVENT_MOUSE_MOVE = 4,     /**< x, y, dx, dy */
  QZ_EVENT_BUTTON_DOWN = 5,    /**< buttons: the button; x, y */
  QZ_EVENT_BUTTON_UP = 6,      /**< buttons: the button; x, y */
  QZ_EVENT_BUTTON_DOUBLE = 7,  /**< buttons: the button, pressed twice; x, y */
  QZ_EVENT_WHEEL = 8,          /**< wheel: the wheel's new position */
  QZ_EVENT_MOUSE_ENTER = 9,    /**< x, y: the pointer came over the window there */
  QZ_EVENT_MOUSE_LEAVE = 10,   /**< the pointer left the window */
  QZ_EVENT_FOCUS_GAINED = 11,  /**< the window got the keyboard */
  QZ_EVENT_FOCUS_LOST = 12,    /**< the window lost the keyboard */
  QZ_EVENT_CLOSE = 13,         /**< the close box was pressed (QZ_KEY_CLOSE is queued too) */
  QZ_EVENT_HWHEEL = 14,        /**< wheel: the horizontal wheel's new position */
  QZ_EVENT_DISPLAY_LOST = 15   /**< the window system went away: close the screen */
} qz_event_type;

/** One event; the fields its type names are set, the others are 0. */
typedef struct qz_event {
  qz_event_type type; /**< What happened. */
  int scan_code;  /**< Key events: the qz_scan code. */
  int character;  /**< Key events: the character the key gives (0 if none). */
  int x;          /**< Mouse movement, entry and buttons: the pointer's horizontal position. */
  int y;          /**< Mouse movement, entry and buttons: the pointer's vertical position. */
  int dx;         /**< Mouse movement: how far it moved right. */
  int dy;         /**< Mouse movement: how far it moved down. */
  int buttons;    /**< Button events: the qz_button bit. */
  int wheel;      /**< Wheel events: the wheel's position. */
} qz_event;

/**
 * Takes the oldest event of the window (127 are kept, the oldest dropped
 * beyond that) into *event: 1 when there was one, 0 (type QZ_EVENT_NONE)
 * when not. Never waits. Key codes go on arriving through qz_read_key too.
 */
QZ_API int qz_poll_event(qz_event* event);
/**
 * Waits up to timeout_ms milliseconds (negative: without limit) for an event
 * and takes it; 0 when none came, at once when there is no window.
 */
QZ_API int qz_wait_event(qz_event* event, int timeout_ms);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_opengl OpenGL
 * A screen opened with QZ_WINDOW_OPENGL is a window with an OpenGL context
 * (double-buffered RGBA, 8 bits a channel, depth and stencil buffers where
 * the system offers them) that the program draws into with GL itself. The
 * context is current on the thread that opened the screen; qz_flip swaps the
 * buffers. There is no presentation thread: the window's events (keys, the
 * mouse, the close box) are taken whenever the program flips, reads keys,
 * events or the mouse, or waits with qz_wait_vsync, so a drawing loop must
 * do one of these every frame. The library's drawing functions draw into the
 * framebuffer, which an OpenGL screen does not show. The GL library is
 * loaded when the first such screen opens; the program needs no GL library
 * at link time, but it may link one for its GL calls.
 * @{ */

/** A GL function as qz_gl_proc_address returns it: cast it to its own type. */
typedef void (*qz_gl_function)(void);

/**
 * The GL function `name` (such as "glGenBuffers") of the OpenGL screen's
 * context, for GL beyond version 1.1. NULL with error 1 without an OpenGL
 * screen. A non-NULL result does not promise that the context has the
 * function: check qz_gl_version or GL's extension list first.
 */
QZ_API qz_gl_function qz_gl_proc_address(const char* name);
/** The context's GL_VERSION string (like "4.5 (Compatibility Profile) Mesa 22.3.6"); "" with error 1 without an OpenGL screen. */
QZ_API const char* qz_gl_version(void);
/** The context's GL_RENDERER string (like "llvmpipe (LLVM 15.0.6, 256 bits)"); "" with error 1 without an OpenGL screen. */
QZ_API const char* qz_gl_renderer(void);

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup qz_timing Timing
 * @{ */

/**
 * Waits for about one display frame (the display's vertical blank where the
 * back end knows it, else 1000 / refresh rate ms, 16 ms when unknown). Paces
 * without a window too. Error 1 without a screen.
 */
QZ_API void qz_wait_vsync(void);
/** Sleeps for `milliseconds`. */
QZ_API void qz_sleep(int milliseconds);
/** Seconds since an arbitrary fixed moment, from a steady clock. */
QZ_API double qz_time(void);

/** @} */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QZGFX_QZGFX_H */
