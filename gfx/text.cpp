#include "gfx/text.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "gfx/raster_screen.h"
#include "gfx/builtin_data.h"
#include "gfx/context.h"
#include "gfx/raster_settings.h"
#include "gfx/screen_lock.h"
#include "gfx/text_output.h"

namespace qz {

namespace {

using i64 = std::int64_t;

const FontRecord* font_for_cell(int width, int height) {
  if (width != 8) return nullptr;
  switch (height) {
    case 8: return &builtin_font(0);
    case 14: return &builtin_font(1);
    case 16: return &builtin_font(2);
    default: return nullptr;
  }
}

// Visible rows [first, last] of a glyph band of height h at row py.
struct RowRange {
  i64 first, last;
};
RowRange visible_rows(const GfxContext& ctx, i64 py, int h) {
  return {std::max<i64>(py, ctx.y0()), std::min<i64>(py + h - 1, ctx.y1())};
}

void draw_builtin(GfxContext& ctx, const FontRecord& font, i64 px, i64 py, std::string_view text,
                  std::uint32_t colour) {
  int w = int(font.cell_width), h = int(font.cell_height), bpr = (w + 7) / 8;
  i64 n = i64(text.size());
  if (px + n * w <= ctx.x0() || px >= ctx.x1() + 1 || py + h <= ctx.y0() || py >= ctx.y1() + 1) return;
  RowRange rows = visible_rows(ctx, py, h);
  i64 index = 0;
  if (px < ctx.x0()) {  // whole characters left of the view are skipped arithmetically
    index = (ctx.x0() - px) / w;
    px += index * w;
  }
  for (; index < n && px <= ctx.x1(); ++index, px += w) {
    const std::uint8_t* glyph = font.glyphs + std::size_t(std::uint8_t(text[std::size_t(index)])) * h * bpr;
    i64 c_from = std::max<i64>(0, ctx.x0() - px), c_to = std::min<i64>(w - 1, ctx.x1() - px);
    for (i64 y = rows.first; y <= rows.last; ++y) {
      const std::uint8_t* bits = glyph + (y - py) * bpr;
      for (i64 c = c_from; c <= c_to; ++c)
        if (bits[c >> 3] & (1u << (c & 7))) ctx.put_pixel(ctx, int(px + c), int(y), colour);
    }
  }
  mark_dirty_rows(ctx, rows.first, rows.last);
}

struct ImageFont {
  ImageInfo image;
  int first, last;
  const std::uint8_t* widths;
};

// Checks an image font against the target; null when it breaks a rule.
std::optional<ImageFont> open_image_font(const ImageRef& font, const GfxContext& ctx) {
  auto info = read_image_header(font, ctx.target_bytes_per_pixel);
  if (!info || info->bytes_per_pixel != ctx.target_bytes_per_pixel || info->height < 2) return std::nullopt;
  int row_bytes = info->width * info->bytes_per_pixel;
  if (row_bytes < 4) return std::nullopt;
  const std::uint8_t* header = info->pixels;
  if (header[0] != 0) return std::nullopt;
  int first = header[1], last = header[2];
  if (last < first) std::swap(first, last);
  if (3 + (last - first + 1) > row_bytes) return std::nullopt;
  int total = 0;
  for (int i = 0; i <= last - first; ++i) total += header[3 + i];
  if (total > info->width) return std::nullopt;
  return ImageFont{*info, first, last, header + 3};
}

void draw_image_font(GfxContext& ctx, const ImageFont& font, i64 px, i64 py, std::string_view text,
                     std::uint32_t colour, GlyphPutFn put, GlyphBlendFn blend, void* blend_param) {
  int gh = font.image.height - 1, bpp = font.image.bytes_per_pixel;
  RowRange rows = visible_rows(ctx, py, gh);
  if (rows.first > rows.last) return;
  // Glyph origins: glyphs lie side by side from the left, below the header row.
  int origin[256] = {};
  for (int ch = font.first, x = 0; ch <= font.last; ++ch) {
    origin[ch] = x;
    x += font.widths[ch - font.first];
  }
  for (unsigned char ch : text) {
    if (ch < font.first || ch > font.last) continue;
    int cw = font.widths[ch - font.first];
    i64 from = std::max<i64>(px, ctx.x0()), to = std::min<i64>(px + cw - 1, ctx.x1());
    if (from <= to) {
      const std::uint8_t* src = font.image.pixels + (1 + rows.first - py) * i64(font.image.pitch) +
                                (origin[ch] + from - px) * bpp;
      std::uint8_t* dest = ctx.pixel_address(int(from), int(rows.first));
      int width = int(to - from + 1), height = int(rows.last - rows.first + 1);
      if (put) {
        put(src, dest, width, height, font.image.pitch, ctx.target_pitch, colour, blend, blend_param);
      } else {  // no routine given: the glyph's pixels as they are
        for (int r = 0; r < height; ++r)
          ctx.routines->copy_pixels(dest + i64(r) * ctx.target_pitch, src + i64(r) * font.image.pitch, width);
      }
    }
    px += cw;
    if (px > ctx.x1()) break;
  }
  mark_dirty_rows(ctx, rows.first, rows.last);
}

}  // namespace

void gfx_reset_text_cells(GfxContext& ctx, bool create) {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  mode->text_cells.clear();
  if (!create) return;
  std::size_t cells = std::size_t(std::max(mode->text_columns, 0)) * std::size_t(std::max(mode->text_rows, 0));
  mode->text_cells.assign(std::size_t(mode->page_count), std::vector<TextCell>(cells));
  auto& page = mode->text_cells[std::size_t(ctx.work_page)];
  std::fill(page.begin(), page.end(), TextCell{32, ctx.foreground, ctx.background});
}

void gfx_clear_screen(std::int32_t area) {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  GfxContext& ctx = gfx_context();
  gfx_set_target(ctx, nullptr);
  gfx_select_colour_routines(ctx, ctx.background);
  screen_lock();
  int first_row = 0, last_row = mode->height - 1;
  if (area == 0) {
    ctx.fill_span(ctx.rows[0], ctx.background, mode->width * mode->height);
  } else {
    if (area == 1) {
      first_row = ctx.y0();
      last_row = ctx.y1();
    } else {
      PixelRows region = text_region_pixel_rows(*mode);
      first_row = region.first;
      last_row = region.last;
    }
    int x = area == 1 ? ctx.x0() : 0, count = area == 1 ? ctx.view_width : mode->width;
    for (int y = first_row; y <= last_row; ++y) ctx.fill_span(ctx.pixel_address(x, y), ctx.background, count);
  }
  mark_dirty_rows(ctx, first_row, last_row);
  ctx.last_x = static_cast<float>(ctx.view_x + ctx.view_width / 2);
  ctx.last_y = static_cast<float>(ctx.view_y + ctx.view_height / 2);
  if (std::size_t(ctx.work_page) < mode->text_cells.size()) {
    auto& page = mode->text_cells[std::size_t(ctx.work_page)];
    std::size_t from = 0, to = page.size();
    if (area != 0 && area != 1) {  // the text region's rows: their cells alone
      const bool any = first_row <= last_row;
      to = any ? std::min(page.size(), std::size_t(mode->text_output.bottom) * std::size_t(mode->text_columns)) : 0;
      from = std::min(to, std::size_t(mode->text_output.top - 1) * std::size_t(mode->text_columns));
    }
    std::fill(page.begin() + std::ptrdiff_t(from), page.begin() + std::ptrdiff_t(to),
              TextCell{32, ctx.foreground, ctx.background});
  }
  // Clearing the page or the text region starts printing at its top again.
  if (area != 1) text_output_home(*mode);
  screen_unlock(1, 0);
}

std::int32_t gfx_set_text_grid(std::int32_t columns, std::int32_t rows) {
  RasterScreen* mode = current_screen();
  if (!mode) return 0;
  std::int32_t old = std::int32_t(std::uint32_t(mode->text_columns) | (std::uint32_t(mode->text_rows) << 16));
  const FontRecord* font = mode->default_font;
  int w, h;
  if (columns > 0) {
    w = mode->width / columns;
  } else {
    if (rows <= 0) return old;
    columns = mode->text_columns;
    w = font ? int(font->cell_width) : 0;
  }
  if (rows > 0) {
    h = mode->height / rows;
  } else {
    rows = mode->text_rows;
    h = font ? int(font->cell_height) : 0;
  }
  if (const FontRecord* chosen = font_for_cell(w, h)) {
    mode->default_font = chosen;
    publish_raster_font(chosen);
    mode->text_columns = columns;
    mode->text_rows = rows;
    // Printing gets the whole new grid, from its top-left cell.
    text_output_reset_region(*mode);
    GfxContext& ctx = gfx_context();
    gfx_reset_text_cells(ctx, true);
    gfx_set_target(ctx, nullptr);
    ctx.view_x = ctx.view_y = 0;
    ctx.view_width = mode->width;
    ctx.view_height = mode->height;
    ctx.context_flags &= ~std::uint32_t(kContextViewSet);
    gfx_clear_screen(0);
  }
  return 0;
}

std::int32_t gfx_draw_string(const ImageRef* target, float x, float y, std::int32_t flags,
                             std::string_view text, std::uint32_t colour,
                             const ImageRef* font, std::int32_t mode, GlyphPutFn put,
                             GlyphBlendFn blend, void* blend_param) {
  if (!text.data()) return 1;
  if (text.empty()) return 0;
  // Glyphs of a pixel or more past this many lie beyond any coordinate, and
  // counting them could overflow.
  constexpr std::size_t kMaxGlyphs = std::size_t{1} << 30;
  if (text.size() > kMaxGlyphs) text = text.substr(0, kMaxGlyphs);
  RasterScreen* screen = target ? nullptr : current_screen();
  if (!target && !screen) return 0;
  GfxContext& ctx = target ? image_context() : gfx_context();
  if (!gfx_set_target(ctx, target)) return 1;
  std::uint32_t c = mode == 6 ? ((std::uint32_t(flags) & kUseForeground) ? ctx.foreground : colour)
                              : effective_colour(ctx, colour, flags);
  gfx_select_colour_routines(ctx, c);
  gfx_apply_relative(ctx, flags & 7, x, y, nullptr, nullptr);
  PixelPoint p = gfx_to_pixel(ctx, x, y);
  target_lock(ctx);
  int result = 0;
  if (!font) {
    // An image gets the font the screen's text grid has (as published), or
    // the 8 x 8 font without a screen.
    if (const FontRecord* builtin = screen ? screen->default_font : &raster_font())
      draw_builtin(ctx, *builtin, p.x, p.y, text, c);
    else
      result = 1;
  } else if (auto image_font = open_image_font(*font, ctx)) {
    draw_image_font(ctx, *image_font, p.x, p.y, text, c, put, blend, blend_param);
  } else {
    result = 1;
  }
  target_unlock(ctx);
  return result;
}

}  // namespace qz
