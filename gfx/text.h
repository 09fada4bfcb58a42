#pragma once

#include <cstdint>
#include <string_view>

#include "gfx/image.h"

namespace qz {

struct GfxContext;

// Copies one glyph of an image font to the target: source and destination
// addresses, the width and height to copy, the font's and the target's
// pitch, the colour and the blend routine with its parameter.
using GlyphBlendFn = std::uint32_t (*)(std::uint32_t src, std::uint32_t dest, void* param);
using GlyphPutFn = void (*)(const std::uint8_t* src, std::uint8_t* dest, int width, int height,
                            int src_pitch, int dest_pitch, std::uint32_t colour,
                            GlyphBlendFn blend, void* blend_param);

// Changes the text grid (and with it the built-in font); returns 0 after a
// change request, or columns | rows << 16 when both arguments are <= 0.
std::int32_t gfx_set_text_grid(std::int32_t columns, std::int32_t rows);

// Area 0: the whole working page; 1: the view; 2: the text output rows.
void gfx_clear_screen(std::int32_t area);

// Releases every page's cell buffer and, if create, makes new ones and fills
// the working page's with spaces in the context's colours.
void gfx_reset_text_cells(GfxContext& ctx, bool create);

// Draws bytes as glyphs with their top-left corner at (x, y). A null text
// (a string_view without data, as default-constructed) fails; an empty one
// draws nothing. Returns 0, or 1 when it failed (a null text, a target or
// font image that breaks the rules, no font for the screen); the caller sets
// the last error.
std::int32_t gfx_draw_string(const ImageRef* target, float x, float y, std::int32_t flags,
                             std::string_view text, std::uint32_t colour,
                             const ImageRef* font, std::int32_t mode, GlyphPutFn put,
                             GlyphBlendFn blend, void* blend_param);

}  // namespace qz
