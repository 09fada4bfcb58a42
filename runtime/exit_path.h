#pragma once

// The one way a process using the library ends, whichever way out it took:
// runtime_end (the program's own end, a termination request, a lost
// display), the program returning from main or calling exit with a screen
// open (the at-exit teardown), or a last resort on another thread
// (end_process_now: a driver thread, the handlers' watchdog).
//
// Teardown order, the same on every way out:
//   1. the display: the teardown the display layer registered at its first
//      mode set stops the presentation thread and gives the desktop back
//      (window, display mode, screen saver);
//   2. the console hooks go back to the text console's;
//   3. the process ends with the chosen status.
// A last resort cannot stop the program's thread, which may still draw: its
// caller gives back what outlives the process (the display mode) itself,
// and it skips step 2 and every destructor.
//
// Lifetimes at exit: the at-exit teardown runs before the destructors of
// the library's namespace-scope records (they were built before main, so
// before it was registered), so the presentation thread is gone when they
// go. A thread that outlives the teardown (one given up on inside its
// connect, one parked after its display went away) touches only records
// that are never destroyed, as does everything a driver thread reads that
// is made on first use.

namespace qz {

// Step 1, given the exit status. The display layer sets it once a mode
// exists; setting it also registers the at-exit teardown (once).
using DisplayTeardown = void (*)(int status);
void set_display_teardown(DisplayTeardown teardown);

// Steps 1 and 2, once per process; later calls do nothing. Program's thread.
void exit_teardown(int status);

// The orderly end on the program's thread: from here no last resort acts,
// then steps 1 to 3 (exit: at-exit work and static destructors run).
[[noreturn]] void runtime_end(int status);

// A last resort's end from any thread: flushes the standard streams where
// that cannot block, prints a pending fault's message if any and ends the
// process at once, without at-exit work or static destructors that the
// program's thread, still running, could meet.
[[noreturn]] void end_process_now(int status);

// A thread is blocked inside a library for good (a connect given up on):
// that library's clean-up at exit would destroy what the thread still
// holds. From then on a normal end runs the teardown, flushes the streams
// and ends without any later at-exit work or destructor.
void end_without_library_cleanup();

}  // namespace qz
