#pragma once

#include <cstdint>
#include <string>

namespace qz {

// Key reading for the program. While a graphics mode exists these read the
// key queue (installed as the console hooks by the mode set); otherwise
// read_key falls back to the text console.

// The oldest pending key as 0, 1 or 2 bytes; never waits; the empty result
// allocates nothing.
std::string read_key();
std::int32_t wait_key();
std::int32_t key_pending();
// -1 while the key with that scan code is down, else 0.
std::int32_t key_is_down(std::int32_t scan_code);
// Sleeps, waking early when a key arrives; -1 waits for a key.
void gfx_sleep(std::int32_t milliseconds);

// The text console's versions, used while no graphics mode exists
// (input/posix/, input/win32/).
std::string console_read_key();
void console_sleep(int milliseconds);

// The graphics versions themselves (the hooks the mode set installs).
std::string gfx_read_key();
std::int32_t gfx_wait_key();
std::int32_t gfx_key_pending();
std::int32_t gfx_key_is_down(std::int32_t scan_code);

}  // namespace qz
