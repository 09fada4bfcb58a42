#pragma once

// The single current graphics mode and everything hanging from it. The mode
// set owns it from one mode set to the next; drawing, presentation and input
// read it. current_mode() is null in text mode.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "display/page_buffer.h"
#include "gfx/raster_screen.h"
#include "input/input_screen.h"

namespace qz {

struct DisplayDriver;
struct PaletteRecord;

// Mode flags handed to the mode set (a signed 32-bit word).
enum ModeFlag : std::int32_t {
  kModeFullscreen = 0x01,
  kModeOpengl = 0x02,
  kModeNoMaximize = 0x04,
  kModeFrameless = 0x08,
  kModeLayered = 0x10,
  kModeTopmost = 0x20,
  kModeAlphaBlend = 0x40,
  kModeHighPriority = 0x80,
  kModeResizable = 0x100,          // the picture scales with the window
  kModeDesktopFullscreen = 0x200,  // fullscreen at the desktop's mode, scaled
};
constexpr std::int32_t kModeFlagsNoWindow = -1;
constexpr std::int32_t kModeFlagsQuiet = static_cast<std::int32_t>(0x80000000u);

// Bits of ScreenMode::flags.
enum ModeBehaviour : std::int32_t {
  kBehaviourAlphaBlend = 0x8,
  kBehaviourHighPriority = 0x20,
  kBehaviourOpengl = 0x20000000,
};

// The raster layer's part (pages, rows to repaint, text grid, lock), the input
// layer's (key states, events) and the display's own: the driver, palettes.
struct ScreenMode : RasterScreen, InputScreen {
  std::int32_t mode_number = 0;
  std::vector<PageBuffer> page_blocks;  // owns the pages
  std::array<std::uint32_t, 256> palette{};         // red bits 0-7, green 8-15, blue 16-23
  std::array<std::uint32_t, 256> device_palette{};  // as last handed to the driver
  std::array<std::uint8_t, 16> colour_map{};
  const DisplayDriver* driver = nullptr;
  const PaletteRecord* default_palette = nullptr;
  std::int32_t scanline_size = 1;
  std::int32_t refresh_rate = 0;
  std::int32_t flags = 0;
};

// The current mode, or null in text mode. The mode set owns it and makes it
// the current screen (and input screen), so it is that screen seen whole.
inline ScreenMode* current_mode() { return static_cast<ScreenMode*>(current_screen()); }

// Set modes and return to text mode. Results and the last-error number:
// 0 success, 1 failure.
void gfx_screen_res(int width, int height, int depth, int pages, int flags, int refresh);
int gfx_set_mode(int mode_number, int width, int height, int depth, int scanline_size, int pages,
                 int refresh, int palette_index, int font_index, int flags, float aspect,
                 int text_columns, int text_rows);
int gfx_screen_numbered(int mode_number, int depth, int pages, int flags, int refresh);
void gfx_screen_close();

// One row of the numbered-mode table.
struct NumberedMode {
  std::uint16_t width, height;
  std::uint8_t depth, scanline_size, pages, palette_index, font_index, text_columns, text_rows;
};
extern const std::array<NumberedMode, 22> kNumberedModes;

}  // namespace qz
