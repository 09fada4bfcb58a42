// The public image functions and blits: a qz_image is one block holding the
// record, then a long image header and the rows, so one allocation serves it.

#include <cstdint>
#include <cstdlib>
#include <new>

#include <qzgfx/qzgfx.h>

#include "gfx/blit.h"
#include "gfx/raster_settings.h"
#include "gfx/public_image.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"

namespace {

constexpr std::uintptr_t kPixelAlignment = 16;
// The internal header stores sizes in 16 bits' range.
constexpr int kMaxSide = 0xFFFF;

std::size_t header_offset(std::uintptr_t block) {
  const std::uintptr_t after = block + sizeof(qz_image);
  return std::size_t(((after + kPixelAlignment - 1) & ~(kPixelAlignment - 1)) - block);
}

}  // namespace

qz_image* qz_image_create(int width, int height, int bytes_per_pixel) {
  if (bytes_per_pixel == 0) bytes_per_pixel = qz::raster_screen_bytes_per_pixel();
  if (bytes_per_pixel != 1 && bytes_per_pixel != 2 && bytes_per_pixel != 4) {
    qz::fail_with("qz_image_create: bytes per pixel must be 0, 1, 2 or 4");
    return nullptr;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    qz::fail_with("qz_image_create: width and height must be 1 to 65535");
    return nullptr;
  }
  if (std::uint64_t(width) * std::uint64_t(height) > QZ_IMAGE_MAX_PIXELS) {
    qz::fail_with("qz_image_create: more than QZ_IMAGE_MAX_PIXELS (67108864) pixels");
    return nullptr;
  }
  const std::uint64_t pixel_bytes = std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(bytes_per_pixel);
  // calloc's alignment may be less than the rows want: room to move up.
  const std::uint64_t total = sizeof(qz_image) + kPixelAlignment + qz::kLongImageHeader + pixel_bytes;
  if (total > std::uint64_t(PTRDIFF_MAX) || total > std::uint64_t(SIZE_MAX)) {
    qz::fail_with("qz_image_create: the image does not fit in memory");
    return nullptr;
  }
  // calloc: large images get memory the system has already cleared.
  void* block = std::calloc(1, std::size_t(total));
  if (!block) {
    qz::fail_with("qz_image_create: out of memory");
    return nullptr;
  }
  auto* image = new (block) qz_image;
  std::uint8_t* header = static_cast<std::uint8_t*>(block) + header_offset(reinterpret_cast<std::uintptr_t>(block));
  qz::write_image_header(header, bytes_per_pixel, width, height);
  image->ref = {header, std::size_t(qz::kLongImageHeader + pixel_bytes)};
  image->width = width;
  image->height = height;
  image->bytes_per_pixel = bytes_per_pixel;
  image->pitch = width * bytes_per_pixel;
  image->pixels = header + qz::kLongImageHeader;
  qz::set_last_error(0);
  return image;
}

void qz_image_free(qz_image* image) {
  if (!image) return;
  image->~qz_image();
  std::free(image);
}

int qz_image_width(const qz_image* image) { return image ? image->width : 0; }
int qz_image_height(const qz_image* image) { return image ? image->height : 0; }
int qz_image_bytes_per_pixel(const qz_image* image) { return image ? image->bytes_per_pixel : 0; }
int qz_image_pitch(const qz_image* image) { return image ? image->pitch : 0; }
void* qz_image_pixels(qz_image* image) { return image ? image->pixels : nullptr; }

namespace {

void report(const char* failure) {
  if (failure)
    qz::fail_with(failure);
  else
    qz::set_last_error(0);
}

}  // namespace

void qz_blit_region(qz_image* target, int x, int y, const qz_image* source, int sx, int sy, int w, int h) {
  report(qz::gfx_blit(qz::image_ref(target), x, y, qz::image_ref(source), sx, sy, w, h, false, 0));
}

void qz_blit(qz_image* target, int x, int y, const qz_image* source) {
  report(qz::gfx_blit(qz::image_ref(target), x, y, qz::image_ref(source), 0, 0, 0, 0, false, 0));
}

void qz_blit_transparent(qz_image* target, int x, int y, const qz_image* source, qz_colour transparent) {
  report(qz::gfx_blit(qz::image_ref(target), x, y, qz::image_ref(source), 0, 0, 0, 0, true, transparent));
}
