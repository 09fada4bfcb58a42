#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qz {

// The built-in fonts (code page 437 glyphs, 8x8, 8x14, 8x16, leftmost pixel in
// bit 0) and the default palettes (2, 16, 64, 256 entries of red, green, blue).
// They ship packed and are unpacked once per process, on the first mode set.

struct FontRecord {
  std::uint32_t cell_width;
  std::uint32_t cell_height;
  const std::uint8_t* glyphs;  // 256 glyphs, cell_height rows of (width + 7) / 8 bytes
};

struct PaletteRecord {
  std::uint32_t count;
  const std::uint8_t* rgb;  // count triplets
};

constexpr std::size_t kBuiltinBlockSize = 10742;

// Unpacks on first use (thread-safe); later calls return the same block.
std::span<const std::uint8_t> builtin_block();
const FontRecord& builtin_font(int index);        // 0..2
const PaletteRecord& builtin_palette(int index);  // 0..3

// The packed block embedded in the library (generated at build time).
std::span<const std::uint8_t> builtin_packed();

}  // namespace qz
