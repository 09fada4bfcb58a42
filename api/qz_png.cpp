// The public PNG functions: a 4-byte image (or the visible page of a 32-bit
// screen) to a file and back, over the PNG reader and writer.

#include <string>

#include <qzgfx/qzgfx.h>

#include "gfx/raster_screen.h"
#include "gfx/png_io.h"
#include "gfx/public_image.h"
#include "gfx/screen_lock.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"

namespace {

int saved(const std::string& error) {
  if (!error.empty()) {
    qz::fail_with(error.c_str());
    return 1;
  }
  qz::set_last_error(0);
  return 0;
}

// "<function>: <path>: <reason>", the path escaped onto the one line.
std::string about_file(const char* function, const char* path, const std::string& reason) {
  return std::string(function) + ": " + qz::one_line(path) + ": " + reason;
}

int written(const char* path, const std::string& error) {
  return saved(error.empty() ? error : about_file("qz_image_save_png", path, error));
}

}  // namespace

int qz_image_save_png(const qz_image* image, const char* path) {
  if (!path) return saved("qz_image_save_png: no file name");
  if (image) {
    if (image->bytes_per_pixel != 4) return saved("qz_image_save_png: only 4-byte images can be saved");
    return written(path, qz::write_png(path, image->pixels, image->width, image->height, image->pitch));
  }
  qz::RasterScreen* mode = qz::current_screen();
  if (!mode) return saved("qz_image_save_png: no screen is open");
  if (mode->bytes_per_pixel != 4) return saved("qz_image_save_png: only a 32-bit screen can be saved");
  // The visible page is only read, but drawing on it must not change it
  // half-way through the file.
  qz::screen_lock();
  const std::string error = qz::write_png(path, mode->visible_framebuffer, mode->width, mode->height, mode->pitch);
  qz::screen_unlock(1, 0);
  return written(path, error);
}

qz_image* qz_image_load_png(const char* path) {
  const qz::PngImage png = qz::read_png(path);
  if (!png.image) {
    qz::fail_with((path ? about_file("qz_image_load_png", path, png.error) : "qz_image_load_png: " + png.error).c_str());
    return nullptr;
  }
  qz::set_last_error(0);
  return png.image;
}
