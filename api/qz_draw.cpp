// The public drawing, clipping and text functions: each maps its arguments
// onto one internal operation. Colours are pixel values at depths 8 and 16,
// so for 16-bit targets they are widened to the 0xRRGGBB form that the
// operations narrow again.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include <qzgfx/qzgfx.h>

#include "gfx/raster_screen.h"
#include "gfx/circle.h"
#include "gfx/context.h"
#include "gfx/line.h"
#include "gfx/paint.h"
#include "gfx/public_image.h"
#include "gfx/screen_lock.h"
#include "gfx/text.h"
#include "gfx/text_output.h"
#include "gfx/view.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"

namespace {

using qz::image_ref;

int target_bytes_per_pixel(const qz_image* target) {
  if (target) return target->bytes_per_pixel;
  const qz::RasterScreen* mode = qz::current_screen();
  return mode ? mode->bytes_per_pixel : 4;
}

// The inverse of the operations' RGB to RGB565 narrowing.
qz_colour colour_for(const qz_image* target, qz_colour c) {
  if (target_bytes_per_pixel(target) != 2) return c;
  return (c & 0xF800u) << 8 | (c & 0x07E0u) << 5 | (c & 0x001Fu) << 3;
}

// Coordinate kinds of the operations (flags bits 0-2).
constexpr std::int32_t kOnePointAbsolute = 4, kOnePointFromLast = 5;

// A C caller may pass any int where an enumeration is declared: its bits are
// read, never its value as the enumeration (which would be undefined).
template <typename Enum>
int raw_value(Enum e) {
  static_assert(sizeof(Enum) == sizeof(int));
  int v;
  std::memcpy(&v, &e, sizeof v);
  return v;
}

constexpr int kUnknown = -1;

int two_point_kind(qz_coords coords) {
  const int kind = raw_value(coords);
  return kind >= QZ_ABSOLUTE && kind <= QZ_FROM_LAST_SIZE ? kind : kUnknown;
}

int one_point_kind(qz_coords coords) {
  switch (raw_value(coords)) {
    case QZ_ABSOLUTE: case QZ_SIZE: return kOnePointAbsolute;
    case QZ_FROM_LAST: case QZ_FROM_LAST_SIZE: return kOnePointFromLast;
    default: return kUnknown;
  }
}

constexpr float kTwoPi = 6.28318530717958647692f;

// gfx_circle splits max(rx, ry) by the aspect in floats, and its integer walk
// truncates the radii's squares: a radius an ulp short of 1 draws no rows
// above the middle one. So the aspect is nudged by an ulp or two to give back
// rx and ry exactly, or else not below them.
float ellipse_aspect(float rx, float ry) {
  if (ry == 0.0f) return FLT_MIN;  // flat: one row
  if (rx == 0.0f) return FLT_MAX;
  const float radius = std::max(rx, ry), a = ry / rx;
  float fallback = a;
  bool have_fallback = false;
  float down = a, up = a;
  for (int i = 0; i < 3; ++i) {
    for (float v : {down, up}) {
      const float x = v > 1.0f ? radius / v : radius, y = v > 1.0f ? radius : radius * v;
      if (x == rx && y == ry) return v;
      if (!have_fallback && x >= rx && y >= ry) {
        fallback = v;
        have_fallback = true;
      }
    }
    down = std::nextafter(down, 0.0f);
    up = std::nextafter(up, FLT_MAX);
  }
  return fallback;
}

// A pie's radius lines come from negative angles; angle 0 has no negative, so
// it becomes the smallest one, whose point is the same.
float pie_angle(float a) {
  const float negative = -std::fabs(a);
  return negative == 0.0f ? -FLT_MIN : negative;
}

}  // namespace

void qz_clear(qz_image* target, qz_colour colour) {
  auto [ctx, c] = qz::begin_primitive(image_ref(target), colour_for(target, colour), 0);
  if (!ctx) return;
  // The whole target whatever the view: the screen's page, or the image.
  const int width = target ? target->width : qz::current_screen()->width;
  const int height = target ? target->height : qz::current_screen()->height;
  qz::target_lock(*ctx);
  // Rows lie end to end in both: one run unless it is too long to count.
  if (std::int64_t(width) * height <= INT32_MAX)
    ctx->routines->span_solid(ctx->rows[0], c, width * height);
  else
    for (int y = 0; y < height; ++y) ctx->routines->span_solid(ctx->rows[std::size_t(y)], c, width);
  qz::mark_dirty_rows(*ctx, 0, height - 1);
  qz::target_unlock(*ctx);
}

void qz_put_pixel(qz_image* target, int x, int y, qz_colour colour) {
  auto [ctx, c] = qz::begin_primitive(image_ref(target), colour_for(target, colour), 0);
  if (!ctx) return;
  float fx = float(x), fy = float(y);
  qz::gfx_apply_relative(*ctx, kOnePointAbsolute, fx, fy, nullptr, nullptr);
  const qz::PixelPoint p = qz::gfx_to_pixel(*ctx, fx, fy);
  if (p.x < ctx->x0() || p.x > ctx->x1() || p.y < ctx->y0() || p.y > ctx->y1()) return;
  qz::target_lock(*ctx);
  ctx->put_pixel(*ctx, int(p.x), int(p.y), c);
  qz::mark_dirty_rows(*ctx, p.y, p.y);
  qz::target_unlock(*ctx);
}

qz_colour qz_get_pixel(const qz_image* target, int x, int y) {
  const qz::RasterScreen* mode = target ? nullptr : qz::current_screen();
  if (!target && !mode) return 0;
  qz::GfxContext& ctx = target ? qz::image_context() : qz::gfx_context();
  if (!qz::gfx_set_target(ctx, image_ref(target))) return 0;
  // Read where qz_put_pixel writes; anywhere in the target, the view only clips drawing.
  const qz::PixelPoint p = qz::gfx_to_pixel(ctx, float(x), float(y));
  const int width = target ? target->width : mode->width, height = target ? target->height : mode->height;
  if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) return 0;
  return ctx.routines->read_pixel(ctx, int(p.x), int(p.y));
}

void qz_line(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour) {
  qz::gfx_line(image_ref(target), x1, y1, x2, y2, colour_for(target, colour), qz::kLine, QZ_SOLID, 0);
}

void qz_line_to(qz_image* target, float x, float y, qz_colour colour) {
  // Kind 2: the first point is an offset from the last point, here none.
  qz::gfx_line(image_ref(target), 0.0f, 0.0f, x, y, colour_for(target, colour), qz::kLine, QZ_SOLID, 2);
}

void qz_move_to(float x, float y) {
  qz::GfxContext& ctx = qz::gfx_context();
  ctx.last_x = x;
  ctx.last_y = y;
}

void qz_box(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour) {
  qz::gfx_line(image_ref(target), x1, y1, x2, y2, colour_for(target, colour), qz::kBoxOutline, QZ_SOLID, 0);
}

void qz_box_filled(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour) {
  qz::gfx_line(image_ref(target), x1, y1, x2, y2, colour_for(target, colour), qz::kBoxFilled, QZ_SOLID, 0);
}

void qz_circle(qz_image* target, float x, float y, float radius, qz_colour colour) {
  qz::gfx_circle(image_ref(target), x, y, radius, colour_for(target, colour), 1.0f, 0.0f, qz::kFullTurn, 0,
                 kOnePointAbsolute);
}

void qz_circle_filled(qz_image* target, float x, float y, float radius, qz_colour colour) {
  qz::gfx_circle(image_ref(target), x, y, radius, colour_for(target, colour), 1.0f, 0.0f, qz::kFullTurn, 1,
                 kOnePointAbsolute);
}

void qz_ellipse(qz_image* target, float x, float y, float radius_x, float radius_y, qz_colour colour,
                int filled) {
  if (!(radius_x >= 0.0f) || !(radius_y >= 0.0f)) return;
  qz::gfx_circle(image_ref(target), x, y, std::max(radius_x, radius_y), colour_for(target, colour),
                 ellipse_aspect(radius_x, radius_y), 0.0f, qz::kFullTurn, filled != 0, kOnePointAbsolute);
}

void qz_arc(qz_image* target, float x, float y, float radius, float start, float end, qz_colour colour) {
  qz::gfx_circle(image_ref(target), x, y, radius, colour_for(target, colour), 1.0f, start, end, 0,
                 kOnePointAbsolute);
}

void qz_pie(qz_image* target, float x, float y, float radius, float start, float end, qz_colour colour) {
  qz::gfx_circle(image_ref(target), x, y, radius, colour_for(target, colour), 1.0f, pie_angle(start),
                 pie_angle(end), 0, kOnePointAbsolute);
}

void qz_flood_fill(qz_image* target, float x, float y, qz_colour fill, qz_colour border) {
  qz::gfx_paint(image_ref(target), x, y, colour_for(target, fill), colour_for(target, border), std::string(),
                qz::kPaintSolid, kOnePointAbsolute);
}

void qz_flood_fill_pattern(qz_image* target, float x, float y, const qz_colour tile[64], qz_colour border) {
  if (!tile) return;
  // The operation takes the tile in the target's own pixels: the low bytes
  // of each colour (stored little-endian, as the pixels are).
  const int bpp = target_bytes_per_pixel(target);
  std::string pixels(std::size_t(64 * bpp), '\0');
  for (int i = 0; i < 64; ++i) std::memcpy(pixels.data() + i * bpp, &tile[i], std::size_t(bpp));
  qz::gfx_paint(image_ref(target), x, y, colour_for(target, tile[0]), colour_for(target, border),
                std::move(pixels), qz::kPaintPattern, kOnePointAbsolute);
}

void qz_line_ex(qz_image* target, float x1, float y1, float x2, float y2, qz_colour colour, qz_shape shape,
                unsigned style, qz_coords coords) {
  const int raw_shape = raw_value(shape), kind = two_point_kind(coords);
  if (raw_shape < QZ_SHAPE_LINE || raw_shape > QZ_SHAPE_BOX_FILLED || kind == kUnknown) return;
  const std::int32_t drawn = raw_shape == QZ_SHAPE_BOX          ? qz::kBoxOutline
                             : raw_shape == QZ_SHAPE_BOX_FILLED ? qz::kBoxFilled
                                                                : qz::kLine;
  qz::gfx_line(image_ref(target), x1, y1, x2, y2, colour_for(target, colour), drawn, style & 0xFFFFu, kind);
}

void qz_circle_ex(qz_image* target, float x, float y, float radius, qz_colour colour, float aspect, float start,
                  float end, int filled, qz_coords coords) {
  const int kind = one_point_kind(coords);
  if (kind == kUnknown) return;
  // A whole turn, or none at all, is the whole ellipse: its disc when
  // filled, never an arc (which has no inside).
  if ((start == 0.0f && end == 0.0f) || (start >= 0.0f && end >= 0.0f && std::fabs(end - start) >= kTwoPi)) {
    start = 0.0f;
    end = qz::kFullTurn;
  }
  qz::gfx_circle(image_ref(target), x, y, radius, colour_for(target, colour), aspect, start, end, filled != 0,
                 kind);
}

void qz_set_clip(int x1, int y1, int x2, int y2, int relative) { qz::gfx_set_view(x1, y1, x2, y2, relative == 0); }
void qz_reset_clip(void) { qz::gfx_reset_view(); }
void qz_set_coordinates(float x1, float y1, float x2, float y2, int y_down) {
  qz::gfx_set_window(x1, y1, x2, y2, y_down != 0);
}
void qz_reset_coordinates(void) { qz::gfx_reset_window(); }

void qz_text(qz_image* target, float x, float y, const char* text, qz_colour colour) {
  qz::set_last_error(qz::gfx_draw_string(image_ref(target), x, y, kOnePointAbsolute,
                                         text ? std::string_view(text) : std::string_view(),
                                         colour_for(target, colour), nullptr, 0, nullptr, nullptr, nullptr));
}

int qz_text_ex(qz_image* target, float x, float y, const char* text, size_t length, qz_colour colour,
               const qz_image* font, qz_coords coords) {
  const int kind = one_point_kind(coords);
  if (!text || kind == kUnknown) {
    qz::fail_with(text ? "qz_text_ex: coords is not a qz_coords value" : "qz_text_ex: text is NULL");
    return 1;
  }
  if (qz::gfx_draw_string(image_ref(target), x, y, kind, std::string_view(text, length), colour_for(target, colour),
                          image_ref(font), 0, nullptr, nullptr, nullptr) == 0) {
    qz::set_last_error(0);
    return 0;
  }
  qz::fail_with(font ? "qz_text_ex: the font image breaks the image font rules"
                     : "qz_text_ex: the screen has no built-in font");
  return 1;
}

int qz_set_text_grid(int columns, int rows) {
  const qz::RasterScreen* mode = qz::current_screen();
  if (!mode) {
    qz::fail_with("qz_set_text_grid: no screen is open");
    return 0;
  }
  qz::gfx_set_text_grid(columns, rows);
  if ((columns > 0 && mode->text_columns != columns) || (rows > 0 && mode->text_rows != rows))
    qz::fail_with("qz_set_text_grid: no built-in font fits cells of that size");
  else
    qz::set_last_error(0);
  return int(std::uint32_t(mode->text_columns) | std::uint32_t(mode->text_rows) << 16);
}

void qz_print(const char* text) {
  if (text) qz::text_print(text);
}

void qz_locate(int row, int column) { qz::text_locate(row, column); }

void qz_get_cursor(int* row, int* column) {
  const qz::RasterScreen* mode = qz::current_screen();
  if (row) *row = mode ? mode->text_output.row : 0;
  if (column) *column = mode ? mode->text_output.column : 0;
}

void qz_set_text_colours(qz_colour foreground, qz_colour background) {
  qz::text_set_colours(foreground, background);
}

int qz_set_text_region(int top, int bottom) {
  if (!qz::text_set_region(top, bottom)) {
    qz::fail_with("qz_set_text_region: not rows of the text grid");
    return 1;
  }
  qz::set_last_error(0);
  return 0;
}

void qz_clear_text(void) { qz::text_clear_region(); }
