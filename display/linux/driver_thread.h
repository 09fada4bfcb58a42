#pragma once

// What the Linux back ends' driver threads share (X11 and Wayland): the
// pacing of passes, the wake counter they poll beside their connection, the
// host lock taken in slices, the last resort, and leaving the host when the
// display went away. The thread's loop (driver_loop.cpp) puts them together.

#include <chrono>
#include <string>

namespace qz::driver_thread {

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

// When the pass after one that started at `last_pass` is due: soon after
// drawing asked for one, else after the idle interval (shorter while a
// termination request waits for the last resort).
Clock::time_point next_pass_due(Clock::time_point last_pass);
// Sleeps what is left of kEventSpacing after `last_pass`.
void space_event_pass(Clock::time_point last_pass);

// The wake counter: one for the life of the process, so that a wake can
// never reach a closed descriptor. wake() suits WindowHost::wake.
int wake_descriptor();
void wake();
void take_wakes();

// Forgets a termination request seen by an earlier thread (thread start).
void reset_last_resort();
// True once a termination request has waited kLastResortGrace while the
// host runs and this thread claimed it: the caller puts back what outlives
// the process and calls end_process_now(termination_status()).
bool last_resort_claimed();

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

// True when the connection on `fd` was hung up by the other side.
bool hung_up(int fd);
// A changed palette is applied by converting every row again: marks them.
void mark_rows_for_palette();

// The display (`peer`: "the X server", "the Wayland compositor") went away.
// Before the window was up the start fails with `failure`; in a process the
// runtime owns a fault request ends it (one line, status 1); otherwise the
// mode gets a display-lost event and its window calls fail. The thread then
// leaves the host and waits, ending the process itself after the grace.
[[noreturn]] void leave_after_lost_display(const char* peer, const std::string& display_name, bool started,
                                           std::string& failure);

}  // namespace qz::driver_thread
