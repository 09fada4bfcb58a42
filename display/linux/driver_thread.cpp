#include "display/linux/driver_thread.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "display/display_driver.h"
#include "display/display_name.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/window_input.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"
#include "runtime/termination.h"

namespace qz::driver_thread {

namespace {

using Clock = std::chrono::steady_clock;

// A request the program's thread leaves alone this long is the last
// resort's; the thread sees a request within one idle pass, so the process
// ends within 1 s.
constexpr auto kLastResortGrace = std::chrono::milliseconds(500);
// Passes follow drawing at most this often; rows marked right after a pass
// wait for the next, so a program that draws without pause still draws most
// of the time rather than waiting for the host lock.
constexpr auto kPassSpacing = std::chrono::milliseconds(10);
// Events of the window are taken at most this often (a moving pointer).
constexpr auto kEventSpacing = std::chrono::milliseconds(2);

// How long one wait for the host lock lasts before the caller looks around.
constexpr auto kLockSlice = std::chrono::milliseconds(20);
// With nothing drawn and no event, a pass still comes this often: timers,
// the last resort, anything marked without an unlock.
constexpr auto kIdlePass = std::chrono::milliseconds(100);

// Per driver thread: when it first saw a termination request pending, and
// whether it is inside a pass, holding the host lock.
thread_local Clock::time_point t_request_seen{};
thread_local bool t_in_pass = false;

// One presentation pass: takes the host lock, waited for in slices
// (`between_slices` runs after each slice the lock stayed taken: watch the
// connection, the last resort, so that a program keeping the screen lock
// cannot stop them), takes the pass request and runs the calls handed over.
// The lock is released at the end of the pass, which is then recorded, or
// by leave_after_lost_display, which never comes back into it.
class Pass {
 public:
  explicit Pass(void (*between_slices)());
  ~Pass();
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;

 private:
  Clock::time_point start_;
};

// When the pass after one that started at `last_pass` is due: soon after
// drawing asked for one, else after the idle interval (shorter while a
// termination request waits for the last resort).
Clock::time_point next_pass_due(Clock::time_point last_pass) {
  const auto idle = termination_status() != 0 ? kPassSpacing : kIdlePass;
  return last_pass + (host_pass_requested() ? kPassSpacing : idle);
}

// Sleeps what is left of kEventSpacing after `last_pass`.
void space_event_pass(Clock::time_point last_pass) {
  const auto early = last_pass + kEventSpacing - Clock::now();
  if (early.count() > 0) std::this_thread::sleep_for(early);
}

// The wake counter: one for the life of the process, so that a wake can
// never reach a closed descriptor.
int wake_descriptor() {
  static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

void take_wakes() {
  std::uint64_t count = 0;
  if (read(wake_descriptor(), &count, sizeof count) < 0) return;
}

// Forgets a termination request seen by an earlier thread (thread start).
void reset_last_resort() { t_request_seen = {}; }

// True once a termination request has waited kLastResortGrace while the
// host runs and this thread claimed it.
bool last_resort_claimed() {
  if (termination_status() == 0 || !runtime_owns_process()) return false;
  const auto now = Clock::now();
  if (t_request_seen == Clock::time_point{}) t_request_seen = now;
  return now - t_request_seen >= kLastResortGrace && host_running() && claim_termination();
}

Pass::Pass(void (*between_slices)()) : start_(Clock::now()) {
  std::recursive_mutex& lock = host_lock_mutex();
  for (;;) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += long(std::chrono::nanoseconds(kLockSlice).count());
    until.tv_sec += until.tv_nsec / 1000000000L;
    until.tv_nsec %= 1000000000L;
    if (pthread_mutex_timedlock(lock.native_handle(), &until) != ETIMEDOUT) break;
    between_slices();
  }
  t_in_pass = true;
  host_take_pass_request();
  host_run_calls();
}

Pass::~Pass() {
  t_in_pass = false;
  host_lock_mutex().unlock();
  host_record_pass(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count());
}

// True when the connection on `fd` was hung up by the other side.
bool hung_up(int fd) {
  pollfd watch{fd, POLLRDHUP, 0};
  return fd >= 0 && poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// The display went away. Before the window was up the start fails with
// `failure`; in a process the runtime owns a fault request ends it (one
// line, status 1); otherwise the mode gets a display-lost event and its
// window calls fail. The thread then leaves the host and waits, ending the
// process itself after the grace.
[[noreturn]] void leave_after_lost_display(const char* peer, const std::string& display_name, bool started, std::string& failure) {
  const bool owned = runtime_owns_process();
  if (!started) {
    // During the window setup the mode set learns it from the failed start.
    failure = std::string("lost the connection to ") + peer;
  } else if (owned) {
    char message[200];
    std::snprintf(message, sizeof message, "%s: lost the connection to %s (%s)", program_invocation_short_name, peer,
                  printable_display_name(display_name).c_str());
    request_fault_termination(1, message);
  } else {
    // The mode lives until this thread has left the host (its close waits
    // for that), so the event reaches the mode whose window went away.
    post_event(WindowEvent{kEventDisplayLost});
    mark_display_lost();
  }
  // The program's thread may need the lock on its way to the end.
  if (t_in_pass) host_lock_mutex().unlock();
  host_retire();
  const auto retired = Clock::now();
  for (;;) {
    std::this_thread::sleep_for(owned ? std::chrono::milliseconds(10) : std::chrono::milliseconds(1000));
    const int status = termination_status();
    if (owned && status != 0 && Clock::now() - retired >= kLastResortGrace && claim_termination())
      end_process_now(status);
  }
}

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

void wake() {
  const std::uint64_t one = 1;
  // A counter that cannot take more already wakes the thread: nothing is lost.
  if (write(wake_descriptor(), &one, sizeof one) < 0) return;
}

void mark_rows_for_palette() {
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!host.palette_changed || !mode) return;
  host.palette_changed = false;
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
}

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
