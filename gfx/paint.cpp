#include "gfx/paint.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gfx/context.h"
#include "gfx/screen_lock.h"

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

class SpanSearch {
 public:
  SpanSearch(const GfxContext& ctx, std::uint32_t border)
      : ctx_(ctx), border_(border), row_heads_(std::size_t(ctx.y1() + 1), kNone) {}

  const std::vector<Span>& spans() const { return spans_; }

  // Records the run through (x, y), a non-border pixel, unless it is known;
  // returns the column after it.
  int find(int x, int y) {
    int left = x, right = x;
    while (left > ctx_.x0() && !is_border(left - 1, y)) --left;
    while (right < ctx_.x1() && !is_border(right + 1, y)) ++right;
    int& head = row_heads_[std::size_t(y)];
    for (int s = head; s != kNone; s = spans_[std::size_t(s)].next_in_row)
      if (spans_[std::size_t(s)].left == left && spans_[std::size_t(s)].right == right) return right + 1;
    spans_.push_back({y, left, right, head});
    head = int(spans_.size() - 1);
    return right + 1;
  }

  void scan_row(int y, int left, int right) {
    for (int x = left; x <= right;) {
      if (is_border(x, y))
        ++x;
      else
        x = find(x, y) + 1;
    }
  }

  bool is_border(int x, int y) const { return ctx_.get_pixel(ctx_, x, y) == border_; }

 private:
  const GfxContext& ctx_;
  std::uint32_t border_;
  std::vector<int> row_heads_;
  std::vector<Span> spans_;
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

}  // namespace

void gfx_paint(const Image* target, float x, float y, std::uint32_t fill_colour,
               std::uint32_t border_colour, std::string pattern, std::int32_t mode,
               std::int32_t flags) {
  auto [ctx, fill] = begin_primitive(target, fill_colour, flags);
  if (!ctx) return;
  std::uint32_t border = (flags & kPaintBorderIsFill) ? fill
                                                      : gfx_resolve_colour(ctx->target_bytes_per_pixel, border_colour);
  gfx_apply_relative(*ctx, flags & 7, x, y, nullptr, nullptr);
  PixelPoint seed = gfx_to_pixel(*ctx, x, y);

  std::uint8_t tile[256] = {};
  if (mode == kPaintPattern) std::memcpy(tile, pattern.data(), std::min<std::size_t>(pattern.size(), sizeof tile));

  if (seed.x < ctx->x0() || seed.x > ctx->x1() || seed.y < ctx->y0() || seed.y > ctx->y1()) return;
  SpanSearch search(*ctx, border);
  if (search.is_border(int(seed.x), int(seed.y))) return;

  search.find(int(seed.x), int(seed.y));
  for (std::size_t i = 0; i < search.spans().size(); ++i) {
    Span s = search.spans()[i];  // copied: the search appends to the list
    if (s.y > ctx->y0()) search.scan_row(s.y - 1, s.left, s.right);
    if (s.y < ctx->y1()) search.scan_row(s.y + 1, s.left, s.right);
  }

  screen_lock();
  // The runs of one row never overlap, so their order of writing is free.
  int top = ctx->y1(), bottom = ctx->y0();
  for (const Span& s : search.spans()) {
    if (mode == kPaintPattern)
      write_pattern_span(*ctx, s, tile);
    else
      ctx->fill_span(ctx->pixel_address(s.left, s.y), fill, s.right - s.left + 1);
    top = std::min(top, s.y);
    bottom = std::max(bottom, s.y);
  }
  // Rows with runs are contiguous: the region is connected.
  mark_dirty_rows(*ctx, top, bottom);
  screen_unlock(1, 0);
}
