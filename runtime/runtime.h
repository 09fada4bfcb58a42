#pragma once

namespace qz {

// Process start-up and shutdown of the runtime.
//
// Nothing here runs unless the program asks: a library must not change the
// process it is linked into. runtime_init is the program's opt-in: it runs
// runtime_startup once (floating-point rounding to nearest, ties to even;
// the character-type locale from the environment; the termination handlers)
// and from then on the runtime owns the process: termination requests and a
// lost display end it.
// runtime_end runs the registered shutdown handler (the graphics mode's
// close, once a mode has been set) and then exits with the given status;
// runtime_shutdown is the at-exit clean-up that follows.

using ShutdownHandler = void (*)(int status);

void runtime_startup();
void runtime_init(int argc, char** argv, int third);
// True once runtime_init ran: faults and termination requests end the process.
bool runtime_owns_process();
[[noreturn]] void runtime_end(int status);
void runtime_shutdown();

// Installed by the first successful graphics mode set.
void set_shutdown_handler(ShutdownHandler handler);
ShutdownHandler shutdown_handler();

// Runs the shutdown handler once, without exiting: the common part of every
// orderly way out (runtime_end, fatal signals).
void run_shutdown_handler(int status);

int runtime_argc();
char** runtime_argv();

}  // namespace qz
