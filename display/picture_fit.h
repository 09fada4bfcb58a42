#pragma once

// Where the picture sits in a window of another size, and how its rows
// reach the window's: the largest rectangle of the picture's aspect that
// fits, centred, black bars around it, pixels repeated (nearest neighbour),
// so that at a whole factor n every picture pixel is exactly n x n window
// pixels. Window back ends that show the picture scaled share this.

#include <cstdint>
#include <vector>

namespace qz {

struct PictureRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PictureRect&) const = default;
};

// The picture of `width` x `height` fitted into a window of `window_width`
// x `window_height`; empty when either has no area.
PictureRect fit_picture(int width, int height, int window_width, int window_height);

// The window size for a picture of `width` x `height` at `scale` (1..8), or
// with scale 0 (auto) the largest whole multiple that fits in `area_width`
// x `area_height`, or where not even 1 x fits, the largest size of the
// picture's aspect that does.
struct WindowSize {
  int width = 0, height = 0;
};
WindowSize scaled_window_size(int width, int height, int scale, int area_width, int area_height);

// The whole factor of a display's resolution: 1 at 96 dots per inch (and
// for anything unknown or below 192), 2 from 192, and so on.
int dpi_factor(double dots_per_inch);

// The window size on a display of `dpi` factor: `scale` logical pixels a
// picture pixel, a logical pixel being `dpi` device pixels as far as the
// window still fits the area (a HiDPI monitor shows the window at the size
// a usual one would). Auto is the largest whole multiple that fits,
// whatever the DPI.
WindowSize window_size_at_dpi(int width, int height, int scale, int dpi, int area_width, int area_height);

// QZGFX_SCALE's text: "1".."8" give the factor, "auto" 0; no text
// kScaleUnset (the program's own choice stands), any other text
// kScaleRefused (the window opens unscaled, and the error says why).
constexpr int kScaleUnset = -1;
constexpr int kScaleRefused = -2;
int parse_window_scale(const char* text);

// A window position in picture pixels: inside the picture rectangle it is
// the picture pixel shown there, over a bar the nearest edge pixel.
struct PicturePoint {
  int x = 0, y = 0;
};
PicturePoint window_to_picture(const PictureRect& rect, int width, int height, int window_x, int window_y);

// The window position showing picture pixel (x, y): the middle of its block.
PicturePoint picture_to_window(const PictureRect& rect, int width, int height, int x, int y);

// The window rows [first, last] that show picture rows [first_row,
// last_row]; first > last when none do.
struct RowSpan {
  int first = 0, last = -1;
};
RowSpan window_rows_of(const PictureRect& rect, int height, int first_row, int last_row);

// The window rows to put for picture rows [first_row, last_row]: those
// showing them, with the bars above and below going along with the
// picture's first and last rows.
RowSpan shown_window_rows(const PictureRect& rect, int height, int window_height, int first_row, int last_row);

// Nearest-neighbour scaling of picture rows into a window-sized buffer of
// the same pixel format (2, 3 or 4 bytes a pixel). The column map is built
// once per size; a window row repeating the row above it is a copy of it.
class PictureScaler {
 public:
  // Picture of `width` x `height`, placed at `rect` in the window.
  void configure(int width, int height, const PictureRect& rect, int bytes_per_pixel);
  // Writes the window rows showing picture rows [first_row, last_row] from
  // `source` (rows `source_step` bytes apart) into `dest` (window rows
  // `dest_step` bytes apart; the picture's left edge at rect.x). Returns the
  // window rows written.
  RowSpan scale_rows(const std::uint8_t* source, std::int32_t source_step, int first_row, int last_row,
                     std::uint8_t* dest, std::int32_t dest_step) const;
  // Fills the bars around the picture rectangle with zero bytes (black).
  void clear_bars(std::uint8_t* dest, std::int32_t dest_step, int window_width, int window_height) const;
  const PictureRect& rect() const { return rect_; }

 private:
  int width_ = 0, height_ = 0, bytes_ = 4;
  int whole_factor_ = 0;  // rect.width / width when that divides exactly, else 0
  PictureRect rect_;
  std::vector<std::int32_t> column_offsets_;  // source byte offset of each window column
};

}  // namespace qz
