#include "input/click_pairs.h"

#include <cstdlib>

namespace qz {

namespace {
constexpr std::uint32_t kDoubleClickMs = 500;
constexpr int kDoubleClickDistance = 4;
}  // namespace

bool ClickPairs::press(std::uint32_t button, std::uint32_t time_ms, int x, int y) {
  const bool is_double = button_ == button && time_ms - time_ms_ <= kDoubleClickMs &&
                         std::abs(x - x_) <= kDoubleClickDistance && std::abs(y - y_) <= kDoubleClickDistance;
  button_ = is_double ? 0 : button;
  time_ms_ = time_ms;
  x_ = x;
  y_ = y;
  return is_double;
}

}  // namespace qz
