// libFuzzer target for the graphics stack: the input is read as a sequence of
// calls (mode sets, primitives, text, image targets and fonts, key handling,
// unpacking, row conversion) with arbitrary arguments. Run under ASan and
// UBSan, anything that reads or writes outside its memory, overflows or
// takes longer than the per-call budget is a finding.

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/window_title.h"
#include "gfx/blit.h"
#include "gfx/builtin_data.h"
#include "gfx/circle.h"
#include "gfx/context.h"
#include "gfx/image.h"
#include "gfx/line.h"
#include "gfx/lzw.h"
#include "gfx/paint.h"
#include "gfx/text.h"
#include "gfx/text_output.h"
#include "gfx/view.h"
#include "input/key_queue.h"
#include "input/key_read.h"
#include "input/key_translate.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define QZ_FUZZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QZ_FUZZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif

using namespace qz;
#ifndef QZ_FUZZ_POISON
#define QZ_FUZZ_POISON(p, n) ((void)(p), (void)(n))
#define QZ_FUZZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

// One input runs at most this many calls, so that an execution stays short.
constexpr int kMaxCalls = 256;
// A single call slower than this is reported as a hang (QZ_FUZZ_CALL_BUDGET_MS
// overrides). The slowest bounded calls known take about a second under the
// sanitizers (an arc of the largest radius), several on a loaded machine; the
// slowest call of a run is printed at its end.
constexpr long kDefaultCallBudgetMs = 10000;
// An input stops after this much time: many slow but bounded calls in a row
// are not a hang, and libFuzzer's own timeout stays for calls that never end.
constexpr long long kInputBudgetMs = 5000;
// Image memory is capped so that a lying header cannot make the harness itself slow.
constexpr std::size_t kMaxImageBytes = 256 * 1024;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Values that break arithmetic: signed zeros, NaN, infinities, denormals,
// the edges of the coordinate and radius clamps, angles near a full turn.
const float kSpecialFloats[] = {
    0.0f, -0.0f, kNaN, -kNaN, kInf, -kInf, 1e30f, -1e30f,
    std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::min() / 2, std::numeric_limits<float>::max(),
    -std::numeric_limits<float>::max(), 0x1p29f, -0x1p29f, 0x1p31f, -0x1p31f, 0x1p63f,
    0.5f, -0.5f, 1.5f, -2.5f, 1.0f, -1.0f, kFullTurn, -kFullTurn, 6.2831853f, 3.1415927f,
    1048576.0f, 1048577.0f, 1e5f, -1e5f, 1e-30f, 0.49999997f};

const int kDepths[] = {1, 2, 4, 8, 15, 16, 24, 32};
const int kDestDepths[] = {8, 15, 16, 24, 32};

// Reads the fuzzer's bytes front to back; past the end every read is zero.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }

  std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Little-endian; each byte is read in its own statement, so the order is fixed.
  std::uint16_t u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
  }
  std::uint32_t u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
  }
  std::int32_t i32() { return std::bit_cast<std::int32_t>(u32()); }
  bool flag() { return (u8() & 1) != 0; }
  int below(int n) { return n <= 256 ? u8() % n : u16() % n; }
  template <typename T, std::size_t N>
  T pick(const T (&table)[N]) { return table[u8() % N]; }

  // A coordinate, radius, aspect or angle: a special value, a value near the
  // screen (with halves) or raw float bits.
  float real() {
    const std::uint8_t sel = u8();
    if (sel < 64) return kSpecialFloats[sel % std::size(kSpecialFloats)];
    if (sel < 176) return static_cast<float>(static_cast<int>(u16() % 1101) - 400) + ((sel & 1) ? 0.5f : 0.0f);
    return std::bit_cast<float>(u32());
  }

  // A radius: mostly one that fits a small screen. Huge ones (clamped to about
  // a million pixels) make an arc take up to half a second, so they come less
  // often, to leave time for the rest; they are not left out.
  float radius() {
    const std::uint8_t sel = u8();
    if (sel < 192) return static_cast<float>(u16() % 700) + ((sel & 1) ? 0.5f : 0.0f);
    return real();
  }

  // An int that is mostly small, sometimes any 32-bit value.
  std::int32_t number(int small_limit) {
    const std::uint8_t sel = u8();
    if (sel < 200) return static_cast<std::int32_t>(u16() % (small_limit + 1));
    if (sel < 220) return -static_cast<std::int32_t>(u8());
    return i32();
  }

  std::string bytes(std::size_t max) {
    const std::size_t n = std::min<std::size_t>(u16() % (max + 1), size_ - std::min(pos_, size_));
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Image memory owned by the harness. The ImageRef handed to the library may be
// smaller than the allocation: the bytes past image.size are poisoned, so
// touching them is a finding, as it would be for memory the caller gave back.
struct ImageSlot {
  std::unique_ptr<std::uint8_t[]> memory;
  std::size_t allocated = 0;
  ImageRef image;

  void reset(std::size_t size) {
    release();
    allocated = std::max<std::size_t>(size, 1);
    memory = std::make_unique<std::uint8_t[]>(allocated);
    image = ImageRef{memory.get(), size};
  }
  void shrink(std::size_t size) {
    if (!memory || size >= image.size) return;
    QZ_FUZZ_POISON(memory.get() + size, allocated - size);
    image.size = size;
  }
  void release() {
    if (memory) QZ_FUZZ_UNPOISON(memory.get(), allocated);
    memory.reset();
    allocated = 0;
    image = ImageRef{};
  }
  ~ImageSlot() { release(); }
};

struct Harness {
  ImageSlot slots[4];

  // A drawing target: the screen (null) or one of the slots, set or not.
  const ImageRef* target(Input& in) {
    const std::uint8_t sel = in.u8();
    return sel < 128 ? nullptr : &slots[sel % 4].image;
  }
};

void put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

// --- Argument words ---------------------------------------------------------------

std::uint32_t colour(Input& in) {
  const std::uint8_t sel = in.u8();
  if (sel < 32) return sel % 16;
  return in.u32();
}

// Coordinate kind, foreground bit and border-is-fill bit; sometimes any word.
std::int32_t flags_word(Input& in) {
  const std::uint8_t sel = in.u8();
  if (sel & 0x80) return in.i32();
  std::uint32_t f = sel & 7u;
  if (sel & 0x08) f |= kUseForeground;
  if (sel & 0x10) f |= static_cast<std::uint32_t>(kPaintBorderIsFill);
  return static_cast<std::int32_t>(f);
}

std::int32_t mode_flags(Input& in) {
  static const std::int32_t kFlags[] = {0, kModeFlagsNoWindow, kModeFlagsQuiet, kModeFullscreen,
                                        kModeLayered, kModeAlphaBlend, kModeAlphaBlend | kModeLayered,
                                        kModeOpengl | kModeHighPriority};
  const std::uint8_t sel = in.u8();
  return sel < 200 ? kFlags[sel % std::size(kFlags)] : in.i32();
}

int depth(Input& in) {
  const std::uint8_t sel = in.u8();
  return sel < 224 ? kDepths[sel % std::size(kDepths)] : static_cast<int>(in.u8()) - 8;
}

int dimension(Input& in, int limit) {
  static const int kOdd[] = {0, -1, 1, 2, 3, 7, std::numeric_limits<int>::min(), 32768};
  const std::uint8_t sel = in.u8();
  return sel < 16 ? kOdd[sel % std::size(kOdd)] : 1 + in.below(limit);
}

int refresh(Input& in) {
  const std::uint8_t sel = in.u8();
  return sel < 128 ? 0 : sel < 192 ? 60 : in.i32();
}

// --- Mode sets ---------------------------------------------------------------------

void op_screen_res(Input& in, Harness&) {
  const int w = dimension(in, 320), h = dimension(in, 240), d = depth(in);
  const int pages = in.below(5) - 1;
  const std::int32_t flags = mode_flags(in);
  gfx_screen_res(w, h, d, pages, flags, refresh(in));
}

void op_screen_numbered(Input& in, Harness&) {
  const int number = in.below(27) - 1;
  const int d = depth(in);
  const int pages = in.below(3);  // 0: the row's own count
  const std::int32_t flags = mode_flags(in);
  gfx_screen_numbered(number, d, pages, flags, refresh(in));
}

void op_set_mode(Input& in, Harness&) {
  const int number = in.below(4) - 1;
  const int w = dimension(in, 320), h = dimension(in, 240), d = depth(in);
  const int scanline = in.below(10);
  const int pages = in.below(4) - 1;
  const int r = refresh(in);
  const int palette = in.below(6) - 1, font = in.below(5) - 1;
  const std::int32_t flags = mode_flags(in);
  const float aspect = in.real();
  const int columns = in.below(300) - 20, rows = in.below(300) - 20;
  gfx_set_mode(number, w, h, d, scanline, pages, r, palette, font, flags, aspect, columns, rows);
}

void op_screen_close(Input&, Harness&) { gfx_screen_close(); }

// --- Primitives --------------------------------------------------------------------

void op_line(Input& in, Harness& h) {
  const ImageRef* t = h.target(in);
  const float x1 = in.real(), y1 = in.real(), x2 = in.real(), y2 = in.real();
  const std::uint32_t c = colour(in);
  const std::uint8_t k = in.u8();
  const std::int32_t kind = k < 240 ? k % 3 : in.i32();
  const std::uint8_t s = in.u8();
  const std::uint32_t style = s < 128 ? 0xFFFFu : s < 160 ? 0u : in.u32();
  gfx_line(t, x1, y1, x2, y2, c, kind, style, flags_word(in));
}

void op_circle(Input& in, Harness& h) {
  const ImageRef* t = h.target(in);
  const float x = in.real(), y = in.real(), r = in.radius();
  const std::uint32_t c = colour(in);
  const std::uint8_t a = in.u8();
  const float aspect = a < 96 ? 0.0f : a < 128 ? 1.0f : in.real();
  float start = 0.0f, end = kFullTurn;
  if (in.u8() >= 96) {
    start = in.real();
    end = in.real();
  }
  const std::uint8_t f = in.u8();
  const std::int32_t fill = f < 250 ? f & 1 : in.i32();
  gfx_circle(t, x, y, r, c, aspect, start, end, fill, flags_word(in));
}

void op_paint(Input& in, Harness& h) {
  const ImageRef* t = h.target(in);
  const float x = in.real(), y = in.real();
  const std::uint32_t fill = colour(in), border = colour(in);
  const std::uint8_t m = in.u8();
  const std::int32_t mode = m < 120 ? kPaintSolid : m < 240 ? kPaintPattern : in.i32();
  std::string pattern = in.bytes(300);
  gfx_paint(t, x, y, fill, border, std::move(pattern), mode, flags_word(in));
}

// --- Views and user-coordinate windows ----------------------------------------------

void op_view(Input& in, Harness&) {
  switch (in.u8() % 4) {
    case 0: {
      const std::int32_t x1 = in.number(340), y1 = in.number(260);
      const std::int32_t x2 = in.number(340), y2 = in.number(260);
      gfx_set_view(x1, y1, x2, y2, in.flag());
      break;
    }
    case 1: gfx_reset_view(); break;
    case 2: {
      const float x1 = in.real(), y1 = in.real(), x2 = in.real(), y2 = in.real();
      gfx_set_window(x1, y1, x2, y2, in.flag());
      break;
    }
    default: gfx_reset_window(); break;
  }
}

// Copies between the screen and images of every size, key or none, with
// rectangles anywhere.
void op_image_blit(Input& in, Harness& h) {
  const ImageRef* target = h.target(in);
  const ImageRef* source = h.target(in);
  const std::int32_t x = in.number(340), y = in.number(260), sx = in.number(340), sy = in.number(260);
  const std::int32_t w = in.number(400), hh = in.number(300);
  const bool keyed = in.flag();
  gfx_blit(target, x, y, source, sx, sy, w, hh, keyed, colour(in));
}

// Console output: any bytes at a cursor anywhere, regions of any rows.
void op_text_output(Input& in, Harness&) {
  switch (in.u8() % 5) {
    case 0: text_print(in.bytes(300)); break;
    case 1: text_locate(in.number(80), in.number(120)); break;
    case 2: text_set_region(in.number(80), in.number(80)); break;
    case 3: text_set_colours(in.u32(), in.u32()); break;
    default: text_clear_region(); break;
  }
}

// --- Text ------------------------------------------------------------------------

// A put routine as a caller would write it: copies (or blends) the rectangle
// it is given, trusting the library's arguments, at the target's pixel size.
void put_glyph(const std::uint8_t* src, std::uint8_t* dest, int width, int height, int src_pitch,
               int dest_pitch, std::uint32_t colour_value, GlyphBlendFn blend, void* param) {
  const int bpp = gfx_context().target_bytes_per_pixel;
  for (int r = 0; r < height; ++r) {
    const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(r) * src_pitch;
    std::uint8_t* d = dest + static_cast<std::ptrdiff_t>(r) * dest_pitch;
    for (int x = 0; x < width; ++x) {
      std::uint32_t sv = 0, dv = 0;
      std::memcpy(&sv, s + static_cast<std::ptrdiff_t>(x) * bpp, static_cast<std::size_t>(bpp));
      std::memcpy(&dv, d + static_cast<std::ptrdiff_t>(x) * bpp, static_cast<std::size_t>(bpp));
      const std::uint32_t v = blend ? blend(sv & colour_value, dv, param) : sv;
      std::memcpy(d + static_cast<std::ptrdiff_t>(x) * bpp, &v, static_cast<std::size_t>(bpp));
    }
  }
}

std::uint32_t blend_glyph(std::uint32_t s, std::uint32_t d, void*) { return blend_pixel(s, d); }

void op_draw_string(Input& in, Harness& h) {
  const ImageRef* t = h.target(in);
  const float x = in.real(), y = in.real();
  const std::int32_t flags = flags_word(in);
  std::optional<std::string> text;  // none: the null text
  if (in.u8() >= 8) text = in.bytes(400);
  const std::uint32_t c = colour(in);
  const std::uint8_t f = in.u8();
  const ImageRef* font = f < 128 ? nullptr : &h.slots[f % 4].image;
  const std::uint8_t m = in.u8();
  const std::int32_t mode = m < 128 ? 0 : m < 224 ? 6 : in.i32();
  const std::uint8_t p = in.u8();
  const GlyphPutFn put = (p & 1) ? put_glyph : nullptr;
  const GlyphBlendFn blend = (p & 2) ? blend_glyph : nullptr;
  gfx_draw_string(t, x, y, flags, text ? std::string_view(*text) : std::string_view(), c, font, mode, put, blend,
                  nullptr);
}

void op_text_grid(Input& in, Harness&) {
  const std::int32_t columns = in.number(330), rows = in.number(250);
  const std::int32_t result = gfx_set_text_grid(columns, rows);
  const ScreenMode* mode = current_mode();
  if (mode && columns <= 0 && rows <= 0 &&
      result != std::int32_t(std::uint32_t(mode->text_columns) | (std::uint32_t(mode->text_rows) << 16)))
    std::abort();
}

void op_clear_screen(Input& in, Harness&) {
  const std::uint8_t sel = in.u8();
  gfx_clear_screen(sel < 240 ? sel % 3 : in.i32());
}

// Titles of any bytes and length, the view without data included.
void op_window_title(Input& in, Harness&) {
  if (in.u8() < 16) {
    gfx_window_title(std::string_view());
    return;
  }
  const std::string title = in.bytes(300);
  gfx_window_title(title);
  if (std::strlen(window_title()) > 127) std::abort();
}

// --- Images and image fonts ----------------------------------------------------------

// A header of either layout with fields near or far from the truth, memory of
// a size that may lie about it, and contents from the input.
void op_make_image(Input& in, Harness& h) {
  ImageSlot& slot = h.slots[in.u8() % 4];
  const bool long_header = in.flag();
  static const std::uint32_t kPixelSizes[] = {1, 2, 4, 0, 3, 5, 8, 0xFFFFFFFFu};
  const std::uint32_t bpp = in.pick(kPixelSizes);
  const std::uint32_t width = in.u8() < 224 ? 1 + in.below(64) : in.u32();
  const std::uint32_t height = in.u8() < 224 ? 1 + in.below(64) : in.u32();
  const std::uint32_t real_bpp = bpp == 0 ? 4 : std::min<std::uint32_t>(bpp, 8);
  std::uint32_t pitch = width * real_bpp + (in.u8() % 8);
  if (in.u8() >= 240) pitch = in.u32();
  const std::size_t header = long_header ? kLongImageHeader : kShortImageHeader;
  std::uint64_t honest = header + std::uint64_t(std::min<std::uint32_t>(height, 4096)) *
                                      std::min<std::uint32_t>(pitch, 65536);
  const std::uint8_t lie = in.u8();
  std::uint64_t size = honest;
  if (lie >= 160) size = lie < 224 ? honest - std::min<std::uint64_t>(honest, 1 + in.u8()) : in.below(4096);
  size = std::min<std::uint64_t>(size, kMaxImageBytes);
  slot.reset(static_cast<std::size_t>(size));
  std::uint8_t head[kLongImageHeader] = {};
  if (long_header) {
    const std::uint32_t words[5] = {in.u8() < 240 ? kImageHeaderMagic : in.u32(), bpp, width, height, pitch};
    std::memcpy(head, words, sizeof words);
  } else {
    put16(head, static_cast<std::uint16_t>((bpp & 7) | (width << 3)));
    put16(head + 2, static_cast<std::uint16_t>(height));
  }
  std::memcpy(slot.memory.get(), head, std::min<std::size_t>(size, header));
  // Pixels: a fill byte, then bytes from the input (the first row of an image font).
  std::memset(slot.memory.get() + std::min<std::size_t>(size, header), in.u8(),
              size - std::min<std::size_t>(size, header));
  const std::string body = in.bytes(64);
  if (size > header) std::memcpy(slot.memory.get() + header, body.data(), std::min<std::size_t>(body.size(), size - header));
}

// An image font that follows the rules (glyph widths that fit, the target's
// pixel size), which the input may then bend by a byte.
void op_make_font(Input& in, Harness& h) {
  ImageSlot& slot = h.slots[in.u8() % 4];
  const int bpp = current_mode() && in.u8() < 200 ? gfx_context().target_bytes_per_pixel : 1 << in.below(3);
  if (bpp <= 0) return;
  int first = in.u8(), last = in.u8();
  if (last < first) std::swap(first, last);
  last = std::min(last, first + 60);
  const int count = last - first + 1;
  std::vector<std::uint8_t> widths(static_cast<std::size_t>(count));
  int total = 0;
  for (auto& w : widths) total += (w = static_cast<std::uint8_t>(in.below(12)));
  const int width = std::max({total, (3 + count + bpp - 1) / bpp, 4});
  const int height = 2 + in.below(20);
  const std::size_t size = kLongImageHeader + std::size_t(height) * std::size_t(width) * std::size_t(bpp);
  slot.reset(size);
  write_image_header(slot.memory.get(), bpp, width, height);
  std::uint8_t* row = slot.memory.get() + kLongImageHeader;
  std::memset(row, in.u8(), size - kLongImageHeader);
  row[0] = 0;
  row[1] = static_cast<std::uint8_t>(in.flag() ? first : last);
  row[2] = static_cast<std::uint8_t>(row[1] == first ? last : first);
  std::memcpy(row + 3, widths.data(), widths.size());
  if (in.u8() >= 192) {
    const int at = in.below(static_cast<int>(std::min<std::size_t>(size, 65535)));
    slot.memory[static_cast<std::size_t>(at)] = in.u8();
  }
}

void op_shrink_image(Input& in, Harness& h) {
  ImageSlot& slot = h.slots[in.u8() % 4];
  slot.shrink(in.below(static_cast<int>(std::min<std::size_t>(slot.image.size + 1, 65535))));
}

void op_read_header(Input& in, Harness& h) {
  const ImageSlot& slot = h.slots[in.u8() % 4];
  const int screen_bpp = in.below(6);
  if (auto info = read_image_header(slot.image, screen_bpp)) {
    // What a valid header promises must lie within the image.
    const std::uint64_t end = std::uint64_t(info->pixels - slot.image.bytes) +
                              std::uint64_t(info->height - 1) * std::uint64_t(info->pitch) +
                              std::uint64_t(info->width) * std::uint64_t(info->bytes_per_pixel);
    if (end > slot.image.size) std::abort();
  }
}

// --- Keys --------------------------------------------------------------------------

// 0 reads back as "no key", so the writer never queues it (a wait would not
// see it as a key and go on waiting).
std::int32_t key_code(std::int32_t v) { return v == 0 ? 1 : v; }

std::uint16_t odd_base_character(std::uint16_t virtual_key) {
  return static_cast<std::uint16_t>(virtual_key * 2654435761u >> 16);
}

void op_translate_key(Input& in, Harness&) {
  const std::uint8_t character = in.u8();
  const std::uint16_t scan = in.u8() < 200 ? in.u8() : in.u16();
  const std::uint16_t vk = in.u8() < 200 ? in.u8() : in.u16();
  const std::int32_t state = in.u8() < 200 ? in.u16() & 0x1FF : in.i32();
  static const BaseCharFn kBase[] = {us_base_character, nullptr, odd_base_character};
  const std::int32_t code = translate_key(character, scan, vk, state, in.pick(kBase));
  scan_code_for_key(vk);
  if (in.flag()) key_queue_put(key_code(code));
}

void op_key_queue(Input& in, Harness&) {
  switch (in.u8() % 8) {
    case 0: key_queue_put(key_code(in.i32())); break;
    case 1: key_queue_get(); break;
    case 2: take_key_arrived(); break;
    case 3: key_queue_pending(); break;
    case 4: {
      const std::string s = key_code_to_string(in.i32());
      if (s.empty() || s.size() > 2) std::abort();
      break;
    }
    case 5: for (int n = in.below(40); n > 0; --n) key_queue_put(key_code(in.u16())); break;
    case 6: key_is_down(in.u8() < 200 ? in.u8() : in.i32()); break;
    default: gfx_key_is_down(in.i32()); break;
  }
}

// Reading and waiting, called only where they cannot block: the text
// console's read (the terminal) is left out, and waits run only with a key
// there to end them.
void op_key_read(Input& in, Harness&) {
  const bool mode = current_mode() != nullptr;
  switch (in.u8() % 6) {
    case 0: if (mode) read_key(); break;
    case 1: gfx_read_key(); break;
    case 2: key_pending(); gfx_key_pending(); break;
    case 3: if (!mode || key_queue_pending()) wait_key(); break;
    case 4: if (!mode || key_queue_pending()) gfx_wait_key(); break;
    default: {
      const std::int32_t ms = in.u8() < 128 ? -1 : -static_cast<std::int32_t>(in.u8());
      if (ms != -1 || !mode || key_queue().key_arrived) gfx_sleep(ms);
      break;
    }
  }
}

// --- Unpacking and row conversion -----------------------------------------------------

void op_lzw(Input& in, Harness&) {
  const std::string packed = in.bytes(1024);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(packed.data()), packed.size());
  static const std::size_t kCapacities[] = {0, 1, 2, 4095, kBuiltinBlockSize, std::numeric_limits<std::size_t>::max()};
  const std::uint8_t sel = in.u8();
  const std::size_t capacity = sel < 128 ? kCapacities[sel % std::size(kCapacities)] : in.u16();
  if (auto out = lzw_unpack(bytes, capacity); out && out->size() > capacity) std::abort();
  if (in.u8() < 16) {  // packing must round-trip whatever it is given
    auto round = lzw_unpack(lzw_pack(bytes), std::numeric_limits<std::size_t>::max());
    if (!round || !std::equal(round->begin(), round->end(), bytes.begin(), bytes.end())) std::abort();
  }
}

int dest_bytes(int dest_depth) { return dest_depth == 8 ? 1 : dest_depth <= 16 ? 2 : dest_depth == 24 ? 3 : 4; }

// Converts the current mode's marked rows into a buffer of exactly the
// window's size (top-down or bottom-up).
void op_blit(Input& in, Harness&) {
  const std::uint8_t sel = in.u8();
  const int dest_depth = sel < 240 ? kDestDepths[sel % std::size(kDestDepths)] : in.i32();
  const ChannelOrder order = in.flag() ? ChannelOrder::kSwapped : ChannelOrder::kStandard;
  const bool layered = in.u8() < 32;
  const bool bottom_up = in.flag();
  const int padding = in.below(8);
  ScreenMode* mode = current_mode();
  const Blitter blit = layered ? blit_layered_copy : select_blitter(dest_depth, order);
  if (!mode || !blit) return;
  for (int n = in.below(6); n > 0; --n) {  // mark rows: single ones or all
    const int y = in.below(mode->height + 1);
    if (y == mode->height)
      std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), 1);
    else
      mode->dirty_rows[static_cast<std::size_t>(y)] = 1;
  }
  const std::int32_t step = mode->width * (layered ? 4 : dest_bytes(dest_depth)) + padding;
  const std::size_t rows = std::size_t(mode->height) * std::size_t(layered ? 1 : mode->scanline_size);
  std::vector<std::uint8_t> window(rows * std::size_t(step));
  if (bottom_up)
    blit(window.data() + (rows - 1) * std::size_t(step), -step);
  else
    blit(window.data(), step);
}

// --- The call table -------------------------------------------------------------------

struct Call {
  const char* name;
  void (*run)(Input&, Harness&);
};

constexpr Call kCalls[] = {
    {"screen_res", op_screen_res},     {"screen_numbered", op_screen_numbered},
    {"set_mode", op_set_mode},         {"screen_close", op_screen_close},
    {"line", op_line},                 {"line", op_line},
    {"circle", op_circle},             {"circle", op_circle},
    {"paint", op_paint},               {"draw_string", op_draw_string},
    {"draw_string", op_draw_string},   {"text_grid", op_text_grid},
    {"clear_screen", op_clear_screen}, {"make_image", op_make_image},
    {"make_font", op_make_font},       {"shrink_image", op_shrink_image},
    {"read_header", op_read_header},   {"translate_key", op_translate_key},
    {"key_queue", op_key_queue},       {"key_read", op_key_read},
    {"lzw", op_lzw},                   {"blit", op_blit},
    {"view", op_view},                 {"view", op_view},
    {"window_title", op_window_title}, {"image_blit", op_image_blit},
    {"text_output", op_text_output},
};

// QZ_FUZZ_TRACE=1 lists the calls of each input, for reading a finding.
bool tracing() {
  static const bool on = [] {
    const char* v = std::getenv("QZ_FUZZ_TRACE");
    return v && *v == '1';
  }();
  return on;
}

struct SlowestCall {
  const char* name = nullptr;
  long long us = 0;
};
SlowestCall g_slowest;

void print_slowest_call() {
  if (g_slowest.name)
    std::fprintf(stderr, "fuzz_gfx: slowest call: %s, %lld ms\n", g_slowest.name, g_slowest.us / 1000);
}

long call_budget_ms() {
  static const long budget = [] {
    const char* v = std::getenv("QZ_FUZZ_CALL_BUDGET_MS");
    return v && *v ? std::atol(v) : kDefaultCallBudgetMs;
  }();
  return budget;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Before the first mode set: no window is ever opened.
  setenv("QZGFX", "null", 1);
  std::atexit(print_slowest_call);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  Harness harness;
  const auto input_start = std::chrono::steady_clock::now();
  for (int n = 0; n < kMaxCalls && !in.empty(); ++n) {
    const Call& call = kCalls[in.u8() % std::size(kCalls)];
    const auto start = std::chrono::steady_clock::now();
    call.run(in, harness);
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    const long long ms = us / 1000;
    if (us > g_slowest.us) g_slowest = {call.name, us};
    if (tracing()) {
      const ScreenMode* mode = current_mode();
      std::fprintf(stderr, "fuzz_gfx: %d %s %lld us -> mode %dx%dx%d\n", n, call.name, static_cast<long long>(us),
                   mode ? mode->width : 0, mode ? mode->height : 0, mode ? mode->depth : 0);
    }
    if (ms > call_budget_ms()) {
      std::fprintf(stderr, "fuzz_gfx: call %d (%s) took %lld ms\n", n, call.name, ms);
      std::abort();
    }
    if (std::chrono::steady_clock::now() - input_start > std::chrono::milliseconds(kInputBudgetMs)) break;
  }
  // Every input starts from text mode and an empty key queue.
  gfx_screen_close();
  while (key_queue_get() != 0) {
  }
  take_key_arrived();
  return 0;
}
