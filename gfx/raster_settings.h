#pragma once

// What drawing on an image takes from the screen: whether colours blend, the
// pixel size of short image headers, the circles' default aspect and the
// font text is drawn in. The mode set publishes them; image drawing reads
// only these, never the screen record, which another thread may replace
// while it draws. Without a screen they are the defaults below.

#include <atomic>

namespace qz {

struct FontRecord;

struct RasterSettings {
  bool alpha_blend = false;
  int screen_bytes_per_pixel = 4;
  float aspect = 1.0f;
  const FontRecord* font = nullptr;  // null: the built-in 8 x 8 font
};

namespace raster_settings_detail {
extern std::atomic<bool> alpha_blend;
extern std::atomic<int> screen_bytes_per_pixel;
extern std::atomic<float> aspect;
extern std::atomic<const FontRecord*> font;
}  // namespace raster_settings_detail

void publish_raster_settings(const RasterSettings& settings);
void publish_raster_font(const FontRecord* font);

inline bool raster_alpha_blend() {
  return raster_settings_detail::alpha_blend.load(std::memory_order_relaxed);
}
inline int raster_screen_bytes_per_pixel() {
  return raster_settings_detail::screen_bytes_per_pixel.load(std::memory_order_relaxed);
}
inline float raster_aspect() { return raster_settings_detail::aspect.load(std::memory_order_relaxed); }
const FontRecord& raster_font();

}  // namespace qz
