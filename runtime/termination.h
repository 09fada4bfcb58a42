#pragma once

// Termination requests from outside (SIGINT, SIGTERM, SIGHUP; Ctrl+C on
// Windows) end the program through the same path as runtime_end, so the
// window is closed and the display mode and screen saver restored, with exit
// status 128 + the signal number.
//
// The signal handler only records the request. The program's thread acts on
// it at its next wait or key read (runtime_poll_termination, called by the
// vertical-sync wait, the key reads and the sleeps); a window back end's own
// thread may act as a last resort when the program's thread does not come by.

// Installs the handlers (done by the runtime's start-up).
void install_termination_handlers();

// The pending signal number, or 0.
int pending_termination();

// Ends the process through runtime_end(128 + signal) when a request is
// pending; returns otherwise. Call only on the program's thread.
void runtime_poll_termination();
