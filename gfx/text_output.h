#pragma once

// Console-style text output on the screen: characters go into the text grid's
// cells at a cursor, in the text colours, within a region of rows that
// scrolls. The state lives in the mode (RasterScreen::text_output).

#include <cstdint>
#include <string_view>

namespace qz {

struct RasterScreen;

// The whole grid as the region and the cursor at its top-left; colours kept.
void text_output_reset_region(RasterScreen& mode);
// After a mode set: as above, and the colours become the context's.
void text_output_reset(RasterScreen& mode);
// The cursor to the region's first row, column 1.
void text_output_home(RasterScreen& mode);

// The region's pixel rows in the current font, within the screen (first >
// last when there are none).
struct PixelRows {
  int first, last;
};
PixelRows text_region_pixel_rows(const RasterScreen& mode);

// Prints bytes at the cursor: "\n" next row, "\r" column 1, "\t" the next
// column that is a multiple of 8 from 0; a row past the region's last
// scrolls the region up one row. Every other byte is a glyph.
void text_print(std::string_view text);
// Moves the cursor (0 keeps a coordinate); kept inside the region and grid.
void text_locate(int row, int column);
// Confines output to rows top..bottom (0, 0: all); false when they are not
// rows of the grid. Homes the cursor.
bool text_set_region(int top, int bottom);
// Colours as pixel values of the screen's size.
void text_set_colours(std::uint32_t foreground, std::uint32_t background);
// The region's rows to spaces in the text background; homes the cursor.
void text_clear_region();

}  // namespace qz
