// The Web driver record: init and exit, and the operations that reach the
// page (title, cursor), each a call the page's thread runs for the program's.

#include "display/web/web_driver.h"

#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <chrono>
#include <climits>
#include <mutex>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

namespace {

// The page's animation frames come at the display's rate; 60 Hz is what a
// program is told, since the browser does not say.
constexpr int kFrameRate = 60;
// A hidden page gets no animation frames: the wait then paces by itself.
constexpr double kLongestFrameMs = 100.0;

WebCanvas g_canvas;

// Frees the canvas copy; false when it was closed already.
bool close_canvas() {
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  if (!g_canvas.open) return false;
  BandLock band_lock(g_canvas.shared);
  g_canvas.open = false;
  g_canvas.shared.rgba = 0;  // the presenter puts nothing more
  g_canvas.shared.band_first = INT_MAX;
  g_canvas.shared.band_last = -1;
  g_canvas.rgba = {};
  return true;
}

int web_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  if (refuse_unsupported_window_flags("Web", flags)) return -1;
  host_prepare(width, height, depth, refresh, flags);
  window_input_reset();
  WindowHost& host = window_host();
  host.wake = web_request_pass;
  // The canvas takes bytes red, green, blue, alpha: read as a 32-bit word,
  // red is the low byte, the swapped order of the conversions.
  host.blitter = select_blitter(32, ChannelOrder::kSwapped);
  if (!host.blitter) {
    note_driver_refusal("the Web back end has no conversion from depth " + std::to_string(depth));
    return -1;
  }
  const int fullscreen = ((flags & kModeNoMaximize) ? 0 : 1) |
                         ((flags & (kModeFullscreen | kModeDesktopFullscreen)) ? 2 : 0);
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    BandLock band_lock(g_canvas.shared);
    g_canvas.rgba.assign(std::size_t(width) * std::size_t(height), 0xFF000000u);
    web_reset_input();
    host.refresh_rate = kFrameRate;
    WebShared& shared = g_canvas.shared;
    shared.band_first = INT_MAX;
    shared.band_last = -1;
    shared.rgba = std::int32_t(reinterpret_cast<std::uintptr_t>(g_canvas.rgba.data()));
    shared.width = width;
    shared.height = height;
    shared.opened.fetch_add(1);
    g_canvas.open = true;
  }
  // Without threads nothing beside the page's thread reads the words.
#if QZ_WEB_ASYNCIFY
  const void* shared = nullptr;
#else
  const void* shared = &g_canvas.shared;
#endif
  if (qz_web_canvas_open(width, height, fullscreen, shared) != 0) {
    note_driver_refusal("the page has no document to show a canvas in");
    close_canvas();
    return -1;
  }
  qz_web_canvas_title(title ? title : "");
  web_start_conversion();
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = kFrameRate;
  return 0;
}

void web_exit() {
  web_stop_conversion();
  if (close_canvas()) qz_web_canvas_close();
}

#if QZ_WEB_ASYNCIFY
// Gives the page back until its next animation frame has run the pass, or
// `ms` where a hidden page gets none: the program resumes once a frame, from
// the page's own frame callback (display/web/web_canvas.js), which also
// resumes it when the page is hidden meanwhile.
EM_ASYNC_JS(void, qz_web_next_frame, (double ms), {
  await new Promise((resolve) => {
    QZWeb.frameWaiters.push(resolve);
    if (document.hidden) setTimeout(resolve, ms);
  });
});
#endif

// Sleeps until the page's next animation frame: on the frame counter with
// threads, else by giving the page back until the frame comes.
void web_wait_vsync() {
  std::atomic<std::int32_t>& frames = g_canvas.shared.frames;
  const std::int32_t seen = frames.load();
  web_unpark();  // frames come only from a page that is not parked
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const double waited =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (frames.load() != seen || waited >= kLongestFrameMs) return;
#if QZ_WEB_ASYNCIFY
    qz_web_next_frame(kLongestFrameMs - waited);
#else
    emscripten_futex_wait(&frames, std::uint32_t(seen), kLongestFrameMs - waited);
#endif
  }
}

// A page cannot move the pointer; it confines it with a pointer lock, which
// the browser may defer to the user's next click.
void web_set_mouse(int, int, int visibility, int clip) {
  if (visibility >= 0) qz_web_canvas_cursor(visibility != 0);
  if (clip >= 0) qz_web_canvas_confine(clip != 0);
}

void web_set_window_title(const char* title) { qz_web_canvas_title(title ? title : ""); }

}  // namespace

WebCanvas& web_canvas() { return g_canvas; }

void web_unpark() {
  g_canvas.shared.activity.fetch_add(1);
#if !QZ_WEB_ASYNCIFY
  emscripten_futex_wake(&g_canvas.shared.activity, INT_MAX);
#endif
}

// The program wants a pass, or the page queued input: the conversion thread
// runs (it wakes a parked frame loop once it has rows to put).
void web_request_pass() {
  g_canvas.requests.fetch_add(1);
#if !QZ_WEB_ASYNCIFY
  emscripten_futex_wake(&g_canvas.requests, INT_MAX);
#endif
}

const DisplayDriver web_driver = {
    "Web",           web_init,        web_exit,       host_lock,     host_unlock,
    host_set_palette, web_wait_vsync, host_get_mouse, web_set_mouse, web_set_window_title,
    nullptr,         nullptr,         nullptr,        nullptr,
};

}  // namespace qz
