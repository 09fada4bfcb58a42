#include "gfx/paint.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "gfx/context.h"
#include "gfx/screen_lock.h"

namespace qz {

// Span flood fill. The search reads the target only, records every maximal
// run of non-border pixels once per row and processes the runs first found,
// first processed; nothing is written until all runs are known, so the fill
// terminates whatever colour is already there.

namespace {

constexpr int kNone = -1;

struct Span {
  int y, left, right;
  int next_in_row;
};

template <typename Pixel>
Pixel load(const std::uint8_t* row, int x) {
  Pixel v;
  std::memcpy(&v, row + std::size_t(x) * sizeof(Pixel), sizeof v);
  return v;
}

#if defined(__SSE2__) || defined(__wasm_simd128__)
// Eight 32-bit pixels compared at once: the scans read every pixel of the
// region, and in wasm the plain loop stays one pixel at a time.
#define QZ_SCAN_VECTORS 1
#if defined(__SSE2__)
using Lanes = __m128i;
Lanes splat(std::uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
// Bit i set where the pixel at p + 4 i is the border.
unsigned border_bits(const std::uint8_t* p, Lanes b) {
  __m128i lo = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), b);
  __m128i hi = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), b);
  return unsigned(_mm_movemask_ps(_mm_castsi128_ps(lo))) | unsigned(_mm_movemask_ps(_mm_castsi128_ps(hi))) << 4;
}
#else
using Lanes = v128_t;
Lanes splat(std::uint32_t v) { return wasm_i32x4_splat(static_cast<int>(v)); }
// Bit i set where the pixel at p + 4 i is the border. Mostly there is none:
// one test of both halves first spares the two masks, a tenth of the time
// of a screen's fill.
unsigned border_bits(const std::uint8_t* p, Lanes b) {
  v128_t lo = wasm_i32x4_eq(wasm_v128_load(p), b);
  v128_t hi = wasm_i32x4_eq(wasm_v128_load(p + 16), b);
  if (!wasm_v128_any_true(wasm_v128_or(lo, hi))) return 0;
  return unsigned(wasm_i32x4_bitmask(lo)) | unsigned(wasm_i32x4_bitmask(hi)) << 4;
}
#endif
#endif

// First column in [from, to] whose pixel is the border, or to + 1.
template <typename Pixel>
int next_border(const std::uint8_t* row, int from, int to, Pixel border) {
  int x = from;
#if defined(QZ_SCAN_VECTORS)
  if constexpr (sizeof(Pixel) == 4) {
    const Lanes b = splat(border);
    for (; x + 8 <= to + 1; x += 8)
      if (unsigned bits = border_bits(row + std::size_t(x) * 4, b)) return x + __builtin_ctz(bits);
  }
#endif
  for (; x <= to; ++x)
    if (load<Pixel>(row, x) == border) return x;
  return to + 1;
}

// Last column in [to, from] (walking left from `from`) whose pixel is the
// border, or to - 1.
template <typename Pixel>
int previous_border(const std::uint8_t* row, int from, int to, Pixel border) {
  int x = from;
#if defined(QZ_SCAN_VECTORS)
  if constexpr (sizeof(Pixel) == 4) {
    const Lanes b = splat(border);
    for (; x - 7 >= to; x -= 8)
      if (unsigned bits = border_bits(row + std::size_t(x - 7) * 4, b)) return x - 7 + 31 - __builtin_clz(bits);
  }
#endif
  for (; x >= to; --x)
    if (load<Pixel>(row, x) == border) return x;
  return to - 1;
}

// The search's working memory, kept per thread from one fill to the next:
// a fill of a few pixels would otherwise spend most of its time allocating
// and clearing a row table as tall as the target. Between fills every row
// head is kNone, the lists are empty.
struct SearchMemory {
  std::vector<int> row_heads;
  std::vector<Span> spans;
  std::unordered_map<int, std::vector<int>> row_owners;
};

// Beyond these sizes the memory is given back after the fill rather than kept.
constexpr std::size_t kKeptRows = std::size_t{1} << 16;
constexpr std::size_t kKeptSpans = std::size_t{1} << 16;

// The hot path reads a plain pointer; the owner frees the memory when the
// thread ends.
thread_local std::unique_ptr<SearchMemory> t_memory_owner;
constinit thread_local SearchMemory* t_memory = nullptr;

SearchMemory& search_memory() {
  if (!t_memory) [[unlikely]] {
    t_memory_owner = std::make_unique<SearchMemory>();
    t_memory = t_memory_owner.get();
  }
  return *t_memory;
}

template <typename Pixel>
class SpanSearch {
 public:
  SpanSearch(const GfxContext& ctx, std::uint32_t border)
      : ctx_(ctx),
        border_(static_cast<Pixel>(border)),
        memory_(search_memory()),
        row_heads_(memory_.row_heads),
        spans_(memory_.spans),
        row_owners_(memory_.row_owners) {
    if (row_heads_.size() < std::size_t(ctx.y1() + 1)) row_heads_.resize(std::size_t(ctx.y1() + 1), kNone);
  }
  // Leaves the memory as the next fill expects it, also when the search
  // failed half-way (every span's row head was set after the span was added).
  ~SpanSearch() {
    for (const Span& s : spans_) row_heads_[std::size_t(s.y)] = kNone;
    if (spans_.capacity() > kKeptSpans)
      std::vector<Span>().swap(spans_);
    else
      spans_.clear();
    if (row_heads_.size() > kKeptRows) std::vector<int>().swap(row_heads_);
    if (!row_owners_.empty()) row_owners_.clear();
  }
  SpanSearch(const SpanSearch&) = delete;
  SpanSearch& operator=(const SpanSearch&) = delete;

  const std::vector<Span>& spans() const { return spans_; }

  bool is_border(int x, int y) const { return load<Pixel>(ctx_.rows[std::size_t(y)], x) == border_; }

  // Records the run through (x, y), a non-border pixel, unless it is known;
  // returns the column after it. A known run that contains x is that same
  // maximal run (the target does not change during the search), so it is
  // found without reading the row again.
  int find(int x, int y) {
    // Rows hold a few runs each but for combs: walking the row's list is
    // the common case, kept small enough to inline into the scan.
    if (row_owners_.empty()) [[likely]] {
      int known = 0;
      for (int s = row_heads_[std::size_t(y)]; s != kNone; s = spans_[std::size_t(s)].next_in_row, ++known) {
        const Span& span = spans_[std::size_t(s)];
        if (span.left <= x && x <= span.right) return span.right + 1;
      }
      return add(x, y, nullptr, known);
    }
    return find_indexed(x, y);
  }

  void scan_row(int y, int left, int right) {
    const std::uint8_t* row = ctx_.rows[std::size_t(y)];
    for (int x = left; x <= right;) {
      if (load<Pixel>(row, x) == border_)
        ++x;
      else
        x = find(x, y) + 1;
    }
  }

  void search(int x, int y) {
    find(x, y);
    for (std::size_t i = 0; i < spans_.size(); ++i) {
      Span s = spans_[i];  // copied: the search appends to the list
      if (s.y > ctx_.y0()) scan_row(s.y - 1, s.left, s.right);
      if (s.y < ctx_.y1()) scan_row(s.y + 1, s.left, s.right);
    }
  }

 private:
  static constexpr int kRunsBeforeIndex = 16;

  // find() once some row keeps a per-column index.
  [[gnu::noinline]] int find_indexed(int x, int y) {
    std::vector<int>* owners = nullptr;
    auto it = row_owners_.find(y);
    if (it != row_owners_.end()) owners = &it->second;
    int known = 0;
    if (owners) {
      int s = (*owners)[std::size_t(x - ctx_.x0())];
      if (s != kNone) return spans_[std::size_t(s)].right + 1;
    } else {
      for (int s = row_heads_[std::size_t(y)]; s != kNone; s = spans_[std::size_t(s)].next_in_row, ++known) {
        const Span& span = spans_[std::size_t(s)];
        if (span.left <= x && x <= span.right) return span.right + 1;
      }
    }
    return add(x, y, owners, known);
  }

  // Records the run through (x, y), not yet known, on a row that has `known`
  // runs (and the index `owners`, if it keeps one); returns the column after it.
  [[gnu::noinline]] int add(int x, int y, std::vector<int>* owners, int known) {
    const std::uint8_t* row = ctx_.rows[std::size_t(y)];
    int left = previous_border<Pixel>(row, x - 1, ctx_.x0(), border_) + 1;
    int right = next_border<Pixel>(row, x + 1, ctx_.x1(), border_) - 1;
    int& head = row_heads_[std::size_t(y)];
    spans_.push_back({y, left, right, head});
    head = int(spans_.size() - 1);
    if (owners) {
      own(*owners, spans_.back(), head);
    } else if (known >= kRunsBeforeIndex) {
      // Many runs on one row (a comb, a dotted line): from now on the row
      // keeps, per column, the run that covers it.
      std::vector<int>& index = row_owners_[y];
      index.assign(std::size_t(ctx_.view_width), kNone);
      for (int s = head; s != kNone; s = spans_[std::size_t(s)].next_in_row) own(index, spans_[std::size_t(s)], s);
    }
    return right + 1;
  }

  void own(std::vector<int>& index, const Span& span, int s) const {
    std::fill(index.begin() + (span.left - ctx_.x0()), index.begin() + (span.right - ctx_.x0() + 1), s);
  }

  const GfxContext& ctx_;
  Pixel border_;
  SearchMemory& memory_;
  std::vector<int>& row_heads_;
  std::vector<Span>& spans_;
  std::unordered_map<int, std::vector<int>>& row_owners_;
};

void write_pattern_span(GfxContext& ctx, const Span& s, const std::uint8_t* tile) {
  int bpp = ctx.target_bytes_per_pixel;
  const std::uint8_t* tile_row = tile + (s.y & 7) * 8 * bpp;
  int x = s.left;
  auto copy = [&](int from, int count) {
    ctx.routines->copy_pixels(ctx.pixel_address(from, s.y), tile_row + (from & 7) * bpp, count);
  };
  int head_end = std::min(s.right + 1, (x + 7) & ~7);
  if (head_end > x) copy(x, head_end - x);
  for (x = head_end; x + 8 <= s.right + 1; x += 8) copy(x, 8);
  if (x <= s.right) copy(x, s.right - x + 1);
}

template <typename Pixel>
void fill_region(GfxContext& ctx, int sx, int sy, std::uint32_t fill, std::uint32_t border, std::int32_t mode,
                 const std::uint8_t* tile) {
  SpanSearch<Pixel> search(ctx, border);
  if (search.is_border(sx, sy)) return;
  search.search(sx, sy);

  target_lock(ctx);
  // The runs of one row never overlap, so their order of writing is free.
  int top = ctx.y1(), bottom = ctx.y0();
  for (const Span& s : search.spans()) {
    if (mode == kPaintPattern)
      write_pattern_span(ctx, s, tile);
    else
      ctx.fill_span(ctx.pixel_address(s.left, s.y), fill, s.right - s.left + 1);
    top = std::min(top, s.y);
    bottom = std::max(bottom, s.y);
  }
  // Rows with runs are contiguous: the region is connected.
  mark_dirty_rows(ctx, top, bottom);
  target_unlock(ctx);
}

}  // namespace

void gfx_paint(const ImageRef* target, float x, float y, std::uint32_t fill_colour,
               std::uint32_t border_colour, std::string pattern, std::int32_t mode,
               std::int32_t flags) {
  auto [ctx, fill] = begin_primitive(target, fill_colour, flags);
  if (!ctx) return;
  std::uint32_t border = (flags & kPaintBorderIsFill) ? fill
                                                      : gfx_resolve_colour(ctx->target_bytes_per_pixel, border_colour);
  gfx_apply_relative(*ctx, flags & 7, x, y, nullptr, nullptr);
  PixelPoint seed = gfx_to_pixel(*ctx, x, y);

  // Only a pattern fill reads the tile.
  std::uint8_t tile[256];
  if (mode == kPaintPattern) {
    std::memset(tile, 0, sizeof tile);
    std::memcpy(tile, pattern.data(), std::min<std::size_t>(pattern.size(), sizeof tile));
  }

  if (seed.x < ctx->x0() || seed.x > ctx->x1() || seed.y < ctx->y0() || seed.y > ctx->y1()) return;
  int sx = int(seed.x), sy = int(seed.y);
  switch (ctx->target_bytes_per_pixel) {
    case 4: fill_region<std::uint32_t>(*ctx, sx, sy, fill, border, mode, tile); break;
    case 2: fill_region<std::uint16_t>(*ctx, sx, sy, fill, border, mode, tile); break;
    default: fill_region<std::uint8_t>(*ctx, sx, sy, fill, border, mode, tile); break;
  }
}

}  // namespace qz
