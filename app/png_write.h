#pragma once

#include <cstdint>
#include <string>

// Writes 32-bit 0xAARRGGBB pixels (rows `pitch` bytes apart) as an RGBA PNG,
// alpha kept. False on failure.
bool write_png(const std::string& path, const std::uint8_t* pixels, int width, int height, int pitch);
