#include "gfx/png_io.h"

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <qzgfx/qzgfx.h>

#include "gfx/public_image.h"

#if defined(QZ_HAVE_PNG)
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qz {

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

}  // namespace

#if defined(QZ_HAVE_PNG)

namespace {

#if defined(_WIN32)
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
// A FIFO opened without O_NONBLOCK waits for a writer before it is judged.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

// The sides qz_image_create takes; libpng refuses wider headers itself.
constexpr std::uint32_t kMaxSide = 65535;
// No chunk the loader reads (palette, transparency, image data streamed in
// pieces) needs a larger allocation: whatever a chunk's length claims,
// libpng never allocates more than this for it.
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;

#if !defined(PNG_HANDLE_AS_UNKNOWN_SUPPORTED) || !defined(PNG_SET_USER_LIMITS_SUPPORTED)
#error "the PNG loader needs a libpng that can skip chunks and limit what it allocates"
#endif

// libpng's reason for giving up, kept for the message. It reports by a long
// jump back to the caller's setjmp, past nothing that needs destroying; the
// reason lives outside the caller's frame, which the jump may not restore.
struct Reason {
  char text[128];
};
thread_local Reason t_reason;

Reason* fresh_reason() {
  t_reason.text[0] = '\0';
  return &t_reason;
}

const char* reason_or(const char* otherwise) { return t_reason.text[0] ? t_reason.text : otherwise; }

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  Reason* reason = static_cast<Reason*>(png_get_error_ptr(png));
  std::snprintf(reason->text, sizeof reason->text, "%s", message ? message : "libpng failed");
  png_longjmp(png, 1);
}

// Warnings are about what libpng skipped or repaired; it reads on.
void on_warning(png_structp, png_const_charp) {}

// What the reader keeps of a file is only what the pixels need, so that a
// short file cannot make it allocate, decompress or cache much.
void read_only_pixels(png_structp png) {
  // Every ancillary chunk except transparency is skipped, its data never
  // allocated nor decompressed (text, suggested palettes, profiles, ...).
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
}

// libpng's transformations turn every format into 0xAARRGGBB words, so the
// rows are decoded where they end up.
void to_native_argb(png_structp png) {
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  if constexpr (std::endian::native == std::endian::little) {
    png_set_bgr(png);  // bytes B, G, R, A
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    png_set_add_alpha(png, 0xFF, PNG_FILLER_BEFORE);
    png_set_swap_alpha(png);  // bytes A, R, G, B
  }
}

std::string system_reason() { return std::strerror(errno); }

}  // namespace

std::string write_png(const char* path, const std::uint8_t* pixels, int width, int height, int pitch) {
  if (!path) return "no file name";
  if (!pixels || width <= 0 || height <= 0) return "nothing to save";
  File file(std::fopen(path, "wb"), std::fclose);
  if (!file) return system_reason();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, fresh_reason(), on_error, on_warning);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  std::vector<std::uint8_t> row(std::size_t(width) * 4);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return reason_or("out of memory");
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
  // A full disk shows only when the buffered rest is written.
  if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0) return system_reason();
  return {};
}

PngImage read_png(std::FILE* file) {
  PngImage result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, fresh_reason(), on_error, on_warning);
  if (!png) {
    result.error = "out of memory";
    return result;
  }
  png_infop info = png_create_info_struct(png);
  // Set after the setjmp and needed after the jump back: volatile.
  qz_image* volatile image = nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    qz_image_free(image);
    result.error = reason_or("out of memory");
    return result;
  }
  png_init_io(png, file);
  read_only_pixels(png);
  png_read_info(png, info);
  const std::uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  // Refused from the header, before anything the size claims is allocated.
  if (std::uint64_t(width) * height > QZ_IMAGE_MAX_PIXELS) {
    png_destroy_read_struct(&png, &info, nullptr);
    char text[96];
    std::snprintf(text, sizeof text, "%u x %u pixels is more than QZ_IMAGE_MAX_PIXELS (%d)", unsigned(width),
                  unsigned(height), QZ_IMAGE_MAX_PIXELS);
    result.error = text;
    return result;
  }
  to_native_argb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  image = qz_image_create(int(width), int(height), 4);
  if (!image) png_error(png, "out of memory");
  // Each pass of an interlaced image revisits every row.
  for (int pass = 0; pass < passes; ++pass)
    for (std::uint32_t y = 0; y < height; ++y)
      png_read_row(png, image->pixels + std::size_t(y) * std::size_t(image->pitch), nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  result.image = image;
  return result;
}

PngImage read_png(const char* path) {
  PngImage result;
  if (!path) {
    result.error = "no file name";
    return result;
  }
  // Judged by what was opened, not by the name: no gap in which the name
  // could come to mean something else.
  const int fd = ::open(path, kOpenFlags);
  if (fd < 0) {
    result.error = system_reason();
    return result;
  }
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    result.error = system_reason();
  } else if (!S_ISREG(st.st_mode)) {
    result.error = S_ISDIR(st.st_mode) ? "a directory, not a file" : "not a regular file";
  }
  if (!result.error.empty()) {
    ::close(fd);
    return result;
  }
  File file(::fdopen(fd, "rb"), std::fclose);
  if (!file) {
    result.error = system_reason();
    ::close(fd);
    return result;
  }
  return read_png(file.get());
}

#else

std::string write_png(const char*, const std::uint8_t*, int, int, int) {
  return "qzgfx was built without PNG support";
}

PngImage read_png(std::FILE*) {
  PngImage result;
  result.error = "qzgfx was built without PNG support";
  return result;
}

PngImage read_png(const char*) { return read_png(static_cast<std::FILE*>(nullptr)); }

#endif

}  // namespace qz
