#pragma once

// Double clicks by the desktop's usual limits, for window systems that
// report single presses only: the same button again within 500 ms and 4
// pixels of the first press. A third click starts a new pair.

#include <cstdint>

namespace qz {

class ClickPairs {
 public:
  // A press of `button` (non-zero) at `time_ms` (a wrapping millisecond
  // clock) and (x, y); true when it completes a double click.
  bool press(std::uint32_t button, std::uint32_t time_ms, int x, int y);

 private:
  std::uint32_t button_ = 0;  // 0: the next press starts a pair
  std::uint32_t time_ms_ = 0;
  int x_ = 0, y_ = 0;
};

}  // namespace qz
