#include "display/picture_fit.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qz {

namespace {

constexpr int kMaxScale = 8;

// Smallest integer not below a / b, for a >= 0 and b > 0.
std::int64_t ceil_div(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

}  // namespace

PictureRect fit_picture(int width, int height, int window_width, int window_height) {
  if (width <= 0 || height <= 0 || window_width <= 0 || window_height <= 0) return {};
  PictureRect r;
  // Whichever side runs out first decides; the other follows the aspect.
  if (std::int64_t(window_width) * height <= std::int64_t(window_height) * width) {
    r.width = window_width;
    r.height = int(std::max<std::int64_t>(1, std::int64_t(window_width) * height / width));
  } else {
    r.height = window_height;
    r.width = int(std::max<std::int64_t>(1, std::int64_t(window_height) * width / height));
  }
  r.x = (window_width - r.width) / 2;
  r.y = (window_height - r.height) / 2;
  return r;
}

WindowSize scaled_window_size(int width, int height, int scale, int area_width, int area_height) {
  if (width <= 0 || height <= 0) return {};
  if (scale >= 1) {
    scale = std::min(scale, kMaxScale);
    return {width * scale, height * scale};
  }
  if (area_width <= 0 || area_height <= 0) return {width, height};  // no desktop to measure
  const int whole = std::min({area_width / width, area_height / height, kMaxScale});
  if (whole >= 1) return {width * whole, height * whole};
  const PictureRect fitted = fit_picture(width, height, area_width, area_height);
  return {fitted.width, fitted.height};
}

int dpi_factor(double dots_per_inch) {
  if (!(dots_per_inch >= 192)) return 1;  // NaN too
  return int(std::min<double>(kMaxScale, dots_per_inch / 96));
}

WindowSize window_size_at_dpi(int width, int height, int scale, int dpi, int area_width, int area_height) {
  if (scale >= 1 && dpi > 1 && width > 0 && height > 0) {
    if (area_width > 0 && area_height > 0)
      dpi = std::clamp(std::min(area_width / (width * scale), area_height / (height * scale)), 1, dpi);
    scale *= dpi;
  }
  return scaled_window_size(width, height, scale, area_width, area_height);
}

int parse_window_scale(const char* text) {
  if (!text) return kScaleUnset;
  const std::string_view value(text);
  if (value == "auto") return 0;
  if (value.size() == 1 && value[0] >= '1' && value[0] <= '0' + kMaxScale) return value[0] - '0';
  return kScaleRefused;
}

PicturePoint window_to_picture(const PictureRect& rect, int width, int height, int window_x, int window_y) {
  if (rect.width <= 0 || rect.height <= 0) return {};
  const auto axis = [](int position, int start, int extent, int size) {
    const std::int64_t inside = std::int64_t(position) - start;
    if (inside <= 0) return 0;
    return int(std::min<std::int64_t>(size - 1, inside * size / extent));
  };
  return {axis(window_x, rect.x, rect.width, width), axis(window_y, rect.y, rect.height, height)};
}

PicturePoint picture_to_window(const PictureRect& rect, int width, int height, int x, int y) {
  if (width <= 0 || height <= 0) return {};
  const auto axis = [](int position, int start, int extent, int size) {
    return start + int((std::int64_t(position) * extent + extent / 2) / size);
  };
  return {axis(x, rect.x, rect.width, width), axis(y, rect.y, rect.height, height)};
}

RowSpan window_rows_of(const PictureRect& rect, int height, int first_row, int last_row) {
  first_row = std::max(first_row, 0);
  last_row = std::min(last_row, height - 1);
  if (rect.height <= 0 || height <= 0 || first_row > last_row) return {};
  // Window row d shows picture row floor(d * height / rect.height).
  const auto first = ceil_div(std::int64_t(first_row) * rect.height, height);
  const auto last = ceil_div(std::int64_t(last_row + 1) * rect.height, height) - 1;
  return {rect.y + int(first), rect.y + int(last)};
}

RowSpan shown_window_rows(const PictureRect& rect, int height, int window_height, int first_row, int last_row) {
  RowSpan rows = window_rows_of(rect, height, first_row, last_row);
  if (first_row <= 0) rows.first = 0;
  if (last_row >= height - 1) rows.last = window_height - 1;
  return rows;
}

void PictureScaler::configure(int width, int height, const PictureRect& rect, int bytes_per_pixel) {
  width_ = width;
  height_ = height;
  rect_ = rect;
  bytes_ = bytes_per_pixel;
  whole_factor_ = width > 0 && rect.width % width == 0 ? rect.width / width : 0;
  column_offsets_.resize(std::size_t(std::max(rect.width, 0)));
  for (int d = 0; d < rect.width; ++d)
    column_offsets_[std::size_t(d)] = std::int32_t(std::int64_t(d) * width / rect.width) * bytes_per_pixel;
}

RowSpan PictureScaler::scale_rows(const std::uint8_t* source, std::int32_t source_step, int first_row,
                                  int last_row, std::uint8_t* dest, std::int32_t dest_step) const {
  const RowSpan span = window_rows_of(rect_, height_, first_row, last_row);
  const std::size_t row_bytes = column_offsets_.size() * std::size_t(bytes_);
  int previous = -1;
  for (int y = span.first; y <= span.last; ++y) {
    const int row = int(std::int64_t(y - rect_.y) * height_ / rect_.height);
    std::uint8_t* out = dest + std::ptrdiff_t(y) * dest_step + std::ptrdiff_t(rect_.x) * bytes_;
    if (row == previous) {
      std::memcpy(out, out - dest_step, row_bytes);
      continue;
    }
    previous = row;
    const std::uint8_t* in = source + std::ptrdiff_t(row) * source_step;
    if (bytes_ == 4 && whole_factor_ > 0) {
      // A whole factor: each pixel repeated, no column map to read.
      for (int x = 0; x < width_; ++x, in += 4)
        for (int k = 0; k < whole_factor_; ++k, out += 4) std::memcpy(out, in, 4);
      continue;
    }
    switch (bytes_) {
      case 4:
        for (std::int32_t offset : column_offsets_) {
          std::memcpy(out, in + offset, 4);
          out += 4;
        }
        break;
      case 2:
        for (std::int32_t offset : column_offsets_) {
          std::memcpy(out, in + offset, 2);
          out += 2;
        }
        break;
      default:
        for (std::int32_t offset : column_offsets_) {
          std::memcpy(out, in + offset, std::size_t(bytes_));
          out += bytes_;
        }
        break;
    }
  }
  return span;
}

void PictureScaler::clear_bars(std::uint8_t* dest, std::int32_t dest_step, int window_width,
                               int window_height) const {
  const std::size_t pixel = std::size_t(bytes_);
  for (int y = 0; y < window_height; ++y) {
    std::uint8_t* row = dest + std::ptrdiff_t(y) * dest_step;
    if (y < rect_.y || y >= rect_.y + rect_.height) {
      std::memset(row, 0, std::size_t(window_width) * pixel);
      continue;
    }
    std::memset(row, 0, std::size_t(rect_.x) * pixel);
    const int right = rect_.x + rect_.width;
    std::memset(row + std::size_t(right) * pixel, 0, std::size_t(window_width - right) * pixel);
  }
}

}  // namespace qz
