#include "runtime/runtime.h"

#include <cfenv>
#include <clocale>

#include "runtime/termination.h"

namespace qz {

namespace {

struct RuntimeContext {
  int argc = 0;
  char** argv = nullptr;
  int third = 0;
};

RuntimeContext g_runtime;
int g_startup_nesting = 0;
bool g_owns_process = false;

}  // namespace

bool runtime_owns_process() { return g_owns_process; }

void runtime_startup() {
  if (g_startup_nesting++ > 0) return;
  g_runtime = RuntimeContext{};
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
  }
  g_runtime.argc = argc;
  g_runtime.argv = argv;
  g_runtime.third = third;
}

int runtime_argc() { return g_runtime.argc; }
char** runtime_argv() { return g_runtime.argv; }

}  // namespace qz
