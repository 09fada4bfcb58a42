#pragma once

#include <cstdint>

// The workloads' random stream: SplitMix64 and the three draws built on it.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t state) : state_(state) {}

  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15u;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

  // Uniform in [lo, hi] by the high half of a 128-bit product: no modulo bias
  // and no rejection, so every implementation takes the same draws.
  std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
    unsigned __int128 span = static_cast<unsigned __int128>(hi - lo + 1);
    return lo + static_cast<std::int64_t>((static_cast<unsigned __int128>(next()) * span) >> 64);
  }

  // An opaque colour.
  std::uint32_t colour() { return 0xFF000000u | static_cast<std::uint32_t>(next() >> 40); }

  // An opaque colour that is neither the canvas nor the ring border, so a fill
  // is always visible and never mistaken for a border.
  std::uint32_t fill_colour() {
    for (;;) {
      std::uint32_t c = colour();
      if (c != 0xFFD2D2D2u && c != 0xFF000000u) return c;
    }
  }

 private:
  std::uint64_t state_;
};
