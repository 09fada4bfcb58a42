#include "gfx/png_io.h"

#include <cstdio>
#include <cstring>
#include <memory>

#if defined(QZ_HAVE_PNG)
#include <png.h>
#endif

namespace qz {

#if defined(QZ_HAVE_PNG)

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// Images larger than this are refused before their rows are allocated: a
// file may claim any size in its header.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

std::string cannot(const char* what, const char* path) { return std::string("cannot ") + what + " " + path; }

}  // namespace

std::string write_png(const char* path, const std::uint8_t* pixels, int width, int height, int pitch) {
  if (!path || !pixels || width <= 0 || height <= 0) return "nothing to save";
  File file(std::fopen(path, "wb"), std::fclose);
  if (!file) return cannot("create", path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  std::vector<std::uint8_t> row(std::size_t(width) * 4);
  // libpng reports its errors by a long jump to here.
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return cannot("write", path);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, std::uint32_t(width), std::uint32_t(height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = pixels + std::size_t(y) * std::size_t(pitch);
    for (int x = 0; x < width; ++x) {
      std::uint32_t p;
      std::memcpy(&p, src + std::size_t(x) * 4, 4);
      row[std::size_t(x) * 4 + 0] = std::uint8_t(p >> 16);
      row[std::size_t(x) * 4 + 1] = std::uint8_t(p >> 8);
      row[std::size_t(x) * 4 + 2] = std::uint8_t(p);
      row[std::size_t(x) * 4 + 3] = std::uint8_t(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(file.get()) == 0 ? std::string() : cannot("write", path);
}

PngPixels read_png(const char* path) {
  PngPixels result;
  if (!path) {
    result.error = "no file name";
    return result;
  }
  File file(std::fopen(path, "rb"), std::fclose);
  if (!file) {
    result.error = cannot("open", path);
    return result;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) {
    result.error = "out of memory";
    return result;
  }
  png_infop info = png_create_info_struct(png);
  // Everything the jump back may leave behind is made before it.
  std::vector<std::uint8_t> rgba;
  std::vector<png_bytep> rows;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    result = PngPixels{};
    result.error = path + std::string(" is not a PNG file libpng can read");
    return result;
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  const std::uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (std::uint64_t(width) * height > kMaxPixels || width > 32767 || height > 32767) {
    png_destroy_read_struct(&png, &info, nullptr);
    result.error = path + std::string(" is too large");
    return result;
  }
  // Every format becomes 8-bit RGBA.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  rgba.resize(std::size_t(width) * height * 4);
  rows.resize(height);
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = rgba.data() + std::size_t(y) * width * 4;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  result.width = int(width);
  result.height = int(height);
  result.pixels.resize(std::size_t(width) * height);
  for (std::size_t i = 0; i < result.pixels.size(); ++i) {
    const std::uint8_t* p = &rgba[i * 4];
    result.pixels[i] = std::uint32_t(p[3]) << 24 | std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
  }
  return result;
}

#else

std::string write_png(const char*, const std::uint8_t*, int, int, int) { return "qzgfx was built without PNG support"; }

PngPixels read_png(const char*) {
  PngPixels result;
  result.error = "qzgfx was built without PNG support";
  return result;
}

#endif

}  // namespace qz
