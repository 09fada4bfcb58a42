#pragma once

// The Web back end: a canvas in the page that runs the program. main() runs
// on a worker and blocks for real; the page's own thread owns the canvas and
// the input and never blocks (display/web/web_present.cpp says who holds what).

#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver web_driver;

// What the program's thread and the page's thread share besides the mode.
struct WebCanvas {
  // Written under the host lock: open from init until exit; the canvas
  // copy of the window (RGBA, width * height * 4 bytes) lives as long.
  bool open = false;
  std::vector<std::uint32_t> rgba;
  // Rows of the canvas copy converted but not yet put on the page (none
  // while last < first); under the host lock.
  int put_first = INT_MAX, put_last = -1;
  // Counts the page's animation frames; the vertical-sync wait sleeps on it.
  std::atomic<std::uint32_t> frames{0};
  // Counts what the page's frame loop waits on when parked: the program's
  // requests for a pass and its vertical-sync waits.
  std::atomic<std::uint32_t> activity{0};
  // Counts the requests for a pass (an unlock with rows marked, a palette
  // change); the conversion thread sleeps on it.
  std::atomic<std::uint32_t> requests{0};
  // With threads: the thread that converts the marked rows, so that the
  // page's own thread only puts them (display/web/web_present.cpp).
  std::thread converter;
  std::atomic<bool> stopping{false};
};
WebCanvas& web_canvas();

// Program's thread: starts and ends the conversion thread (nothing without
// threads, where the page's pass converts).
void web_start_conversion();
void web_stop_conversion();
// Wakes a parked page (any thread).
void web_unpark();

// Page's thread, host lock held: turns the input the page gathered since
// the last pass into the window steps (keys, pointer, focus, close).
void web_take_input();
// Program's thread, host lock held: forgets input of an earlier canvas.
void web_reset_input();

}  // namespace qz

// The page's side, in display/web/web_canvas.js.
extern "C" {
// fullscreen: bit 1 Alt+Enter switches it, bit 2 the program asks for it.
int qz_web_canvas_open(int width, int height, int fullscreen);
void qz_web_canvas_close();
void qz_web_canvas_title(const char* utf8);
void qz_web_canvas_cursor(int visible);
void qz_web_canvas_confine(int confined);
void qz_web_canvas_put_rows(const void* rgba, int first_row, int rows);
}
