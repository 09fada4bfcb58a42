#pragma once

// The screen as the raster layer sees it: the pages drawing goes to, the rows
// the presentation must repaint, the text grid, and the lock that keeps the
// presentation out while pixels are written. The display layer owns it (its
// mode record extends it) and makes it current; null while no screen is open.

#include <atomic>
#include <cstdint>
#include <vector>

namespace qz {

struct FontRecord;

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

struct RasterScreen {
  std::int32_t id = 0;                  // new for every screen: thread contexts compare it
  std::vector<std::uint8_t*> pages;     // start of each page
  std::int32_t page_count = 0;
  std::int32_t visible_page = 0;
  std::uint8_t* visible_framebuffer = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t depth = 0;
  std::int32_t bytes_per_pixel = 0;
  std::int32_t pitch = 0;
  std::vector<std::uint8_t> dirty_rows;  // height * scanline_size flags
  std::uint32_t colour_mask = 0;
  const FontRecord* default_font = nullptr;
  std::int32_t text_columns = 0;
  std::int32_t text_rows = 0;
  float aspect = 1.0f;
  std::vector<std::vector<TextCell>> text_cells;  // one buffer per page
  TextOutput text_output;
  // Depth of the screen lock of its last taker: a record for inspection (each
  // thread counts its own nesting), written by any drawing thread.
  std::atomic<std::int32_t> lock_count{0};
  // The presentation's lock, taken at the outermost screen lock; either may be null.
  void (*lock)() = nullptr;
  void (*unlock)() = nullptr;
};

namespace screen_detail {
extern RasterScreen* current;
}
// Read by every drawing call on the screen, so inline.
inline RasterScreen* current_screen() { return screen_detail::current; }
void set_current_screen(RasterScreen* screen);

}  // namespace qz
