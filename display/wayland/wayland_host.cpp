// The Wayland window host: the driver thread, its window setup and teardown,
// and the presentation pass.
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

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/wayland/wayland_driver.h"
#include "display/wayland/wayland_state.h"
#include "display/window_host.h"
#include "input/window_input.h"
#include "runtime/exit_path.h"
#include "runtime/termination.h"

namespace qz {

namespace {

using driver_thread::Clock;

// The running attempt's state. Its thread owns it, so a thread parked after
// a lost compositor still refers to it when the process ends.
thread_local WaylandState* t_state = nullptr;

[[noreturn]] void on_connection_lost() {
  WaylandState& w = wayland();
  driver_thread::leave_after_lost_display("the Wayland compositor", w.display_name, w.started, w.failure);
}

void flush_or_lose() {
  if (wl_display_flush(wayland().display) < 0 && errno != EAGAIN) on_connection_lost();
}

// Sleeps until a pass is due (see the top of this file), reading the
// socket's events into the queue as they come.
void wait_for_pass(Clock::time_point last_pass) {
  WaylandState& w = wayland();
  const int wake = driver_thread::wake_descriptor();
  for (;;) {
    if (!host_running() || host_calls_waiting()) return;
    // Events already queued are the pass's to dispatch.
    if (wl_display_prepare_read(w.display) != 0) return;
    if (wl_display_flush(w.display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(w.display);
      on_connection_lost();
    }
    const auto now = Clock::now();
    const auto due = driver_thread::next_pass_due(last_pass);
    if (now >= due) {
      wl_display_cancel_read(w.display);
      return;
    }
    pollfd watch[3] = {{wl_display_get_fd(w.display), POLLIN, 0}, {wake, POLLIN, 0}, {w.repeat_timer, POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    const int ready = poll(watch, 3, int(left.count()));
    if (ready > 0 && watch[0].revents) {
      if (wl_display_read_events(w.display) < 0) on_connection_lost();
      driver_thread::space_event_pass(last_pass);
      return;
    }
    wl_display_cancel_read(w.display);
    if (ready < 0 && errno != EINTR) return;
    if (watch[1].revents & POLLIN) driver_thread::take_wakes();
    if (watch[2].revents & POLLIN) return;
  }
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

// Nothing outlives the connection on Wayland: the last resort only ends the process.
void last_resort_if_due() {
  if (driver_thread::last_resort_claimed()) end_process_now(termination_status());
}

// Between slices of the wait for the host lock: a compositor that hung up
// is noticed, and the last resort comes, while the program keeps the lock.
void between_lock_slices() {
  if (driver_thread::hung_up(wl_display_get_fd(wayland().display))) on_connection_lost();
  last_resort_if_due();
}

void update_pass() {
  const driver_thread::Pass pass(between_lock_slices);
  WaylandState& w = wayland();
  if (wl_display_dispatch_pending(w.display) < 0) on_connection_lost();
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
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  driver_thread::reset_last_resort();
  if (!wayland_connect(host_signal_connected)) {
    // Also a connection given up on: the state is this attempt's alone.
    wayland_disconnect();
    return;
  }
  if (wayland_thread_init() != 0) {
    wayland_release();
    wayland_disconnect();
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    window_host().active = 1;
  }
  wayland().started = true;
  host_signal_started();
  wayland_prefault_first_buffer();
  while (host_running()) {
    const auto pass_start = Clock::now();
    last_resort_if_due();
    update_pass();
    wayland_load_due_cursor();
    wait_for_pass(pass_start);
  }
  wayland_release();
  wayland_disconnect();
}

}  // namespace qz
