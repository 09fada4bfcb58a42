#pragma once

// The driver thread of the Linux window back ends (X11 and Wayland), written
// once: connect, set up the window, the start handshake, then presentation
// passes until the host stops, paced the same way, with the wake counter
// polled beside the connection, the host lock taken in slices, the last
// resort, and leaving the host when the display went away. A back end is
// the constant record of what differs.

#include <string>

namespace qz::driver_thread {

struct DriverThreadHooks {
  // Who went away in lost-display messages: "the X server".
  const char* peer = nullptr;
  // The attempt's display name for those messages, and where a start that
  // failed leaves its reason (both of the calling thread's attempt).
  const std::string& (*display_name)() = nullptr;
  std::string& (*failure)() = nullptr;

  // Opens the connection; `answered` as host_signal_connected. False: the
  // reason is noted, nothing is left open and, when `answered` gave the
  // thread up, nothing the back end shares was written.
  bool (*connect)(bool (*answered)()) = nullptr;
  // Closes the connection; the window is built and taken down by the host's
  // routines (thread_init, release), which the back end installed.
  void (*disconnect)() = nullptr;
  // After the start handshake, before the first pass; may be null.
  void (*after_start)() = nullptr;

  // The wait between passes. connection_fd is polled (-1: none);
  // prepare_wait returns false when events already wait for the pass;
  // when the wait ends without the connection readable, cancel_wait undoes
  // what prepare_wait began; read_events takes what the connection has.
  // timer_fd, when readable, is a pass due. The last three may be null.
  int (*connection_fd)() = nullptr;
  bool (*prepare_wait)() = nullptr;
  void (*cancel_wait)() = nullptr;
  void (*read_events)() = nullptr;
  int (*timer_fd)() = nullptr;

  // Inside the pass, with the host lock held: events, marked rows, keys.
  void (*update_pass)() = nullptr;
  // After the pass, outside the host lock; may be null.
  void (*after_pass)() = nullptr;
  // The connection hung up while the program keeps the host lock: make the
  // library meet the loss (it then calls lose_display).
  void (*meet_hang_up)() = nullptr;
  // The last resort: puts back what outlives the process; may be null.
  void (*restore)() = nullptr;
};

// The driver thread's body with `hooks` (which must outlive the thread).
void run(const DriverThreadHooks& hooks);

// The calling driver thread's display went away (see leave_after_lost_display).
[[noreturn]] void lose_display();

// Interrupts the thread's wait between passes; suits WindowHost::wake.
void wake();
// A changed palette is applied by converting every row again: marks them
// (inside the pass).
void mark_rows_for_palette();

}  // namespace qz::driver_thread
