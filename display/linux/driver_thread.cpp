#include "display/linux/driver_thread.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

#include "display/display_driver.h"
#include "display/display_name.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "input/window_input.h"
#include "runtime/exit_path.h"
#include "runtime/runtime.h"
#include "runtime/termination.h"

namespace qz::driver_thread {

namespace {

// How long one wait for the host lock lasts before the caller looks around.
constexpr auto kLockSlice = std::chrono::milliseconds(20);
// With nothing drawn and no event, a pass still comes this often: timers,
// the last resort, anything marked without an unlock.
constexpr auto kIdlePass = std::chrono::milliseconds(100);

// Per driver thread: when it first saw a termination request pending, and
// whether it is inside a pass, holding the host lock.
thread_local Clock::time_point t_request_seen{};
thread_local bool t_in_pass = false;

}  // namespace

Clock::time_point next_pass_due(Clock::time_point last_pass) {
  const auto idle = termination_status() != 0 ? kPassSpacing : kIdlePass;
  return last_pass + (host_pass_requested() ? kPassSpacing : idle);
}

void space_event_pass(Clock::time_point last_pass) {
  const auto early = last_pass + kEventSpacing - Clock::now();
  if (early.count() > 0) std::this_thread::sleep_for(early);
}

int wake_descriptor() {
  static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

void wake() {
  const std::uint64_t one = 1;
  // A counter that cannot take more already wakes the thread: nothing is lost.
  if (write(wake_descriptor(), &one, sizeof one) < 0) return;
}

void take_wakes() {
  std::uint64_t count = 0;
  if (read(wake_descriptor(), &count, sizeof count) < 0) return;
}

void reset_last_resort() { t_request_seen = {}; }

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

bool hung_up(int fd) {
  pollfd watch{fd, POLLRDHUP, 0};
  return fd >= 0 && poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

void mark_rows_for_palette() {
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!host.palette_changed || !mode) return;
  host.palette_changed = false;
  std::fill(mode->dirty_rows.begin(), mode->dirty_rows.end(), std::uint8_t{1});
}

void leave_after_lost_display(const char* peer, const std::string& display_name, bool started, std::string& failure) {
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

}  // namespace qz::driver_thread
