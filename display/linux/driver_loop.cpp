#include "display/linux/driver_loop.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include "display/linux/driver_thread.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "runtime/termination.h"

namespace qz::driver_thread {

namespace {

// The running driver thread's back end, and whether its start handshake is
// done (a display lost before that fails the start instead).
thread_local const DriverThreadHooks* t_hooks = nullptr;
thread_local bool t_started = false;

// Acts once a request has been pending for kLastResortGrace while the host
// still runs: puts back what outlives the process and ends it.
void last_resort_if_due() {
  if (!last_resort_claimed()) return;
  if (t_hooks->restore) t_hooks->restore();
  end_process_now(termination_status());
}

// Between slices of the wait for the host lock: no pass while the program
// keeps the lock, but a connection that hung up is noticed and the last
// resort comes.
void between_lock_slices() {
  if (hung_up(t_hooks->connection_fd())) t_hooks->meet_hang_up();
  last_resort_if_due();
}

// Sleeps until a pass is due: drawing asked for one (not sooner than
// kPassSpacing after the last), the connection has events, the back end's
// timer fired, a call is waiting or the host stops, or the idle interval
// passed (see next_pass_due).
void wait_for_pass(const DriverThreadHooks& h, Clock::time_point last_pass) {
  const int wake = wake_descriptor();
  for (;;) {
    // A call is the program's thread waiting: it runs at once.
    if (!host_running() || host_calls_waiting()) return;
    if (!h.prepare_wait()) return;
    const auto now = Clock::now();
    const auto due = next_pass_due(last_pass);
    if (now >= due) {
      if (h.cancel_wait) h.cancel_wait();
      return;
    }
    pollfd watch[3] = {{h.connection_fd(), POLLIN, 0}, {wake, POLLIN, 0}, {h.timer_fd ? h.timer_fd() : -1, POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    // Without a wake counter the wait is a plain pass interval.
    const int ready = poll(watch, 3, wake >= 0 ? int(left.count()) : int(kPassSpacing.count()));
    if (watch[1].revents & POLLIN) take_wakes();
    if (ready > 0 && watch[0].revents) {
      // The connection has something to say (events, or it hung up).
      if (h.read_events) h.read_events();
      space_event_pass(last_pass);
      return;
    }
    if (h.cancel_wait) h.cancel_wait();
    if (ready < 0 && errno != EINTR) return;
    if ((watch[2].revents & POLLIN) || wake < 0) return;
  }
}

void update_pass(const DriverThreadHooks& h) {
  const Pass pass(between_lock_slices);
  h.update_pass();
}

}  // namespace

void run(const DriverThreadHooks& hooks) {
  t_hooks = &hooks;
  t_started = false;
  // Writing to a display that hung up is an error the library reports (and
  // so a lost display), not a signal that kills the process.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  reset_last_resort();
  if (!hooks.connect(host_signal_connected)) return;
  WindowHost& host = window_host();
  if (host.thread_init() != 0) {
    host.release();
    hooks.disconnect();
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    host.active = 1;
    // A mode that asks for high priority has it from its first pass, not
    // only after a focus change.
    if ((host.flags & kModeHighPriority) && host.set_high_priority) host.set_high_priority(true);
  }
  t_started = true;
  host_signal_started();
  if (hooks.after_start) hooks.after_start();
  while (host_running()) {
    const auto pass_start = Clock::now();
    last_resort_if_due();
    update_pass(hooks);
    if (hooks.after_pass) hooks.after_pass();
    wait_for_pass(hooks, pass_start);
  }
  {
    std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
    host.mouse_clipped = 0;
  }
  host.release();
  hooks.disconnect();
}

void lose_display() {
  if (!t_hooks) {
    // Not a driver thread: a back end connecting on the program's thread
    // before it put its own handler in place. Nothing has started.
    std::string failure;
    leave_after_lost_display("the display", std::string(), false, failure);
  }
  leave_after_lost_display(t_hooks->peer, t_hooks->display_name(), t_started, t_hooks->failure());
}

}  // namespace qz::driver_thread
