// The page's keyboard, pointer, focus and close events, gathered by the page's
// thread between passes and turned into the window steps inside a pass, and
// the page's news for the picture (the pointer locked, the canvas lost).
//
// The page (display/web/web_canvas.js) maps each key's KeyboardEvent.code to
// the PC scan code (bit 8 for the enhanced keys) and virtual key the key
// tables know it by, and its KeyboardEvent.key to the character it typed, so
// the codes are those of every other back end whatever the browser's layout.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

#include "display/screen_mode.h"
#include "display/web/web_driver.h"
#include "display/window_host.h"
#include "input/click_pairs.h"
#include "input/control_state.h"
#include "input/key_translate.h"
#include "input/keysym_keys.h"
#include "display/window_input.h"

namespace qz {

namespace {

enum class PageInputKind : std::int32_t {
  kKey = 1, kMove, kButton, kWheel, kLeave, kFocus, kClose, kPointerLock, kCanvasLost
};

// Bits of a key's flags.
enum PageKeyFlag : std::int32_t {
  kKeyDown = 0x01,
  kKeyRepeat = 0x02,
  kKeyShift = 0x04,
  kKeyCtrl = 0x08,
  kKeyAlt = 0x10,
  kKeyAltGr = 0x20,
};

struct PageInput {
  PageInputKind kind;
  std::int32_t a, b, c;
};

// Filled by the page's event handlers, emptied under the host lock (by the
// conversion thread, or the page's pass without threads): one writer, one
// reader at a time. A burst that outruns a busy program loses its newest.
struct PendingInput {
  std::array<PageInput, 256> ring{};
  std::atomic<std::uint32_t> read{0}, write{0};
};
PendingInput g_pending;

// Keys held on this canvas, by virtual key, with the scan code they went
// down with (for the releases a focus loss makes). Under the host lock.
struct HeldKeys {
  std::array<bool, 256> vk_down{};
  std::array<std::uint16_t, 256> scan_of{};
  ClickPairs clicks;
};
HeldKeys g_held;

void set_key_state(std::uint16_t virtual_key, bool down) {
  ScreenMode* mode = current_mode();
  if (!mode) return;
  for (const ScanCodeRow& row : kScanCodeTable)
    if (row.first_key == virtual_key || row.second_key == virtual_key) mode->key_state[row.scan_code] = down;
}

void key_step(std::uint16_t scan, std::uint16_t virtual_key, char32_t character, std::int32_t flags) {
  const bool down = flags & kKeyDown;
  const bool repeat = down && ((flags & kKeyRepeat) || g_held.vk_down[virtual_key]);
  g_held.vk_down[virtual_key] = down;
  g_held.scan_of[virtual_key] = down ? scan : 0;
  const HeldModifiers held{(flags & kKeyShift) != 0, (flags & kKeyCtrl) != 0, (flags & kKeyAlt) != 0,
                           (flags & kKeyAltGr) != 0};
  std::int32_t control_state = control_state_of(held, g_held.vk_down);
  if (scan & kEnhancedKey) control_state |= kEnhancedKey;
  const std::uint16_t generic = generic_virtual_key(virtual_key);
  set_key_state(virtual_key, down);
  set_key_state(generic, down || g_held.vk_down[generic]);

  KeyMessage message;
  message.character = character < 256 ? std::uint8_t(character) : 0;
  message.scan_code = scan & 0xFF;
  message.virtual_key = generic;
  message.control_state = control_state;
  message.down = down;
  message.repeat = repeat;
  key_steps(message, us_base_character);
  // As on the desktop: Alt alone makes menu keys, not text; a key queued as
  // an extended code (Shift+Tab, Ctrl+2) is not typed a second time.
  const bool extended =
      translate_key(message.character, message.scan_code, generic, control_state, us_base_character) > 255;
  if (down && character != 0 && !alt_without_ctrl(control_state) && !extended) character_steps(character, 1);
}

// Leaving the page releases every key it held: the page sees no key-up for them.
void release_held_keys() {
  for (std::size_t vk = 0; vk < g_held.vk_down.size(); ++vk)
    if (g_held.vk_down[vk]) key_step(g_held.scan_of[vk], std::uint16_t(vk), 0, 0);
}

void take(const PageInput& in) {
  switch (in.kind) {
    case PageInputKind::kKey:
      key_step(std::uint16_t(in.a & 0xFFFF), std::uint16_t((in.a >> 16) & 0xFF), char32_t(in.b), in.c);
      break;
    case PageInputKind::kMove:
      pointer_move_steps(in.a, in.b, in.a, in.b);
      break;
    case PageInputKind::kButton: {
      pointer_position_steps(in.b, in.c, in.b, in.c);
      const bool down = in.a > 0;
      const std::int32_t bit = down ? in.a : -in.a;
      const bool pair = down && g_held.clicks.press(std::uint32_t(bit), std::uint32_t(emscripten_get_now()), in.b, in.c);
      button_steps(bit, down, pair);
      break;
    }
    case PageInputKind::kWheel:
      if (in.a) wheel_steps(in.a);
      if (in.b) hwheel_steps(in.b);
      break;
    case PageInputKind::kLeave:
      pointer_leave_steps();
      break;
    case PageInputKind::kFocus:
      if (!in.a) release_held_keys();
      activation_steps(in.a != 0, false);
      break;
    case PageInputKind::kClose:
      close_steps();
      break;
    case PageInputKind::kPointerLock:
      window_host().mouse_clipped = in.a;
      break;
    case PageInputKind::kCanvasLost: {
      // The canvas copy still holds the whole picture: put all of it again.
      WebShared& shared = web_canvas().shared;
      BandLock band_lock(shared);
      shared.band_first = 0;
      shared.band_last = shared.height - 1;
      break;
    }
  }
}

}  // namespace

void web_take_input() {
  for (std::uint32_t read = g_pending.read; read != g_pending.write; g_pending.read = ++read)
    take(g_pending.ring[read % g_pending.ring.size()]);
}

void web_reset_input() { g_held = HeldKeys{}; }

}  // namespace qz

// The page's event handlers queue their events here. With threads the
// conversion thread takes them at once (it may wait for the host lock, the
// page's thread may not); without, the page's pass takes them now, or at
// its next frame while the program holds the lock.
extern "C" EMSCRIPTEN_KEEPALIVE void qz_web_input(int kind, int a, int b, int c) {
  using namespace qz;
  const std::uint32_t write = g_pending.write;
  if (write - g_pending.read >= g_pending.ring.size()) return;
  g_pending.ring[write % g_pending.ring.size()] = {PageInputKind(kind), a, b, c};
  g_pending.write = write + 1;
#if QZ_WEB_ASYNCIFY
  qz_web_pass(0);
#else
  web_request_pass();
#endif
}
