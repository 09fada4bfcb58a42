// Key reading for the program: the runtime's entry points, which go to the
// console hooks a graphics mode installs (or to the text console without
// one), and the graphics versions that read the key queue.

#include "input/key_read.h"

#include "gfx/screen_lock.h"
#include "input/input_screen.h"
#include "input/key_queue.h"
#include "runtime/console_hooks.h"
#include "runtime/error_message.h"
#include "runtime/termination.h"

namespace qz {

namespace {

constexpr std::int32_t kWaitKeyPollMs = 20;
constexpr std::int32_t kSleepKeyTestMs = 50;
constexpr std::int32_t kShortSleepMs = 100;  // shorter sleeps test no key
constexpr std::uint32_t kKeyStateSize = 128;

// The runtime's sleep: the mode's own while one exists.
void runtime_sleep(int milliseconds) {
  if (auto hook = console_hooks().sleep) {
    hook(milliseconds);
  } else {
    console_sleep(milliseconds);
  }
}

}  // namespace

std::string read_key() {
  runtime_poll_termination();
  if (auto hook = console_hooks().read_key) return hook();
  return console_read_key();
}

std::int32_t wait_key() {
  runtime_poll_termination();
  if (auto hook = console_hooks().wait_key) return hook();
  return 0;  // the text console offers no key to wait for
}

std::int32_t key_pending() {
  if (auto hook = console_hooks().key_pending) return hook();
  return 0;
}

std::int32_t key_is_down(std::int32_t scan_code) {
  if (auto hook = console_hooks().key_is_down) return hook(scan_code);
  return 0;  // key states are known only while a window has the keyboard
}

std::string gfx_read_key() {
  if (current_input() == nullptr) return {};
  poll_input_events();
  const std::int32_t code = key_queue_get();
  if (code == 0) return {};  // an empty std::string allocates nothing
  return key_code_to_string(code);
}

std::int32_t gfx_wait_key() {
  for (;;) {
    poll_input_events();
    if (current_input() != nullptr)
      if (const std::int32_t code = key_queue_get()) return code;
    // Without a window (none, the Null driver, a lost display) no key can
    // come: waiting would never end.
    if (const char* why = input_unavailable_reason()) {
      const std::string text = std::string("no key can come: ") + why;
      fail_with(text.c_str());
      return 0;
    }
    runtime_sleep(kWaitKeyPollMs);
    runtime_poll_termination();
  }
}

std::int32_t gfx_key_pending() {
  poll_input_events();
  return key_queue_pending();
}

std::int32_t gfx_key_is_down(std::int32_t scan_code) {
  InputScreen* input = current_input();
  if (input == nullptr || static_cast<std::uint32_t>(scan_code) >= kKeyStateSize) return 0;
  poll_input_events();
  screen_lock();
  const std::int32_t v = input->key_state[static_cast<std::size_t>(scan_code)] != 0 ? -1 : 0;
  screen_unlock(1, 0);
  return v;
}

// The key-interruptible sleep the mode installs as the runtime's sleep. It
// never goes through the sleep hook itself, which may point back here.
void gfx_sleep(std::int32_t milliseconds) {
  runtime_poll_termination();
  std::int32_t ms = milliseconds;
  if (ms == -1) {
    // Without a mode no key can arrive: waiting would never end.
    while (current_input() != nullptr) {
      poll_input_events();
      if (take_key_arrived() == 1) return;
      console_sleep(kSleepKeyTestMs);
      runtime_poll_termination();
    }
    return;
  }
  if (ms <= 0) return;
  if (ms < kShortSleepMs || current_input() == nullptr) {
    console_sleep(ms);
    return;
  }
  for (;;) {
    poll_input_events();
    if (take_key_arrived() == 1) return;
    console_sleep(kSleepKeyTestMs);
    runtime_poll_termination();
    ms -= kSleepKeyTestMs;
    if (ms <= kSleepKeyTestMs) {
      console_sleep(ms);
      return;
    }
  }
}

}  // namespace qz
