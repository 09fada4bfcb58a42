#include "gfx/view.h"

#include <algorithm>
#include <cmath>

#include "gfx/raster_screen.h"
#include "gfx/context.h"

namespace qz {

void gfx_set_view(int x1, int y1, int x2, int y2, bool absolute) {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  GfxContext& ctx = gfx_context();
  gfx_set_target(ctx, nullptr);
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  x1 = std::clamp(x1, 0, mode->width - 1);
  x2 = std::clamp(x2, 0, mode->width - 1);
  y1 = std::clamp(y1, 0, mode->height - 1);
  y2 = std::clamp(y2, 0, mode->height - 1);
  ctx.view_x = x1;
  ctx.view_y = y1;
  ctx.view_width = x2 - x1 + 1;
  ctx.view_height = y2 - y1 + 1;
  ctx.context_flags |= kContextViewSet;
  if (absolute)
    ctx.context_flags |= kContextAbsolute;
  else
    ctx.context_flags &= ~std::uint32_t(kContextAbsolute);
}

void gfx_reset_view() {
  RasterScreen* mode = current_screen();
  if (!mode) return;
  GfxContext& ctx = gfx_context();
  gfx_set_target(ctx, nullptr);
  ctx.view_x = ctx.view_y = 0;
  ctx.view_width = mode->width;
  ctx.view_height = mode->height;
  ctx.context_flags &= ~std::uint32_t(kContextViewSet | kContextAbsolute);
}

void gfx_set_window(float x1, float y1, float x2, float y2, bool keep_y_down) {
  if (!current_screen()) return;
  GfxContext& ctx = gfx_context();
  float width = std::fabs(x2 - x1), height = std::fabs(y2 - y1);
  if (!(width > 0.0f) || !(height > 0.0f) || !std::isfinite(width) || !std::isfinite(height)) {
    gfx_reset_window();
    return;
  }
  ctx.window_x = std::min(x1, x2);
  ctx.window_y = std::min(y1, y2);
  ctx.window_width = width;
  ctx.window_height = height;
  ctx.context_flags |= kContextWindow;
  if (keep_y_down)
    ctx.context_flags |= kContextWindowNoFlip;
  else
    ctx.context_flags &= ~std::uint32_t(kContextWindowNoFlip);
}

void gfx_reset_window() {
  if (!current_screen()) return;
  GfxContext& ctx = gfx_context();
  ctx.context_flags &= ~std::uint32_t(kContextWindow | kContextWindowNoFlip);
  ctx.window_x = ctx.window_y = ctx.window_width = ctx.window_height = 0.0f;
}

}  // namespace qz
