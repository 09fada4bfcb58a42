#include "gfx/pixel_routines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "gfx/context.h"
#include "gfx/raster_settings.h"

namespace qz {

namespace {

bool mode_blends() { return raster_alpha_blend(); }

template <typename Pixel>
void put_solid(GfxContext& ctx, int x, int y, std::uint32_t colour) {
  Pixel value = static_cast<Pixel>(colour);
  std::memcpy(ctx.pixel_address(x, y), &value, sizeof(Pixel));
}

template <typename Pixel>
std::uint32_t read_pixel(const GfxContext& ctx, int x, int y) {
  Pixel value;
  std::memcpy(&value, ctx.pixel_address(x, y), sizeof(Pixel));
  return value;
}

// Sanitized builds fill through the plain loop, which they instrument: the
// string store and the C library's wide fill would be invisible to them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QZ_PLAIN_FILLS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QZ_PLAIN_FILLS 1
#endif
#endif
#if !defined(QZ_PLAIN_FILLS) && defined(__x86_64__) && defined(__GNUC__)
#define QZ_STRING_STORE 1
#endif
#if !defined(QZ_PLAIN_FILLS) && defined(__GLIBC__)
#define QZ_WIDE_FILL 1
#endif

#if defined(QZ_STRING_STORE)
// Runs of at least this many 32-bit pixels (a box of whole rows is one run)
// go to the processor's string store, which writes at the speed of the C
// library's memset; the vector loop of wmemset stays 10-20 % behind it there,
// while below about 16 KiB the string store's start-up costs more than it saves.
constexpr int kStringStoreMin = 4096;

void store_words(std::uint8_t* row, std::uint32_t value, std::size_t count) {
  asm volatile("rep stosl" : "+D"(row), "+c"(count) : "a"(value) : "memory");
}
#endif

template <typename Pixel>
void span_solid(std::uint8_t* row, std::uint32_t colour, int count) {
  if (count <= 0) return;
  const Pixel value = static_cast<Pixel>(colour);
  // Screen rows are pixel-aligned and take the plain loop, which the compiler
  // turns into wide stores. An image's memory and pitch are the caller's, so
  // its rows may start anywhere: those are written byte-wise.
  if (reinterpret_cast<std::uintptr_t>(row) % alignof(Pixel) == 0) {
#if defined(QZ_STRING_STORE)
    if constexpr (sizeof(Pixel) == 4) {
      if (count >= kStringStoreMin) {
        store_words(row, value, std::size_t(count));
        return;
      }
    }
#endif
#if defined(QZ_WIDE_FILL)
    // The C library's wide fill picks the widest stores the processor has
    // at run time; wchar_t is the 32-bit pixel here.
    if constexpr (sizeof(Pixel) == 4 && sizeof(wchar_t) == 4) {
      std::wmemset(reinterpret_cast<wchar_t*>(row), static_cast<wchar_t>(value), std::size_t(count));
      return;
    }
#endif
    std::fill_n(reinterpret_cast<Pixel*>(row), count, value);
    return;
  }
  for (int i = 0; i < count; ++i)
    std::memcpy(row + static_cast<std::size_t>(i) * sizeof(Pixel), &value, sizeof(Pixel));
}

template <typename Pixel>
void copy_pixels(std::uint8_t* dest, const std::uint8_t* src, int count) {
  if (count > 0) std::memmove(dest, src, static_cast<std::size_t>(count) * sizeof(Pixel));
}

// Loads and stores through memcpy: image rows need not be aligned.
void put_blend32(GfxContext& ctx, int x, int y, std::uint32_t colour) {
  std::uint8_t* p = ctx.pixel_address(x, y);
  std::uint32_t d;
  std::memcpy(&d, p, sizeof d);
  const std::uint32_t v = mode_blends() ? blend_pixel(colour, d) : colour;
  std::memcpy(p, &v, sizeof v);
}

void span_blend32(std::uint8_t* row, std::uint32_t colour, int count) {
  if (!mode_blends()) {
    span_solid<std::uint32_t>(row, colour, count);
    return;
  }
  for (int i = 0; i < count; ++i) {
    std::uint8_t* p = row + static_cast<std::size_t>(i) * 4;
    std::uint32_t d;
    std::memcpy(&d, p, sizeof d);
    d = blend_pixel(colour, d);
    std::memcpy(p, &d, sizeof d);
  }
}

constexpr PixelRoutines kRoutines8 = {put_solid<std::uint8_t>,  put_solid<std::uint8_t>,
                                      span_solid<std::uint8_t>, span_solid<std::uint8_t>,
                                      read_pixel<std::uint8_t>, copy_pixels<std::uint8_t>};
constexpr PixelRoutines kRoutines16 = {put_solid<std::uint16_t>,  put_solid<std::uint16_t>,
                                       span_solid<std::uint16_t>, span_solid<std::uint16_t>,
                                       read_pixel<std::uint16_t>, copy_pixels<std::uint16_t>};
constexpr PixelRoutines kRoutines32 = {put_solid<std::uint32_t>,  put_blend32,
                                       span_solid<std::uint32_t>, span_blend32,
                                       read_pixel<std::uint32_t>, copy_pixels<std::uint32_t>};

}  // namespace

const PixelRoutines& pixel_routines(int bytes_per_pixel) {
  switch (bytes_per_pixel) {
    case 2: return kRoutines16;
    case 4: return kRoutines32;
    default: return kRoutines8;
  }
}

}  // namespace qz
