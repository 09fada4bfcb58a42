#include "app/png_write.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

bool write_png(const std::string& path, const std::uint8_t* pixels, int width, int height, int pitch) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<std::uint8_t> row(std::size_t(width) * 4);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, std::uint32_t(width), std::uint32_t(height), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = pixels + std::size_t(y) * std::size_t(pitch);
    for (int x = 0; x < width; ++x) {
      std::uint32_t p;
      std::memcpy(&p, src + x * 4, 4);
      row[std::size_t(x) * 4 + 0] = std::uint8_t(p >> 16);
      row[std::size_t(x) * 4 + 1] = std::uint8_t(p >> 8);
      row[std::size_t(x) * 4 + 2] = std::uint8_t(p);
      row[std::size_t(x) * 4 + 3] = std::uint8_t(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(file.get()) == 0;
}
