#include "gfx/context.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "gfx/raster_screen.h"

namespace qz {

namespace {

// Each thread's context lives as long as the thread. The hot path reads a
// plain thread-local pointer, which needs no per-access initialisation check;
// the owner only runs at the thread's first call and at its end.
thread_local std::unique_ptr<GfxContext> t_context_owner;

void use_routines(GfxContext& ctx, int bytes_per_pixel) {
  ctx.routines = &pixel_routines(bytes_per_pixel);
  ctx.put_pixel = ctx.routines->put_solid;
  ctx.fill_span = ctx.routines->span_solid;
  ctx.get_pixel = ctx.routines->read_pixel;
}

void initialise(GfxContext& ctx, const RasterScreen& mode) {
  ctx = GfxContext{};
  ctx.mode_id = mode.id;
  ctx.rows.resize(static_cast<std::size_t>(mode.height));
  ctx.view_width = ctx.saved_view[2] = mode.width;
  ctx.view_height = ctx.saved_view[3] = mode.height;
  ctx.foreground = (mode.depth >= 5 && mode.depth <= 8) ? 15u : mode.colour_mask;
  ctx.background = mode.colour_mask & 0xFF000000u;
  ctx.context_flags = kContextRebuild;
  gfx_set_target(ctx, nullptr);
}

// A thread that draws on images before any screen opens: 32-bit defaults.
void initialise_without_mode(GfxContext& ctx) {
  ctx.foreground = 0xFFFFFFFFu;
  ctx.background = 0xFF000000u;
  ctx.context_flags = kContextRebuild;
  use_routines(ctx, 4);
}

bool select_image(GfxContext& ctx, const ImageRef& image) {
  if (is_selected_image(ctx, image)) return true;
  auto info = read_image_header(image, raster_screen_bytes_per_pixel());
  if (!info) return false;
  if (!draws_on_image(ctx)) {
    ctx.saved_view[0] = ctx.view_x;
    ctx.saved_view[1] = ctx.view_y;
    ctx.saved_view[2] = ctx.view_width;
    ctx.saved_view[3] = ctx.view_height;
  }
  ctx.view_x = ctx.view_y = 0;
  ctx.view_width = info->width;
  ctx.view_height = info->height;
  ctx.target_bytes_per_pixel = info->bytes_per_pixel;
  ctx.target_pitch = info->pitch;
  use_routines(ctx, info->bytes_per_pixel);
  if (ctx.rows.size() < static_cast<std::size_t>(info->height)) ctx.rows.resize(info->height);
  for (int i = 0; i < info->height; ++i) ctx.rows[i] = info->pixels + static_cast<std::ptrdiff_t>(i) * info->pitch;
  ctx.context_flags |= kContextImage;
  ctx.target = image.bytes;
  ctx.target_size = image.size;
  ctx.target_header_size = info->long_header ? kLongHeaderWords * 4 : kShortImageHeader;
  std::memcpy(ctx.target_header, image.bytes, ctx.target_header_size);
  return true;
}

}  // namespace

constinit thread_local GfxContext* context_detail::current = nullptr;

GfxContext& context_detail::refresh(const RasterScreen* mode) {
  if (!current) {
    t_context_owner = std::make_unique<GfxContext>();
    current = t_context_owner.get();
    if (!mode) initialise_without_mode(*current);
  }
  if (mode && current->mode_id != mode->id) initialise(*current, *mode);
  return *current;
}

bool context_detail::select_target(GfxContext& ctx, const ImageRef* image) {
  if (image) return select_image(ctx, *image);
  const RasterScreen* mode = current_screen();
  if (!mode) return false;
  if (!(ctx.context_flags & (kContextRebuild | kContextImage))) return true;
  // Back from an image, the screen's own view returns; a new work page keeps
  // the view the thread has.
  if (draws_on_image(ctx)) {
    ctx.view_x = ctx.saved_view[0];
    ctx.view_y = ctx.saved_view[1];
    ctx.view_width = ctx.saved_view[2];
    ctx.view_height = ctx.saved_view[3];
  }
  ctx.target_bytes_per_pixel = mode->bytes_per_pixel;
  ctx.target_pitch = mode->pitch;
  if (ctx.rows.size() < static_cast<std::size_t>(mode->height)) ctx.rows.resize(mode->height);
  std::uint8_t* page = mode->pages[static_cast<std::size_t>(ctx.work_page)];
  for (int i = 0; i < mode->height; ++i) ctx.rows[i] = page + static_cast<std::ptrdiff_t>(i) * mode->pitch;
  use_routines(ctx, mode->bytes_per_pixel);
  ctx.context_flags &= ~(kContextRebuild | kContextImage);
  ctx.target = nullptr;
  return true;
}

void gfx_apply_relative(GfxContext& ctx, int kind, float& x1, float& y1, float* x2, float* y2) {
  kind &= 7;
  bool first_relative = kind == 2 || kind == 3 || kind == 5;
  bool second_relative = (kind == 1 || kind == 3) && x2 && y2;
  if (first_relative) {
    x1 += ctx.last_x;
    y1 += ctx.last_y;
  }
  if (second_relative) {
    *x2 += x1;
    *y2 += y1;
  }
  if (x2 && y2) {
    ctx.last_x = *x2;
    ctx.last_y = *y2;
  } else {
    ctx.last_x = x1;
    ctx.last_y = y1;
  }
}

PrimitiveSetup context_detail::begin_primitive_slow(const ImageRef* target, std::uint32_t colour, std::int32_t flags) {
  GfxContext* ctx;
  if (target) {
    ctx = &image_context();
  } else {
    if (!current_screen()) return {nullptr, 0};
    ctx = &gfx_context();
  }
  if (!gfx_set_target(*ctx, target)) return {nullptr, 0};
  std::uint32_t c = effective_colour(*ctx, colour, flags);
  gfx_select_colour_routines(*ctx, c);
  return {ctx, c};
}

}  // namespace qz
