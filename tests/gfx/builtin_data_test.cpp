// The built-in fonts and palettes as the library unpacks them, checked
// against the raw block in the source tree and against known glyph and colour
// facts.

#include "gfx/builtin_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "gfx/lzw.h"

using namespace qz;

namespace {

std::vector<std::uint8_t> raw_block() {
  std::ifstream in(QZ_SOURCE_DIR "/gfx/data/builtin-block.bin", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::uint8_t* glyph(const FontRecord& font, int code) {
  return font.glyphs + static_cast<std::size_t>(code) * font.cell_height * ((font.cell_width + 7) / 8);
}

std::array<std::uint8_t, 3> entry(const PaletteRecord& palette, int index) {
  const std::uint8_t* p = palette.rgb + 3 * index;
  return {p[0], p[1], p[2]};
}

}  // namespace

TEST(BuiltinBlock, UnpacksToTheRawBlockOnce) {
  const std::vector<std::uint8_t> raw = raw_block();
  ASSERT_EQ(raw.size(), kBuiltinBlockSize);

  const auto block = builtin_block();
  ASSERT_EQ(block.size(), kBuiltinBlockSize);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), raw.begin()));
  EXPECT_LT(builtin_packed().size(), kBuiltinBlockSize / 2);

  // Concurrent first users all see the one block.
  std::vector<const std::uint8_t*> seen(4);
  std::vector<std::thread> threads;
  for (auto& s : seen) threads.emplace_back([&s] { s = builtin_block().data(); });
  for (auto& t : threads) t.join();
  for (const auto* s : seen) EXPECT_EQ(s, block.data());
}

TEST(BuiltinFonts, RecordsPointIntoTheBlockWithKnownGlyphs) {
  struct Case {
    int index;
    std::uint32_t height;
    std::size_t offset;
  };
  static constexpr Case kCases[] = {{0, 8, 0}, {1, 14, 2048}, {2, 16, 5632}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.index);
    const FontRecord& font = builtin_font(c.index);
    EXPECT_EQ(font.cell_width, 8u);
    EXPECT_EQ(font.cell_height, c.height);
    EXPECT_EQ(font.glyphs, builtin_block().data() + c.offset);
    for (std::uint32_t row = 0; row < font.cell_height; ++row) {
      EXPECT_EQ(glyph(font, 0xDB)[row], 0xFF) << "full block, row " << row;
      EXPECT_EQ(glyph(font, ' ')[row], 0x00) << "space, row " << row;
    }
  }
  const std::uint8_t* a = glyph(builtin_font(2), 'A');
  for (int row = 0; row < 16; ++row) {
    EXPECT_EQ(a[row] != 0, row >= 2 && row <= 11) << "'A', row " << row;
  }
  // Leftmost pixel in bit 0: the left edge of 'A' on row 5 of the 8x16 font.
  EXPECT_NE(a[5] & 0x01, 0) << "bit 0 is the leftmost pixel";

  EXPECT_EQ(&builtin_font(7), &builtin_font(0));
  EXPECT_EQ(&builtin_font(-1), &builtin_font(0));
}

TEST(BuiltinPalettes, HoldTheDefaultColours) {
  static constexpr std::uint32_t kCounts[] = {2, 16, 64, 256};
  std::size_t offset = 2048 + 3584 + 4096;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(builtin_palette(i).count, kCounts[i]);
    EXPECT_EQ(builtin_palette(i).rgb, builtin_block().data() + offset);
    offset += 3 * kCounts[i];
  }
  using Rgb = std::array<std::uint8_t, 3>;
  const PaletteRecord& two = builtin_palette(0);
  EXPECT_EQ(entry(two, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(entry(two, 1), (Rgb{255, 255, 255}));

  const PaletteRecord& sixteen = builtin_palette(1);
  EXPECT_EQ(entry(sixteen, 1), (Rgb{0, 0, 170}));
  EXPECT_EQ(entry(sixteen, 6), (Rgb{170, 85, 0}));  // brown
  EXPECT_EQ(entry(sixteen, 15), (Rgb{255, 255, 255}));

  const PaletteRecord& sixty_four = builtin_palette(2);
  for (int i = 0; i < 64; ++i) {
    auto channel = [i](int bit) { return 170 * ((i >> bit) & 1) + 85 * ((i >> (bit + 3)) & 1); };
    EXPECT_EQ(entry(sixty_four, i), (Rgb{static_cast<std::uint8_t>(channel(2)),
                                          static_cast<std::uint8_t>(channel(1)),
                                          static_cast<std::uint8_t>(channel(0))}))
        << "entry " << i;
  }

  const PaletteRecord& vga = builtin_palette(3);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(entry(vga, i), entry(sixteen, i)) << "entry " << i;
  for (int i = 248; i < 256; ++i) EXPECT_EQ(entry(vga, i), (Rgb{0, 0, 0})) << "entry " << i;
}
