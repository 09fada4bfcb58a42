#pragma once

// The single current graphics mode and everything hanging from it. The mode
// set owns it from one mode set to the next; drawing, presentation and input
// read it. current_mode() is null in text mode.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <vector>

#include "display/page_buffer.h"
#include "input/window_event.h"

namespace qz {

struct DisplayDriver;
struct FontRecord;
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
};
constexpr std::int32_t kModeFlagsNoWindow = -1;
constexpr std::int32_t kModeFlagsQuiet = static_cast<std::int32_t>(0x80000000u);

// Bits of ScreenMode::flags.
enum ModeBehaviour : std::int32_t {
  kBehaviourAlphaBlend = 0x8,
  kBehaviourHighPriority = 0x20,
  kBehaviourOpengl = 0x20000000,
};

// What text output has put on the screen, one cell per grid position.
struct TextCell {
  std::uint16_t character = 0;
  std::uint32_t foreground = 0;
  std::uint32_t background = 0;
};

// Where console-style printing goes: the rows it may use and scroll (from 1,
// inclusive), its cursor and its colours as pixel values.
struct TextOutput {
  std::int32_t top = 1, bottom = 0;
  std::int32_t row = 1, column = 1;
  std::uint32_t foreground = 0, background = 0;
};

struct ScreenMode {
  std::int32_t id = 0;
  std::int32_t mode_number = 0;
  std::vector<PageBuffer> page_blocks;  // owns the pages
  std::vector<std::uint8_t*> pages;     // start of each page
  std::int32_t page_count = 0;
  std::int32_t visible_page = 0;
  std::uint8_t* visible_framebuffer = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t depth = 0;
  std::int32_t bytes_per_pixel = 0;
  std::int32_t pitch = 0;
  std::array<std::uint32_t, 256> palette{};         // red bits 0-7, green 8-15, blue 16-23
  std::array<std::uint32_t, 256> device_palette{};  // as last handed to the driver
  std::array<std::uint8_t, 16> colour_map{};
  std::vector<std::uint8_t> dirty_rows;  // height * scanline_size flags
  const DisplayDriver* driver = nullptr;
  std::uint32_t colour_mask = 0;
  const PaletteRecord* default_palette = nullptr;
  std::int32_t scanline_size = 1;
  const FontRecord* default_font = nullptr;
  std::int32_t text_columns = 0;
  std::int32_t text_rows = 0;
  float aspect = 1.0f;
  std::array<std::uint8_t, 128> key_state{};
  std::int32_t refresh_rate = 0;
  std::vector<std::vector<TextCell>> text_cells;  // one buffer per page
  TextOutput text_output;
  std::array<WindowEvent, kEventRingSize> event_ring{};
  std::int32_t event_read = 0;
  std::int32_t event_write = 0;
  std::binary_semaphore event_guard{1};
  std::int32_t flags = 0;
  // Depth of the screen lock of its last taker: a record for inspection (each
  // thread counts its own nesting), written by any drawing thread.
  std::atomic<std::int32_t> lock_count{0};
};

// The current mode, or null in text mode. The mode set owns it; this is
// the one pointer every drawing call reads, so it is read inline.
namespace mode_detail {
extern ScreenMode* current;
}
inline ScreenMode* current_mode() { return mode_detail::current; }

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
