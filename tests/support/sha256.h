#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 of a byte range as 64 lower-case hex digits (for golden pictures).
std::string sha256_hex(const std::uint8_t* data, std::size_t size);
