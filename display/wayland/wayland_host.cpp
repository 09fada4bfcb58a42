// The Wayland window host: the driver thread's hooks (its loop is
// display/linux/driver_thread.cpp), the window setup and teardown, and the
// presentation pass.
//
// Threads and locks
// - The driver thread owns the connection: every libwayland and xkbcommon
//   call of this back end runs on it. The program's thread reaches the
//   window only through host_call (title, cursor).
// - Events are read from the socket outside the host lock (prepare_read /
//   read_events) and dispatched inside the pass, which holds the host lock
//   as on X11: calls handed over, palette, event dispatch (the window
//   procedure's steps), key repeat, the band of marked rows, key_state.
//   Drawing holds the same lock between the outermost screen_lock and
//   screen_unlock, so the band is copied into a buffer of ours while no
//   drawing changes it, at every depth (wayland_present.cpp); the
//   compositor reads only those buffers, and one it has not released is
//   never written.
// - The cursor theme is loaded after a pass, outside the host lock (it
//   takes tens of milliseconds).
// - A pass follows each unlock of drawing (at most one per 10 ms), each
//   burst of events (a frame callback among them), each call and the key
//   repeat timer, and comes at least every 100 ms; between them the thread
//   sleeps in poll on the socket, its wake counter and the repeat timer.
//
// Ending
// - A lost connection (the compositor went away or closed us for a protocol
//   error) ends the process as on X11: the thread records a fault request
//   (one line, status 1), leaves the host (host_retire) and waits for the
//   program's thread to end the process, or ends it itself after the grace
//   (the last resort). A program that did not hand the process to the
//   runtime gets a display-lost event and a mode whose window calls fail.
// - SIGPIPE is blocked on this thread: writing to a compositor that hung up
//   is an error libwayland reports, not a signal.
// - Last resort (owned processes only): a termination request still not
//   taken up after kLastResortGrace ends the process from this thread.
//   Nothing outlives the connection on Wayland, so nothing is put back.

#include <cerrno>
#include <utility>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_driver.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "display/window_input.h"

namespace qz {

namespace {

// The running attempt's state. Its thread owns it, so a thread parked after
// a lost compositor still refers to it when the process ends.
thread_local WaylandState* t_state = nullptr;

void flush_or_lose() {
  if (wl_display_flush(wayland().display) < 0 && errno != EAGAIN) driver_thread::lose_display();
}

int wayland_thread_init() {
  if (wayland_create_window() != 0) return -1;
  window_host().refresh_rate = wayland().output_refresh;
  if (wayland_setup_presentation() != 0) return -1;
  flush_or_lose();
  return 0;
}

void wayland_release() {
  WaylandState& w = wayland();
  if (!w.display) return;
  wayland_release_presentation();
  wayland_destroy_window();
  wl_display_flush(w.display);
}

// The wait between passes reads the socket's events into the queue as they
// come (outside the host lock); the pass dispatches them.
int connection_fd() { return wayland().display ? wl_display_get_fd(wayland().display) : -1; }

bool prepare_wait() {
  WaylandState& w = wayland();
  // Events already queued are the pass's to dispatch.
  if (wl_display_prepare_read(w.display) != 0) return false;
  if (wl_display_flush(w.display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(w.display);
    driver_thread::lose_display();
  }
  return true;
}

void cancel_wait() { wl_display_cancel_read(wayland().display); }

void read_events() {
  if (wl_display_read_events(wayland().display) < 0) driver_thread::lose_display();
}

int repeat_timer() { return wayland().repeat_timer; }

void update_pass() {
  WaylandState& w = wayland();
  if (wl_display_dispatch_pending(w.display) < 0) driver_thread::lose_display();
  // Not from inside the key's listener: the new window's setup dispatches
  // events itself.
  if (std::exchange(w.switch_due, false)) switch_window_mode();
  wayland_repeat_key();
  ScreenMode* mode = current_mode();
  if (!mode) return;
  driver_thread::mark_rows_for_palette();
  wayland_present_marked_rows();
  if (window_host().active) wayland_refresh_key_state(mode->key_state.data());
  flush_or_lose();
}

bool connect(bool (*answered)()) {
  if (wayland_connect(answered)) return true;
  // Also a connection given up on: the state is this attempt's alone.
  wayland_disconnect();
  return false;
}

// Nothing outlives the connection on Wayland: the last resort only ends the
// process, and a compositor that hung up is lost at once.
const driver_thread::DriverThreadHooks kWaylandThread = {
    .peer = "the Wayland compositor",
    .display_name = []() -> const std::string& { return wayland().display_name; },
    .failure = []() -> std::string& { return wayland().failure; },
    .connect = connect,
    .disconnect = wayland_disconnect,
    .after_start = wayland_prefault_first_buffer,
    .connection_fd = connection_fd,
    .prepare_wait = prepare_wait,
    .cancel_wait = cancel_wait,
    .read_events = read_events,
    .timer_fd = repeat_timer,
    .update_pass = update_pass,
    .after_pass = wayland_load_due_cursor,
    .meet_hang_up = driver_thread::lose_display,
};

}  // namespace

WaylandState& wayland() { return *t_state; }

void wayland_install_host_routines() {
  WindowHost& host = window_host();
  host.thread_init = wayland_thread_init;
  host.release = wayland_release;
  host.wake = driver_thread::wake;
}

void wayland_thread_main(std::shared_ptr<WaylandState> state) {
  t_state = state.get();
  driver_thread::run(kWaylandThread);
}

}  // namespace qz
