#pragma once

namespace qz {

// Termination requests from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT;
// Ctrl+C on Windows) end the program through the exit path (exit_path.h), so
// the window is closed and the display mode and screen saver restored, with
// exit status 128 + the signal number. This file decides who ends the
// process and when; the exit path how.
//
// The signal handler only records the request. The program's thread acts on
// it at its next wait or key read (runtime_poll_termination, called by the
// vertical-sync wait, the key reads and the sleeps). A fault the program
// cannot go on after (the display went away) is requested the same way by
// the window back end's thread, with its own status and one-line message,
// so that the process ends on the program's thread and never while it is
// still drawing.
//
// When the program's thread does not come by (it never waits or reads keys),
// the window back end's thread acts as a last resort: it claims the request,
// puts back what it changed on the display and ends the process at once
// (end_process_now), without static destructors that could meet the
// program's thread still running. Where no window thread exists (a
// window-less screen, or none), a watchdog thread of the handlers does the
// same a little later, so that no request is ever ignored.

// Installs the handlers (done by the runtime's start-up). The crash signals
// (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) get one too: it runs the crash
// hook, then the signal's default action (core dump and status as always).
void install_termination_handlers();

// What a crash may still do for the desktop; async-signal-safe, as it runs
// in the crashed thread's signal handler. Null for nothing.
using CrashHook = void (*)();
void set_crash_hook(CrashHook hook);

// The pending signal number, or 0.
int pending_termination();

// Records a fault that ends the process with `status` (not 0) and `message`
// (one line, printed to standard error as the process ends). The first
// request wins; later ones and signals after it are ignored. Any thread.
void request_fault_termination(int status, const char* message);

// The exit status a pending request asks for (128 + signal, or the fault's
// status); 0 when nothing is pending.
int termination_status();

// Ends the process through runtime_end with the pending request's status
// (printing a fault's message first); returns when nothing is pending or the
// program's thread is ending already. Call only on the program's thread.
void runtime_poll_termination();

// Marks the program's thread as ending (runtime_end does this first): from
// then on no last resort acts.
void mark_program_ending();

// For the last resort: true when the caller has taken over the pending
// request (nothing pending, or the program's thread ending, gives false).
// After a claim, the program's thread parks at its next poll instead of
// tearing down under the claimer's feet.
bool claim_termination();

// Prints a recorded fault's one line to standard error; nothing without one.
void print_fault_message();

}  // namespace qz
