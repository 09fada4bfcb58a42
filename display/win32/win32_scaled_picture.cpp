#include "display/win32/win32_scaled_picture.h"

#include <new>

#include "display/win32/win32_host.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

void win32_client_resized(int window_width, int window_height) {
  const Win32Window& g = win32_window();
  WindowHost& host = window_host();
  if (!g.presenter || (window_width == host.window_width && window_height == host.window_height)) return;
  host_fit_picture(window_width, window_height);
  if (g.presenter->refit) g.presenter->refit();
  paint_steps(0, host.height);
}

bool ScaledPicture::configure(int bytes_per_pixel, bool own_buffer) {
  const WindowHost& host = window_host();
  release();
  if (host.picture.width <= 0 || host.picture.height <= 0) return true;  // nothing to show
  scaler_.configure(host.width, host.height, host.picture, bytes_per_pixel);
  if (own_buffer) {
    step_ = host.window_width * bytes_per_pixel;
    try {
      pixels_.assign(std::size_t(step_) * std::size_t(host.window_height), 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  active_ = true;
  return true;
}

void ScaledPicture::release() {
  pixels_ = {};
  step_ = 0;
  active_ = false;
}

RowSpan ScaledPicture::scale(const std::uint8_t* source, std::int32_t source_step, int first_row, int last_row,
                             std::uint8_t* dest, std::int32_t dest_step) {
  const WindowHost& host = window_host();
  if (!dest) dest = pixels_.data(), dest_step = step_;
  if (first_row == 0) scaler_.clear_bars(dest, dest_step, host.window_width, host.window_height);
  scaler_.scale_rows(source, source_step, first_row, last_row, dest, dest_step);
  return shown_window_rows(host.picture, host.height, host.window_height, first_row, last_row);
}

}  // namespace qz
