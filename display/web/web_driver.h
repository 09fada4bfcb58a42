#pragma once

// The Web back end: a canvas in the page that runs the program. main() runs
// on a worker and blocks for real; the page's own thread owns the canvas and
// the input and never blocks (display/web/web_present.cpp says who holds what).

#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>
#include <type_traits>
#include <vector>

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver web_driver;

// Words the page's presenter reads and writes as well (a plain worker of
// display/web/web_canvas.js, which knows them by their order here).
struct WebShared {
  // Guards the canvas copy and the band: 0 free, 1 taken. The presenter
  // only ever tries it (a worker that blocks shows nothing); our threads
  // may wait on it.
  std::atomic<std::int32_t> band_lock{0};
  // Rows of the canvas copy converted but not yet put (none while last < first).
  std::atomic<std::int32_t> band_first{INT_MAX}, band_last{-1};
  // The canvas copy (its address; 0 while closed) and the canvas' size.
  std::atomic<std::int32_t> rgba{0}, width{0}, height{0};
  // Counts the page's animation frames; the vertical-sync wait sleeps on it.
  std::atomic<std::int32_t> frames{0};
  // Counts what a parked frame loop waits on: the program's requests for a
  // pass and its vertical-sync waits.
  std::atomic<std::int32_t> activity{0};
  // Counts the canvases opened: a new one starts black, as a new window.
  std::atomic<std::int32_t> opened{0};
};
static_assert(sizeof(WebShared) == 9 * sizeof(std::int32_t) && std::is_standard_layout_v<WebShared>);

// What the program's thread and the page's threads share besides the mode.
struct WebCanvas {
  WebShared shared;
  // Written under the host lock and the band lock: the canvas copy of the
  // window (RGBA, width * height * 4 bytes), from init until exit.
  bool open = false;
  std::vector<std::uint32_t> rgba;
  // Counts the requests for a pass (an unlock with rows marked, a palette
  // change, input); the conversion thread sleeps on it.
  std::atomic<std::uint32_t> requests{0};
  // With threads: the thread that converts the marked rows and takes the
  // page's input, so that the page's threads only put rows and queue input
  // (display/web/web_present.cpp).
  std::thread converter;
  std::atomic<bool> stopping{false};
};
WebCanvas& web_canvas();

// Program's thread: starts and ends the conversion thread (nothing without
// threads, where the page's pass converts).
void web_start_conversion();
void web_stop_conversion();
// Wakes a parked frame loop (any thread).
void web_unpark();
// Any thread: asks the conversion thread for a pass (without threads the
// page's frames pass anyway).
void web_request_pass();

// Holds the band lock (RAII), waiting for it: never on the page's thread.
class BandLock {
 public:
  explicit BandLock(WebShared& shared);
  ~BandLock();
  BandLock(const BandLock&) = delete;
  BandLock& operator=(const BandLock&) = delete;

 private:
  WebShared& shared_;
};

// Host lock held (the conversion thread, or the page's pass without
// threads): turns the input the page queued since into the window steps
// (keys, pointer, focus, close).
void web_take_input();
// Program's thread, host lock held: forgets input of an earlier canvas.
void web_reset_input();

}  // namespace qz

// The page's own animation frame, where no presenter puts the canvas, and,
// without threads, its input events (display/web/web_present.cpp).
extern "C" int qz_web_pass(int frame);

// The page's side, in display/web/web_canvas.js.
extern "C" {
// fullscreen: bit 1 Alt+Enter switches it, bit 2 the program asks for it.
// shared: the WebShared words, for the presenter.
int qz_web_canvas_open(int width, int height, int fullscreen, const void* shared);
void qz_web_canvas_close();
void qz_web_canvas_title(const char* utf8);
void qz_web_canvas_cursor(int visible);
void qz_web_canvas_confine(int confined);
void qz_web_canvas_put_rows(const void* rgba, int first_row, int rows);
}
