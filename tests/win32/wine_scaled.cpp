// A 32-bit picture of 160 x 100 whose every pixel differs from its
// neighbours, in a resizable window opened at QZGFX_SCALE=2 by the back end
// QZGFX names. Writes what the client area must show (each picture pixel as
// a 2 x 2 block, BGRA) to the file given, prints the back end's name and
// "ready" once it is shown. A line on standard input then widens the client
// area to 400 x 200 (the picture then sits between black bars 40 pixels
// wide), writes what it must show and prints "resized"; the next ends it.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/win32_host.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"

using namespace qz;

int main(int argc, char** argv) {
  runtime_init(argc, argv, 0);
  constexpr int kWidth = 160, kHeight = 100, kScale = 2;
  gfx_screen_res(kWidth, kHeight, 32, 1, kModeResizable, 0);
  ScreenMode* mode = current_mode();
  if (argc < 2 || !mode) {
    std::printf("no window\n");
    return 1;
  }
  auto colour = [](int x, int y) { return std::uint32_t(x << 16 | y << 8 | ((x * 7 + y * 13) & 0xFF)); };
  mode->driver->lock();
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(mode->visible_framebuffer + std::size_t(y) * mode->pitch);
    for (int x = 0; x < kWidth; ++x) row[x] = colour(x, y);
  }
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
  mode->driver->unlock();
  // What a client area of `width` x 200 shows: the picture doubled, centred.
  auto write_shown = [&](int width) {
    const int left = (width - kWidth * kScale) / 2;
    std::vector<std::uint32_t> shown(std::size_t(width) * kHeight * kScale, 0);
    for (int y = 0; y < kHeight * kScale; ++y)
      for (int x = 0; x < kWidth * kScale; ++x)
        shown[std::size_t(y) * width + left + x] = colour(x / kScale, y / kScale);
    if (FILE* f = std::fopen(argv[1], "wb")) {
      std::fwrite(shown.data(), sizeof shown[0], shown.size(), f);
      std::fclose(f);
    }
  };
  write_shown(kWidth * kScale);
  Sleep(300);  // several presentation passes
  std::cout << mode->driver->name << " ready" << std::endl;
  std::string line;
  std::getline(std::cin, line);
  HWND window = win32_window().window;
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  SetWindowPos(window, nullptr, 0, 0, (outer.right - outer.left) - client.right + 400, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER);
  write_shown(400);
  Sleep(300);
  std::cout << "resized" << std::endl;
  std::getline(std::cin, line);
  runtime_end(0);
}
