#include "gfx/raster_settings.h"

#include "gfx/builtin_data.h"

namespace qz {

std::atomic<bool> raster_settings_detail::alpha_blend{false};
std::atomic<int> raster_settings_detail::screen_bytes_per_pixel{4};
std::atomic<float> raster_settings_detail::aspect{1.0f};
std::atomic<const FontRecord*> raster_settings_detail::font{nullptr};

void publish_raster_settings(const RasterSettings& settings) {
  using namespace raster_settings_detail;
  alpha_blend.store(settings.alpha_blend, std::memory_order_relaxed);
  screen_bytes_per_pixel.store(settings.screen_bytes_per_pixel, std::memory_order_relaxed);
  aspect.store(settings.aspect, std::memory_order_relaxed);
  publish_raster_font(settings.font);
}

// The font records are the built-in block's, which lives as long as the process.
void publish_raster_font(const FontRecord* font) {
  raster_settings_detail::font.store(font, std::memory_order_release);
}

const FontRecord& raster_font() {
  const FontRecord* font = raster_settings_detail::font.load(std::memory_order_acquire);
  return font ? *font : builtin_font(0);
}

}  // namespace qz
