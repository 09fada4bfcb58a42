// The presentation of the Web back end: the marked rows converted into the
// canvas copy, and the rows put on the page's canvas at its animation frames.
//
// Threads and locks
// - The program's thread draws. The page's thread (the browser's own) owns
//   the input and must never block. The canvas is put by the presenter, a
//   plain worker of the page that holds it as an OffscreenCanvas
//   (display/web/web_canvas.js), so the page's thread does no work per
//   frame; where the browser cannot draw a canvas from a worker, and in the
//   single-threaded build, the page's own animation frames put it.
// - With threads, a conversion thread of ours sleeps on the requests for a
//   pass (WebCanvas::requests: an unlock with rows marked, a palette change,
//   input queued). Woken, it takes the host lock (blocking: it is no page
//   thread), takes the page's input into the key queue and the event ring,
//   and converts the marked rows into the canvas copy under the band lock
//   too: it clears the marks and adds the rows to the band waiting to be
//   put. A frame between qz_frame_begin and qz_frame_end holds the host
//   lock, so the canvas copy only ever holds whole frames.
// - The presenter only tries the band lock at each of its animation frames:
//   it copies the waiting band out of the canvas copy, empties the band and
//   lets go, then puts the rows. A frame that finds the lock taken puts
//   them at the next one.
// - The page's own pass (no presenter) try-locks the host lock; it takes the
//   input and puts the band under it. Without threads it converts as well.
// - Each animation frame counts one frame and wakes a vertical-sync wait.
//   A threaded frame loop that found nothing to do for half a second parks
//   until the program asks for a pass or waits for vertical sync
//   (WebShared::activity, which the loop waits on).
// - Built with QZ_WEB_ASYNCIFY the program runs on the page's thread too and
//   the pass comes while it waits (display/web/web_single_thread.cpp).

#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "display/screen_mode.h"
#include "display/web/web_driver.h"
#include "display/window_host.h"
#include "gfx/screen_lock.h"

namespace qz {

namespace {

// A changed palette is shown by converting every row again.
void mark_rows_for_palette(ScreenMode& mode) {
  WindowHost& host = window_host();
  if (!host.palette_changed) return;
  host.palette_changed = false;
  std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{1});
}

// Host lock held: converts the marked rows into the canvas copy, made opaque
// (the canvas would blend by the framebuffer's alpha byte), clears the marks
// and adds the rows to the band waiting to be put. False when none was marked.
bool convert_marked_rows(ScreenMode& mode, WebCanvas& canvas) {
  const WindowHost& host = window_host();
  mark_rows_for_palette(mode);
  const std::int32_t rows = std::min<std::int32_t>(mode.height, std::int32_t(mode.dirty_rows.size()));
  const auto first_it = std::find(mode.dirty_rows.begin(), mode.dirty_rows.begin() + rows, 1);
  if (first_it == mode.dirty_rows.begin() + rows || !host.blitter) return false;
  const std::int32_t first = std::int32_t(first_it - mode.dirty_rows.begin());
  std::int32_t last = rows - 1;
  while (last > first && !mode.dirty_rows[std::size_t(last)]) --last;

  BandLock band_lock(canvas.shared);
  host.blitter(reinterpret_cast<std::uint8_t*>(canvas.rgba.data()), host.width * 4);
  const std::int32_t scanline = std::max(mode.scanline_size, 1);
  const std::int32_t top = first * scanline;
  const std::int32_t band = (last - first + 1) * scanline;
  std::uint32_t* pixels = canvas.rgba.data() + std::size_t(top) * std::size_t(host.width);
  for (std::size_t i = 0, n = std::size_t(band) * std::size_t(host.width); i < n; ++i) pixels[i] |= 0xFF000000u;
  std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{0});
  WebShared& shared = canvas.shared;
  shared.band_first = std::min(shared.band_first.load(), top);
  shared.band_last = std::max(shared.band_last.load(), top + band - 1);
  return true;
}

// The page's pass, host lock held: puts the waiting band. The band lock is
// free here (whoever writes the band holds the host lock, and no presenter
// runs beside this pass). False when no band waits.
bool put_waiting_rows(WebCanvas& canvas) {
  BandLock band_lock(canvas.shared);
  WebShared& shared = canvas.shared;
  const int first = shared.band_first, last = shared.band_last;
  if (last < first) return false;
  const int width = window_host().width;
  qz_web_canvas_put_rows(canvas.rgba.data() + std::size_t(first) * std::size_t(width), first, last - first + 1);
  shared.band_first = INT_MAX;
  shared.band_last = -1;
  return true;
}

#if !QZ_WEB_ASYNCIFY
void conversion_loop(WebCanvas& canvas) {
  while (!canvas.stopping.load()) {
    // Read before the request is taken: one made after it is never missed.
    const std::uint32_t seen = canvas.requests.load();
    host_take_pass_request();
    bool converted = false;
    {
      std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
      ScreenMode* mode = current_mode();
      if (canvas.open && mode) {
        web_take_input();
        converted = convert_marked_rows(*mode, canvas);
      }
    }
    if (converted) web_unpark();  // a parked frame loop has rows to put
    while (!canvas.stopping.load() && canvas.requests.load() == seen)
      emscripten_futex_wait(&canvas.requests, seen, 1000.0);
  }
}
#endif

}  // namespace

void web_start_conversion() {
#if !QZ_WEB_ASYNCIFY
  WebCanvas& canvas = web_canvas();
  if (canvas.converter.joinable()) return;
  canvas.stopping = false;
  canvas.converter = std::thread(conversion_loop, std::ref(canvas));
#endif
}

void web_stop_conversion() {
#if !QZ_WEB_ASYNCIFY
  WebCanvas& canvas = web_canvas();
  if (!canvas.converter.joinable()) return;
  canvas.stopping = true;
  canvas.requests.fetch_add(1);
  emscripten_futex_wake(&canvas.requests, INT_MAX);
  canvas.converter.join();
#endif
}

BandLock::BandLock(WebShared& shared) : shared_(shared) {
  while (shared_.band_lock.exchange(1) != 0) {
#if !QZ_WEB_ASYNCIFY
    emscripten_futex_wait(&shared_.band_lock, 1, 1.0);
#endif
  }
}

BandLock::~BandLock() {
  shared_.band_lock.store(0);
#if !QZ_WEB_ASYNCIFY
  emscripten_futex_wake(&shared_.band_lock, 1);
#endif
}

}  // namespace qz

// The page's own animation frames call this where no presenter puts the
// canvas (and, without threads, its input events). Returns 0 when the frame
// found nothing to do: no rows to show, no frame held.
extern "C" EMSCRIPTEN_KEEPALIVE int qz_web_pass(int frame) {
  using namespace qz;
  std::recursive_mutex& lock = host_lock_mutex();
  WebCanvas& canvas = web_canvas();
  int busy = 1;
  // Without threads the program shares this thread: a frame it holds while
  // it waits shows in its screen lock rather than in the (recursive) lock.
  if (screen_lock_depth() == 0 && lock.try_lock()) {
    ScreenMode* mode = current_mode();
    busy = 0;
    if (canvas.open && mode) {
      web_take_input();
      if (frame) {
#if QZ_WEB_ASYNCIFY
        host_take_pass_request();
        convert_marked_rows(*mode, canvas);
#endif
        busy = put_waiting_rows(canvas);
      }
    }
    lock.unlock();
  }
  if (frame) {
    canvas.shared.frames.fetch_add(1);
#if !QZ_WEB_ASYNCIFY
    emscripten_futex_wake(&canvas.shared.frames, INT_MAX);
#endif
  }
  return busy;
}
