#pragma once

// The picture in a client area of another size (a scaled, resizable or
// desktop-fullscreen window): the refit on a new size and a presenter's window-sized
// copy of the picture, made by the shared PictureScaler. The system's own
// stretching is never used: it rounds differently, and every window pixel
// must be its picture pixel's, as on the other platforms.
//
// Driver thread, host lock held.

#include <cstdint>
#include <vector>

#include "display/picture_fit.h"

namespace qz {

// The window procedure's WM_SIZE: a new client size is fitted, the
// presenter rebuilds what has the window's size, everything is shown again.
void win32_client_resized(int window_width, int window_height);

// A window-sized copy of the picture, in a buffer of its own (32 bits a
// pixel) or in memory the presenter brings (a surface).
class ScaledPicture {
 public:
  // For the host's current fit, `bytes_per_pixel` 2, 3 or 4. False: no memory.
  bool configure(int bytes_per_pixel, bool own_buffer);
  void release();
  bool active() const { return active_; }
  // Picture rows [first_row, last_row] of `source` into `dest` (window rows
  // `dest_step` apart; null: the own buffer). Returns the window rows to put:
  // those written, and the bars above or below when the band reaches the
  // picture's first or last row. The bars are cleared with the first row, so
  // a full presentation always shows them black.
  RowSpan scale(const std::uint8_t* source, std::int32_t source_step, int first_row, int last_row,
                std::uint8_t* dest = nullptr, std::int32_t dest_step = 0);
  const std::uint8_t* row(int y) const { return pixels_.data() + std::size_t(y) * std::size_t(step_); }
  std::int32_t step() const { return step_; }

 private:
  PictureScaler scaler_;
  std::vector<std::uint8_t> pixels_;
  std::int32_t step_ = 0;
  bool active_ = false;
};

}  // namespace qz
