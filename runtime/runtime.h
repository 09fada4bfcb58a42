#pragma once

namespace qz {

// Process start-up of the runtime; its end is the exit path's
// (runtime/exit_path.h).
//
// Nothing here runs unless the program asks: a library must not change the
// process it is linked into. runtime_init is the program's opt-in: it runs
// runtime_startup once (floating-point rounding to nearest, ties to even;
// the character-type locale from the environment; the termination handlers)
// and from then on the runtime owns the process: termination requests and a
// lost display end it.

void runtime_startup();
void runtime_init(int argc, char** argv, int third);
// True once runtime_init ran: faults and termination requests end the process.
bool runtime_owns_process();

int runtime_argc();
char** runtime_argv();

}  // namespace qz
