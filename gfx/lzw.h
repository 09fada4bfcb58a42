#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qz {

// The packing of the built-in data: 12-bit LZW codes, two codes in three
// bytes (first = b0 | (b1 & 0x0F) << 8, second = b1 >> 4 | b2 << 4). Codes
// below 256 are bytes, the dictionary grows from 256, code 4095 ends the data
// and no code is defined once the next free code reaches 4095.
constexpr std::uint16_t kLzwEnd = 4095;

std::vector<std::uint8_t> lzw_pack(std::span<const std::uint8_t> data);

// Unpacks at most `capacity` bytes. Stops at the end code, at the end of the
// input or at capacity; null for malformed input (a code beyond the next
// free one, or a dictionary chain longer than 4095 bytes).
std::optional<std::vector<std::uint8_t>> lzw_unpack(std::span<const std::uint8_t> packed,
                                                    std::size_t capacity);

}  // namespace qz
