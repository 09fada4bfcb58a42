#pragma once

// Process start-up and shutdown of the runtime.
//
// runtime_startup runs before main's own work (a static constructor in the
// library's runtime unit): it fixes the floating-point rounding to nearest,
// ties to even, and takes the character-type locale from the environment.
// runtime_end runs the registered shutdown handler (the graphics mode's
// close, once a mode has been set) and then exits with the given status;
// runtime_shutdown is the at-exit clean-up that follows.

using ShutdownHandler = void (*)(int status);

void runtime_startup();
void runtime_init(int argc, char** argv, int third);
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
