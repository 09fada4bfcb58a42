// The text console's key reading, used while no graphics mode exists: it
// takes what the terminal has pending, never waits, and gives one key in the
// same codes as the window path (cursor and function keys become extended
// codes through translate_key).

#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

#include "input/key_queue.h"
#include "input/key_read.h"
#include "input/key_translate.h"

namespace qz {

namespace {

constexpr unsigned char kEsc = 27;
constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kReturn = 13;

// A terminal key: the scan code and virtual key translate_key knows it by.
struct TermKey {
  char final_byte;  // letter ending ESC [ x / ESC O x; '~' for numbered ones
  int number;       // the number of ESC [ n ~, 0 for lettered ones
  std::uint16_t scan_code;
  std::uint16_t virtual_key;
  bool enhanced;
};

static constexpr std::array<TermKey, 20> kTermKeys{{
    {'A', 0, 72, vk::kUp, true},       {'B', 0, 80, vk::kDown, true},
    {'C', 0, 77, vk::kRight, true},    {'D', 0, 75, vk::kLeft, true},
    {'H', 0, 71, vk::kHome, true},     {'F', 0, 79, vk::kEnd, true},
    {'P', 0, 59, vk::kF1, false},      {'Q', 0, 60, vk::kF1 + 1, false},
    {'R', 0, 61, vk::kF1 + 2, false},  {'S', 0, 62, vk::kF1 + 3, false},
    {'~', 1, 71, vk::kHome, true},     {'~', 2, 82, vk::kInsert, true},
    {'~', 3, 83, vk::kDelete, true},   {'~', 4, 79, vk::kEnd, true},
    {'~', 5, 73, vk::kPrior, true},    {'~', 6, 81, vk::kNext, true},
    {'~', 11, 59, vk::kF1, false},     {'~', 12, 60, vk::kF1 + 1, false},
    {'~', 13, 61, vk::kF1 + 2, false}, {'~', 14, 62, vk::kF1 + 3, false},
}};

// Bytes read from the terminal but not yet handed out: one read may bring
// several keys. Only the program's thread reads the console.
struct Pending {
  std::array<unsigned char, 64> bytes{};
  std::size_t length = 0;

  void drop(std::size_t n) {
    std::memmove(bytes.data(), bytes.data() + n, length - n);
    length -= n;
  }
};
Pending g_pending;

// Switches the terminal to non-canonical, no-echo, non-blocking reads for
// its lifetime and restores the previous settings on every way out.
class RawTerminal {
 public:
  explicit RawTerminal(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawTerminal() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  bool active() const { return active_; }

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

void fill_pending() {
  const int fd = STDIN_FILENO;
  if (isatty(fd) == 0) return;
  // A background process that changes its terminal's settings is stopped
  // (SIGTTOU); it has no keys to read anyway.
  const pid_t foreground = tcgetpgrp(fd);
  if (foreground != -1 && foreground != getpgrp()) return;
  RawTerminal raw(fd);
  if (!raw.active()) return;
  const ssize_t n = read(fd, g_pending.bytes.data() + g_pending.length,
                         g_pending.bytes.size() - g_pending.length);
  if (n > 0) g_pending.length += static_cast<std::size_t>(n);
}

// Modifier bits of an xterm parameter (1 + Shift 1, Alt 2, Ctrl 4).
std::int32_t control_state_of(int parameter) {
  const int bits = parameter > 1 ? parameter - 1 : 0;
  std::int32_t state = 0;
  if (bits & 1) state |= kShift;
  if (bits & 2) state |= kLeftAlt;
  if (bits & 4) state |= kLeftCtrl;
  return state;
}

// Decodes an escape sequence at the start of the pending bytes. Returns the
// number of bytes it spans (0: not a complete sequence) and sets code to the
// key code, or 0 for a sequence of a key without one.
std::size_t decode_escape(const unsigned char* s, std::size_t n, std::int32_t& code) {
  code = 0;
  if (n < 3 || (s[1] != '[' && s[1] != 'O')) return 0;
  int params[2] = {0, 0};
  int count = 0;
  std::size_t i = 2;
  // The Linux console writes F1..F5 as ESC [ [ A..E.
  const bool linux_function_key = s[1] == '[' && s[2] == '[';
  if (linux_function_key) i = 3;
  for (; i < n; ++i) {
    const unsigned char b = s[i];
    if (b >= '0' && b <= '9') {
      if (count < 2) params[count] = params[count] * 10 + (b - '0');
    } else if (b == ';') {
      ++count;
    } else if (b >= 0x40 && b <= 0x7E) {
      break;
    } else {
      return 0;
    }
  }
  if (i >= n) return 0;
  char final_byte = static_cast<char>(s[i]);
  int number = final_byte == '~' ? params[0] : 0;
  if (linux_function_key) {
    if (final_byte < 'A' || final_byte > 'D') return i + 1;
    final_byte = static_cast<char>('P' + (final_byte - 'A'));
  }
  const int modifier = params[1];  // ESC [ 1 ; m A and ESC [ n ; m ~
  for (const TermKey& key : kTermKeys) {
    if (key.final_byte != final_byte || key.number != number) continue;
    const std::int32_t state = control_state_of(modifier) | (key.enhanced ? kEnhancedKey : 0);
    const std::int32_t translated = translate_key(0, key.scan_code, key.virtual_key, state);
    code = translated > 0 ? translated : 0;
    break;
  }
  return i + 1;
}

}  // namespace

std::string console_read_key() {
  if (g_pending.length == 0) fill_pending();
  while (g_pending.length > 0) {
    const unsigned char* s = g_pending.bytes.data();
    if (s[0] != kEsc) {
      // The terminal turns Enter into a line feed (ICRNL) as the byte
      // arrives, before any read could switch that off; a window gives 13.
      const std::int32_t code = s[0] == kLineFeed ? kReturn : s[0];
      g_pending.drop(1);
      if (code == 0) continue;  // NUL reads as no key, as in the key queue
      return key_code_to_string(code);
    }
    std::int32_t code = 0;
    const std::size_t length = decode_escape(s, g_pending.length, code);
    if (length == 0) {
      // A lone Escape, or Escape before a byte that starts no sequence.
      g_pending.drop(1);
      return key_code_to_string(kEsc);
    }
    g_pending.drop(length);
    if (code != 0) return key_code_to_string(code);
    // A sequence for a key without a code here: skip it whole.
  }
  return {};
}

void console_sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace qz
