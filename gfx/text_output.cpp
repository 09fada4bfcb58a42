#include "gfx/text_output.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "gfx/raster_screen.h"
#include "gfx/builtin_data.h"
#include "gfx/context.h"
#include "gfx/screen_lock.h"

namespace qz {

namespace {

std::uint32_t pixel_value(const RasterScreen& mode, std::uint32_t colour) {
  if (mode.bytes_per_pixel == 1) return colour & 0xFFu;
  if (mode.bytes_per_pixel == 2) return colour & 0xFFFFu;
  return colour;
}

int cell_height(const RasterScreen& mode) { return mode.default_font ? int(mode.default_font->cell_height) : 8; }

// A grid change or a new page count may leave a region that no longer fits.
bool region_valid(const RasterScreen& mode) {
  const TextOutput& out = mode.text_output;
  return out.top >= 1 && out.top <= out.bottom && out.bottom <= mode.text_rows && mode.text_columns > 0;
}

// One print, clear or scroll on the work page under the screen lock, which it
// takes and leaves; rows it changes are marked when it ends.
class TextWriter {
 public:
  explicit TextWriter(RasterScreen& mode)
      : mode_(mode), out_(mode.text_output), ctx_(gfx_context()), font_(mode.default_font),
        ch_(cell_height(mode)), cw_(font_ ? int(font_->cell_width) : 8) {
    gfx_set_target(ctx_, nullptr);
    if (std::size_t(ctx_.work_page) < mode.text_cells.size()) {
      auto& page = mode.text_cells[std::size_t(ctx_.work_page)];
      if (page.size() >= std::size_t(mode.text_columns) * std::size_t(mode.text_rows)) cells_ = &page;
    }
    screen_lock();
  }
  ~TextWriter() {
    if (first_ <= last_)
      screen_unlock(first_, last_);
    else
      screen_unlock(1, 0);
  }
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void put(std::uint8_t c) {
    draw_cell(out_.row, out_.column, c);
    if (++out_.column > mode_.text_columns) new_line();
  }

  void new_line() {
    out_.column = 1;
    if (++out_.row <= out_.bottom) return;
    out_.row = out_.bottom;
    scroll();
  }

  // Text rows from..to (from 1) to spaces in the text background.
  void blank_rows(int from, int to) {
    fill_pixel_rows((from - 1) * ch_, to * ch_ - 1);
    if (!cells_) return;
    auto begin = cells_->begin() + std::ptrdiff_t(from - 1) * mode_.text_columns;
    std::fill(begin, begin + std::ptrdiff_t(to - from + 1) * mode_.text_columns,
              TextCell{32, out_.foreground, out_.background});
  }

 private:
  void mark(int first, int last) {
    first_ = std::min(first_, first);
    last_ = std::max(last_, last);
  }

  void fill_pixel_rows(int first, int last) {
    last = std::min(last, mode_.height - 1);
    for (int y = first; y <= last; ++y)
      ctx_.routines->span_solid(ctx_.rows[std::size_t(y)], out_.background, mode_.width);
    if (first <= last) mark(first, last);
  }

  void draw_cell(int row, int column, std::uint8_t c) {
    if (cells_) {
      const std::size_t index = std::size_t(row - 1) * std::size_t(mode_.text_columns) + std::size_t(column - 1);
      (*cells_)[index] = TextCell{c, out_.foreground, out_.background};
    }
    const int x0 = (column - 1) * cw_, y0 = (row - 1) * ch_;
    if (!font_ || x0 + cw_ > mode_.width || y0 + ch_ > mode_.height) return;
    const int bytes_per_row = (cw_ + 7) / 8;
    const std::uint8_t* glyph = font_->glyphs + std::size_t(c) * std::size_t(ch_ * bytes_per_row);
    for (int y = 0; y < ch_; ++y) {
      ctx_.routines->span_solid(ctx_.pixel_address(x0, y0 + y), out_.background, cw_);
      const std::uint8_t* bits = glyph + y * bytes_per_row;
      for (int x = 0; x < cw_; ++x)
        if (bits[x >> 3] & (1u << (x & 7))) ctx_.routines->put_solid(ctx_, x0 + x, y0 + y, out_.foreground);
    }
    mark(y0, y0 + ch_ - 1);
  }

  // The region's rows below its first move up one text row: pixels and cells.
  void scroll() {
    const int top_px = (out_.top - 1) * ch_;
    const int bottom_px = std::min(out_.bottom * ch_, mode_.height) - 1;
    if (bottom_px - top_px + 1 > ch_) {
      // Page rows lie end to end: the region is one block.
      std::memmove(ctx_.rows[std::size_t(top_px)], ctx_.rows[std::size_t(top_px + ch_)],
                   std::size_t(bottom_px - top_px + 1 - ch_) * std::size_t(mode_.pitch));
      mark(top_px, bottom_px);
    }
    if (cells_ && out_.bottom > out_.top) {
      auto first = cells_->begin() + std::ptrdiff_t(out_.top - 1) * mode_.text_columns;
      std::copy(first + mode_.text_columns, first + std::ptrdiff_t(out_.bottom - out_.top + 1) * mode_.text_columns,
                first);
    }
    blank_rows(out_.bottom, out_.bottom);
  }

  RasterScreen& mode_;
  TextOutput& out_;
  GfxContext& ctx_;
  const FontRecord* font_;
  int ch_, cw_;
  std::vector<TextCell>* cells_ = nullptr;
  int first_ = INT_MAX, last_ = -1;
};

}  // namespace

void text_output_home(RasterScreen& mode) {
  mode.text_output.row = std::max(mode.text_output.top, 1);
  mode.text_output.column = 1;
}

void text_output_reset_region(RasterScreen& mode) {
  mode.text_output.top = 1;
  mode.text_output.bottom = mode.text_rows;
  text_output_home(mode);
}

void text_output_reset(RasterScreen& mode) {
  const GfxContext& ctx = gfx_context();
  mode.text_output.foreground = ctx.foreground;
  mode.text_output.background = ctx.background;
  text_output_reset_region(mode);
}

PixelRows text_region_pixel_rows(const RasterScreen& mode) {
  if (!region_valid(mode)) return {0, -1};
  const int ch = cell_height(mode);
  return {(mode.text_output.top - 1) * ch, std::min(mode.text_output.bottom * ch, mode.height) - 1};
}

void text_print(std::string_view text) {
  RasterScreen* mode = current_screen();
  if (!mode || text.empty()) return;
  if (!region_valid(*mode)) text_output_reset_region(*mode);
  if (!region_valid(*mode)) return;
  TextOutput& out = mode->text_output;
  out.row = std::clamp(out.row, out.top, out.bottom);
  out.column = std::clamp(out.column, 1, mode->text_columns);
  TextWriter writer(*mode);
  for (char byte : text) {
    switch (byte) {
      case '\n': writer.new_line(); break;
      case '\r': out.column = 1; break;
      case '\t': {
        const int next = ((out.column - 1) / 8 + 1) * 8 + 1;
        if (next > mode->text_columns)
          writer.new_line();
        else
          out.column = next;
        break;
      }
      default: writer.put(std::uint8_t(byte));
    }
  }
}

void text_locate(int row, int column) {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  if (!region_valid(*mode)) text_output_reset_region(*mode);
  TextOutput& out = mode->text_output;
  if (row > 0) out.row = row;
  if (column > 0) out.column = column;
  out.row = std::clamp(out.row, out.top, std::max(out.bottom, out.top));
  out.column = std::clamp(out.column, 1, std::max(mode->text_columns, 1));
}

bool text_set_region(int top, int bottom) {
  RasterScreen* mode = current_screen();
  if (!mode) return false;
  if (top == 0 && bottom == 0) {
    top = 1;
    bottom = mode->text_rows;
  }
  if (top < 1 || top > bottom || bottom > mode->text_rows) return false;
  mode->text_output.top = top;
  mode->text_output.bottom = bottom;
  text_output_home(*mode);
  return true;
}

void text_set_colours(std::uint32_t foreground, std::uint32_t background) {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  mode->text_output.foreground = pixel_value(*mode, foreground);
  mode->text_output.background = pixel_value(*mode, background);
}

void text_clear_region() {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  if (!region_valid(*mode)) text_output_reset_region(*mode);
  if (region_valid(*mode)) {
    TextWriter writer(*mode);
    writer.blank_rows(mode->text_output.top, mode->text_output.bottom);
  }
  text_output_home(*mode);
}

}  // namespace qz
