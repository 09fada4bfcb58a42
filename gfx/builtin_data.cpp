// The built-in fonts and palettes: one packed block, unpacked once per process.
// The records point into the unpacked block, which lives until the process ends.

#include "gfx/builtin_data.h"

#include <algorithm>
#include <array>

#include "gfx/lzw.h"

namespace qz {

namespace {

struct FontLayout {
  std::uint32_t width, height;
};
struct PaletteLayout {
  std::uint32_t count;
};

// Order of the block: fonts 0, 1, 2, then the palettes of 2, 16, 64, 256 entries.
static constexpr std::array<FontLayout, 3> kFonts{{{8, 8}, {8, 14}, {8, 16}}};
static constexpr std::array<PaletteLayout, 4> kPalettes{{{2}, {16}, {64}, {256}}};

constexpr std::size_t font_bytes(const FontLayout& f) {
  return std::size_t{256} * f.height * ((f.width + 7) / 8);
}

constexpr std::size_t palette_bytes(const PaletteLayout& p) { return std::size_t{3} * p.count; }

constexpr std::size_t layout_bytes() {
  std::size_t total = 0;
  for (const auto& f : kFonts) total += font_bytes(f);
  for (const auto& p : kPalettes) total += palette_bytes(p);
  return total;
}
static_assert(layout_bytes() == kBuiltinBlockSize);

struct Builtin {
  std::array<std::uint8_t, kBuiltinBlockSize> block{};
  std::array<FontRecord, kFonts.size()> fonts{};
  std::array<PaletteRecord, kPalettes.size()> palettes{};

  Builtin() {
    // The generator has checked the round trip; should the block still come
    // out short, the rest stays zero (blank glyphs, black entries) rather than
    // leaving records that point at nothing.
    if (const auto unpacked = lzw_unpack(builtin_packed(), block.size())) {
      std::copy(unpacked->begin(), unpacked->end(), block.begin());
    }
    std::size_t offset = 0;
    for (std::size_t i = 0; i < kFonts.size(); ++i) {
      fonts[i] = {kFonts[i].width, kFonts[i].height, block.data() + offset};
      offset += font_bytes(kFonts[i]);
    }
    for (std::size_t i = 0; i < kPalettes.size(); ++i) {
      palettes[i] = {kPalettes[i].count, block.data() + offset};
      offset += palette_bytes(kPalettes[i]);
    }
  }
};

const Builtin& builtin() {
  static const Builtin instance;  // thread-safe one-time initialisation
  return instance;
}

}  // namespace

std::span<const std::uint8_t> builtin_block() { return builtin().block; }

// Indices outside the table fall back to the first record instead of reading
// past it.
const FontRecord& builtin_font(int index) {
  const auto& fonts = builtin().fonts;
  return fonts[index >= 0 && static_cast<std::size_t>(index) < fonts.size() ? index : 0];
}

const PaletteRecord& builtin_palette(int index) {
  const auto& palettes = builtin().palettes;
  return palettes[index >= 0 && static_cast<std::size_t>(index) < palettes.size() ? index : 0];
}

}  // namespace qz
