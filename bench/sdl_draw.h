#pragma once

#include <cstdint>

#include "bench/workloads.h"

struct SDL_Surface;
struct SDL_Renderer;

// The SDL2 column: its software renderer on a surface over the same
// 1680 x 1050 x 32 memory. It has lines and filled rectangles, no circles or
// fills.
class SdlCanvas {
 public:
  explicit SdlCanvas(std::uint8_t* frame);
  ~SdlCanvas();
  SdlCanvas(const SdlCanvas&) = delete;
  SdlCanvas& operator=(const SdlCanvas&) = delete;

  static bool supports(WorkloadKind kind) { return kind == WorkloadKind::kBox || kind == WorkloadKind::kLines; }
  // Draws and flushes the renderer's queue, so the pixels are in the frame.
  void draw(const Workload& workload);

 private:
  SDL_Surface* surface_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
};
