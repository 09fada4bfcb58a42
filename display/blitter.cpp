// Row conversion from the framebuffer's pixel format into a window's. Every
// routine is one row walk (shared) around one row converter; the converters
// are built from a per-pixel rule and a store of the destination's width, so
// each rule of the conversion table is written once. The swapped channel
// order reuses the standard rules on a source whose red and blue are exchanged.

#include "display/blitter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "display/screen_mode.h"

namespace qz {

namespace {

ConversionTable g_conversion_table;

using PixelRule = std::uint32_t (*)(std::uint32_t);

// What a row converter needs: one source row, one destination row.
struct RowJob {
  const std::uint8_t* src;
  std::uint8_t* dst;
  std::int32_t width;
  std::int32_t pitch;
  const std::uint32_t* palette;  // device_palette, for indexed sources
};
using RowConverter = void (*)(const RowJob&);

// --- Per-pixel rules ---------------------------------------------------------
// Palette entries: red bits 0-7, green 8-15, blue 16-23.
constexpr std::uint32_t palette_to_15(std::uint32_t e) {
  return ((e << 7) & 0x7C00) | ((e >> 6) & 0x3E0) | ((e >> 19) & 0x1F);
}
constexpr std::uint32_t palette_to_16(std::uint32_t e) {
  return ((e << 8) & 0xF800) | ((e >> 5) & 0x7E0) | ((e >> 19) & 0x1F);
}
constexpr std::uint32_t palette_to_32(std::uint32_t e) {
  return (e & 0xFF00) | ((e >> 16) & 0xFF) | ((e << 16) & 0xFF0000);
}
// 16-bit pixels: red bits 11-15, green 5-10, blue 0-4.
constexpr std::uint32_t rgb16_to_15(std::uint32_t p) { return ((p >> 1) & 0x7FE0) | (p & 0x1F); }
constexpr std::uint32_t swap16(std::uint32_t p) {
  return ((p << 11) | (p & 0x7E0) | (p >> 11)) & 0xFFFF;
}
std::uint32_t table_lookup(std::uint32_t p) {
  return g_conversion_table.low[p & 0xFF] | g_conversion_table.high[(p >> 8) & 0xFF];
}
// 32-bit pixels: blue bits 0-7, green 8-15, red 16-23.
constexpr std::uint32_t rgb32_to_15(std::uint32_t c) {
  return ((c >> 3) & 0x1F) | ((c >> 6) & 0x3E0) | ((c >> 9) & 0x7C00);
}
constexpr std::uint32_t rgb32_to_16(std::uint32_t c) {
  return ((c >> 3) & 0x1F) | ((c >> 5) & 0x7E0) | ((c >> 8) & 0xF800);
}
// Exchanges the bytes 0 and 2 (red and blue in palette entries and 32-bit pixels).
constexpr std::uint32_t swap32(std::uint32_t c) {
  return (c & 0xFF00FF00) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
}
constexpr std::uint32_t same(std::uint32_t c) { return c; }

template <PixelRule kRule>
constexpr std::uint32_t after_swap32(std::uint32_t c) {
  return kRule(swap32(c));
}
template <PixelRule kRule>
constexpr std::uint32_t after_swap16(std::uint32_t p) {
  return kRule(swap16(p));
}

// --- Row converters ----------------------------------------------------------
// Source bytes per pixel: 1 is a palette index (its device_palette entry is
// what the rule sees), 2 and 4 are the pixel itself.
template <int kSrcBytes>
inline std::uint32_t load(const RowJob& job, std::int32_t x) {
  if constexpr (kSrcBytes == 1) {
    return job.palette[job.src[x]];
  } else if constexpr (kSrcBytes == 2) {
    std::uint16_t p;
    std::memcpy(&p, job.src + 2 * static_cast<std::ptrdiff_t>(x), sizeof p);
    return p;
  } else {
    std::uint32_t c;
    std::memcpy(&c, job.src + 4 * static_cast<std::ptrdiff_t>(x), sizeof c);
    return c;
  }
}

// Two 16-bit pixels per 32-bit store, an odd last pixel by a 16-bit store.
template <int kSrcBytes, PixelRule kRule>
void row_to_16(const RowJob& job) {
  std::uint8_t* dst = job.dst;
  std::int32_t x = 0;
  for (; x + 1 < job.width; x += 2, dst += 4) {
    const std::uint32_t a = kRule(load<kSrcBytes>(job, x)) & 0xFFFF;
    const std::uint32_t b = kRule(load<kSrcBytes>(job, x + 1)) & 0xFFFF;
    const std::uint32_t pair =
        std::endian::native == std::endian::little ? (a | (b << 16)) : ((a << 16) | b);
    std::memcpy(dst, &pair, sizeof pair);
  }
  if (x < job.width) {
    const auto last = static_cast<std::uint16_t>(kRule(load<kSrcBytes>(job, x)));
    std::memcpy(dst, &last, sizeof last);
  }
}

// The rule yields blue bits 0-7, green 8-15, red 16-23; stored as three bytes
// in that order.
template <int kSrcBytes, PixelRule kRule>
void row_to_24(const RowJob& job) {
  std::uint8_t* dst = job.dst;
  for (std::int32_t x = 0; x < job.width; ++x, dst += 3) {
    const std::uint32_t v = kRule(load<kSrcBytes>(job, x));
    dst[0] = static_cast<std::uint8_t>(v);
    dst[1] = static_cast<std::uint8_t>(v >> 8);
    dst[2] = static_cast<std::uint8_t>(v >> 16);
  }
}

template <int kSrcBytes, PixelRule kRule>
void row_to_32(const RowJob& job) {
  std::uint8_t* dst = job.dst;
  for (std::int32_t x = 0; x < job.width; ++x, dst += 4) {
    const std::uint32_t v = kRule(load<kSrcBytes>(job, x));
    std::memcpy(dst, &v, sizeof v);
  }
}

void row_copy(const RowJob& job) { std::memcpy(job.dst, job.src, static_cast<std::size_t>(job.pitch)); }

void row_layered(const RowJob& job) {
  std::uint8_t* dst = job.dst;
  for (std::int32_t x = 0; x < job.width; ++x, dst += 4) {
    const std::uint32_t v = load<4>(job, x) & 0x00FFFFFF;
    std::memcpy(dst, &v, sizeof v);
  }
}

// --- The row walk --------------------------------------------------------------
// Every window row whose framebuffer row is marked is converted; each
// framebuffer row fills `repeat` window rows. Row addresses are computed per
// written row, so a negative step (bottom-up surfaces) never forms a pointer
// outside the destination. A mode whose pixel size is not the one the routine
// reads is left alone rather than read past its rows.
void walk_rows(std::uint8_t* dest, std::int32_t dest_row_step, int src_bytes, bool repeat_scanlines,
               RowConverter convert) {
  const ScreenMode* mode = current_mode();
  if (mode == nullptr || dest == nullptr || mode->visible_framebuffer == nullptr ||
      mode->bytes_per_pixel != src_bytes) {
    return;
  }
  const std::int32_t repeat = repeat_scanlines ? std::max(mode->scanline_size, 1) : 1;
  const std::int32_t rows =
      std::min<std::int32_t>(mode->height, static_cast<std::int32_t>(mode->dirty_rows.size()));
  RowJob job{nullptr, nullptr, mode->width, mode->pitch, mode->device_palette.data()};
  for (std::int32_t y = 0; y < rows; ++y) {
    if (mode->dirty_rows[y] == 0) continue;
    job.src = mode->visible_framebuffer + static_cast<std::ptrdiff_t>(y) * mode->pitch;
    for (std::int32_t s = 0; s < repeat; ++s) {
      const std::ptrdiff_t window_row = static_cast<std::ptrdiff_t>(y) * repeat + s;
      job.dst = dest + window_row * dest_row_step;
      convert(job);
    }
  }
}

template <int kSrcBytes, RowConverter kConvert>
void blit(std::uint8_t* dest, std::int32_t dest_row_step) {
  walk_rows(dest, dest_row_step, kSrcBytes, true, kConvert);
}

// --- Selection -------------------------------------------------------------------
// A converting routine: source and destination bytes per pixel and the rule.
template <int kSrcBytes, int kDestBytes, PixelRule kRule>
void row_convert(const RowJob& job) {
  if constexpr (kDestBytes == 2) {
    row_to_16<kSrcBytes, kRule>(job);
  } else if constexpr (kDestBytes == 3) {
    row_to_24<kSrcBytes, kRule>(job);
  } else {
    row_to_32<kSrcBytes, kRule>(job);
  }
}
template <int kSrcBytes, int kDestBytes, PixelRule kRule>
constexpr Blitter converter = blit<kSrcBytes, row_convert<kSrcBytes, kDestBytes, kRule>>;
template <int kSrcBytes>
constexpr Blitter copier = blit<kSrcBytes, row_copy>;

struct BlitterPair {
  Blitter standard;
  Blitter swapped;
};

constexpr std::array<int, 5> kDestDepths{8, 15, 16, 24, 32};

// [source: 8, 16, 32][destination: 8, 15, 16, 24, 32]. The table routines
// serve both orders: the order lives in conversion_table.
static constexpr BlitterPair kBlitters[3][5] = {
    {
        {copier<1>, copier<1>},
        {converter<1, 2, palette_to_15>, converter<1, 2, after_swap32<palette_to_15>>},
        {converter<1, 2, palette_to_16>, converter<1, 2, after_swap32<palette_to_16>>},
        {converter<1, 3, swap32>, converter<1, 3, same>},
        {converter<1, 4, palette_to_32>, converter<1, 4, after_swap32<palette_to_32>>},
    },
    {
        {nullptr, nullptr},
        {converter<2, 2, rgb16_to_15>, converter<2, 2, after_swap16<rgb16_to_15>>},
        {copier<2>, converter<2, 2, swap16>},
        {converter<2, 3, table_lookup>, converter<2, 3, table_lookup>},
        {converter<2, 4, table_lookup>, converter<2, 4, table_lookup>},
    },
    {
        {nullptr, nullptr},
        {converter<4, 2, rgb32_to_15>, converter<4, 2, after_swap32<rgb32_to_15>>},
        {converter<4, 2, rgb32_to_16>, converter<4, 2, after_swap32<rgb32_to_16>>},
        {converter<4, 3, same>, converter<4, 3, swap32>},
        {copier<4>, converter<4, 4, swap32>},
    },
};

int source_index(int depth) {
  switch (depth) {
    case 1: case 2: case 4: case 8: return 0;
    case 16: return 1;
    case 32: return 2;
    default: return -1;
  }
}

void fill_conversion_table(ChannelOrder order) {
  for (std::uint32_t i = 0; i < 256; ++i) {
    const std::uint32_t green_low = (i << 5) & 0x1C00;
    const std::uint32_t green_high = (i << 13) & 0xFFFF;
    if (order == ChannelOrder::kStandard) {
      g_conversion_table.low[i] = green_low | ((i << 3) & 0xFF);
      g_conversion_table.high[i] = green_high | ((i << 16) & 0xF80000);
    } else {
      g_conversion_table.low[i] = green_low | ((i << 19) & 0xF80000);
      g_conversion_table.high[i] = green_high | (i & 0xF8);
    }
  }
}

}  // namespace

ConversionTable& conversion_table() { return g_conversion_table; }

Blitter select_blitter(int dest_depth, ChannelOrder order) {
  fill_conversion_table(order);
  const ScreenMode* mode = current_mode();
  if (mode == nullptr) return nullptr;
  const int src = source_index(mode->depth);
  int dst = -1;
  for (std::size_t i = 0; i < kDestDepths.size(); ++i) {
    if (kDestDepths[i] == dest_depth) dst = static_cast<int>(i);
  }
  if (src < 0 || dst < 0) return nullptr;
  const BlitterPair& pair = kBlitters[src][dst];
  return order == ChannelOrder::kStandard ? pair.standard : pair.swapped;
}

void blit_layered_copy(std::uint8_t* dest, std::int32_t dest_row_step) {
  walk_rows(dest, dest_row_step, 4, false, row_layered);
}

}  // namespace qz
