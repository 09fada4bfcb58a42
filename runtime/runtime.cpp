#include "runtime/runtime.h"

#include <cfenv>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "runtime/termination.h"

namespace qz {

namespace {

struct RuntimeContext {
  int argc = 0;
  char** argv = nullptr;
  int third = 0;
  ShutdownHandler shutdown_handler = nullptr;
};

RuntimeContext g_runtime;
int g_startup_nesting = 0;
int g_shutdown_nesting = 0;
bool g_owns_process = false;

}  // namespace

bool runtime_owns_process() { return g_owns_process; }

void runtime_startup() {
  if (g_startup_nesting++ > 0) return;
  const ShutdownHandler handler = g_runtime.shutdown_handler;  // a mode may exist already
  g_runtime = RuntimeContext{};
  g_runtime.shutdown_handler = handler;
  std::fesetround(FE_TONEAREST);
  std::setlocale(LC_CTYPE, "");
  install_termination_handlers();
}

void runtime_init(int argc, char** argv, int third) {
  // The program hands the process to the runtime: its arithmetic relies on
  // rounding to nearest with ties to even, key translation and the close
  // test on the user's character-type locale, an interrupted program on an
  // orderly shutdown, and a lost display on ending the process.
  if (!g_owns_process) {
    runtime_startup();
    g_owns_process = true;
    std::atexit([] { runtime_shutdown(); });
  }
  g_runtime.argc = argc;
  g_runtime.argv = argv;
  g_runtime.third = third;
}

void set_shutdown_handler(ShutdownHandler handler) { g_runtime.shutdown_handler = handler; }
ShutdownHandler shutdown_handler() { return g_runtime.shutdown_handler; }

void run_shutdown_handler(int status) {
  if (g_runtime.shutdown_handler) g_runtime.shutdown_handler(status);
}

void runtime_end(int status) {
  // From here on this thread closes the display; no last resort may race it.
  mark_program_ending();
  run_shutdown_handler(status);
  std::exit(status);
}

void runtime_shutdown() {
  // Only the last of nested calls acts; the runtime holds no files or
  // buffers of its own beyond the standard streams, flushed here.
  if (g_shutdown_nesting++ > 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
}

int runtime_argc() { return g_runtime.argc; }
char** runtime_argv() { return g_runtime.argv; }

}  // namespace qz
