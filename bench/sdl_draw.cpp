#include "bench/sdl_draw.h"

#include <SDL.h>

#include <stdexcept>
#include <string>

SdlCanvas::SdlCanvas(std::uint8_t* frame) {
  surface_ = SDL_CreateRGBSurfaceWithFormatFrom(frame, kFrameWidth, kFrameHeight, 32, kFrameWidth * 4,
                                                SDL_PIXELFORMAT_ARGB8888);
  if (!surface_) throw std::runtime_error(std::string("SDL surface: ") + SDL_GetError());
  renderer_ = SDL_CreateSoftwareRenderer(surface_);
  if (!renderer_) {
    SDL_FreeSurface(surface_);
    throw std::runtime_error(std::string("SDL software renderer: ") + SDL_GetError());
  }
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
}

SdlCanvas::~SdlCanvas() {
  SDL_DestroyRenderer(renderer_);
  SDL_FreeSurface(surface_);
}

void SdlCanvas::draw(const Workload& workload) {
  for (const WorkloadItem& it : workload.items) {
    SDL_SetRenderDrawColor(renderer_, Uint8(it.colour >> 16), Uint8(it.colour >> 8), Uint8(it.colour),
                           Uint8(it.colour >> 24));
    if (workload.kind == WorkloadKind::kBox) {
      SDL_Rect r{it.x0, it.y0, it.x1 - it.x0 + 1, it.y1 - it.y0 + 1};
      SDL_RenderFillRect(renderer_, &r);
    } else if (workload.kind == WorkloadKind::kLines) {
      SDL_RenderDrawLine(renderer_, it.x0, it.y0, it.x1, it.y1);
    }
  }
  SDL_RenderFlush(renderer_);
}
