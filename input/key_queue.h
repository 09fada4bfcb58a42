#pragma once

#include <cstdint>
#include <string>

namespace qz {

// The ring of key codes from the window's thread to the program's thread:
// 16 slots, at most 15 pending, the oldest dropped when full. Written only
// with the host lock held; read under the screen lock, which is the same.
struct KeyQueue {
  std::int32_t slots[16] = {};
  std::int32_t write_index = 0;
  std::int32_t read_index = 0;
  std::int32_t key_arrived = 0;
};

KeyQueue& key_queue();

void key_queue_put(std::int32_t code);
std::int32_t key_queue_get();
std::int32_t take_key_arrived();
// 1 while a code is pending, else 0; leaves key_arrived alone.
std::int32_t key_queue_pending();
// 1 or 2 bytes: code & 0xFF, then code >> 8 for extended codes.
std::string key_code_to_string(std::int32_t code);

}  // namespace qz
