// libFuzzer target for the PNG loader: the input is a file, read from
// memory through the same code as a file on disk. Beside what ASan and UBSan
// catch, a finding is: an image above QZ_IMAGE_MAX_PIXELS, a failure without
// a one-line reason, a load slower than the budget, or a small image that
// does not come back the same once saved and loaded again.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include <unistd.h>

#include <qzgfx/qzgfx.h>

#include "gfx/png_io.h"
#include "gfx/public_image.h"

namespace {

// Decoding the largest image the loader accepts takes well under a second;
// QZ_FUZZ_CALL_BUDGET_MS overrides, as for the graphics target.
constexpr long kDefaultLoadBudgetMs = 10000;
// Images up to this many pixels are saved and loaded again.
constexpr long kMaxRoundTripPixels = 4096;

long load_budget_ms() {
  static const long budget = [] {
    const char* v = std::getenv("QZ_FUZZ_CALL_BUDGET_MS");
    return v && *v ? std::atol(v) : kDefaultLoadBudgetMs;
  }();
  return budget;
}

[[noreturn]] void finding(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_png: %s: %s\n", what, detail.c_str());
  std::abort();
}

std::uint32_t read32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Mutated chunks would nearly all fail their checksum and end the read
// there: the checksums are made right, so the data behind them is reached.
std::vector<std::uint8_t> with_right_checksums(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(data, data + size);
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint32_t length = read32(&file[at]);
    if (length > file.size() - at - 12) break;
    const uLong crc = crc32(0, &file[at + 4], uInt(length) + 4);
    for (int i = 0; i < 4; ++i) file[at + 8 + length + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
    at += 12 + std::size_t(length);
  }
  return file;
}

qz::PngImage load_from_memory(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!file) finding("fmemopen failed", std::strerror(errno));
  qz::PngImage png = qz::read_png(file);
  std::fclose(file);
  return png;
}

const std::string& scratch_path() {
  static const std::string path = [] {
    char name[] = "/tmp/qz-fuzz-png-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) finding("mkstemp failed", std::strerror(errno));
    close(fd);
    return std::string(name);
  }();
  return path;
}

void remove_scratch() { std::remove(scratch_path().c_str()); }

bool same_pixels(const qz_image* a, const qz_image* b) {
  if (a->width != b->width || a->height != b->height) return false;
  for (int y = 0; y < a->height; ++y)
    if (std::memcmp(a->pixels + std::size_t(y) * std::size_t(a->pitch), b->pixels + std::size_t(y) * std::size_t(b->pitch),
                    std::size_t(a->width) * 4) != 0)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch_path();
  std::atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen wants at least a byte
  // Odd inputs as they are, even ones with their checksums made right.
  const std::vector<std::uint8_t> fixed = size % 2 ? std::vector<std::uint8_t>() : with_right_checksums(data, size);
  const auto start = std::chrono::steady_clock::now();
  qz::PngImage png = fixed.empty() ? load_from_memory(data, size) : load_from_memory(fixed.data(), fixed.size());
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  if (ms > load_budget_ms()) finding("slow load", std::to_string(ms) + " ms");

  if (!png.image) {
    if (png.error.empty() || png.error.find_first_of("\n\r") != std::string::npos)
      finding("failure without a one-line reason", png.error);
    return 0;
  }
  qz_image* image = png.image;
  if (image->bytes_per_pixel != 4 || std::uint64_t(image->width) * std::uint64_t(image->height) > QZ_IMAGE_MAX_PIXELS)
    finding("image beyond the limit", std::to_string(image->width) + " x " + std::to_string(image->height));

  if (long(image->width) * long(image->height) <= kMaxRoundTripPixels) {
    const std::string error = qz::write_png(scratch_path().c_str(), image->pixels, image->width, image->height, image->pitch);
    if (!error.empty()) finding("saving failed", error);
    qz::PngImage again = qz::read_png(scratch_path().c_str());
    if (!again.image) finding("its own file does not load", again.error);
    if (!same_pixels(image, again.image)) finding("pixels changed by saving and loading", "");
    qz_image_free(again.image);
  }
  qz_image_free(image);
  return 0;
}
