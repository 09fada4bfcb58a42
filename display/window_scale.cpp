#include "display/window_scale.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "display/picture_fit.h"
#include "runtime/error_message.h"

namespace qz {

namespace {

std::atomic<int> g_program_scale{1};

}  // namespace

void set_window_scale(int scale) { g_program_scale = scale; }

int window_scale_for_open() {
  const int scale = parse_window_scale(std::getenv("QZGFX_SCALE"));
  return scale >= 0 ? scale : g_program_scale.load();
}

std::string window_scale_note() {
  const char* text = std::getenv("QZGFX_SCALE");
  if (parse_window_scale(text) != kScaleRefused) return {};
  return "QZGFX_SCALE=\"" + one_line(text, 40) + "\" is no scale (1 to 8, or auto)";
}

}  // namespace qz
