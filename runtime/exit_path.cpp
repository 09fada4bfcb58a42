#include "runtime/exit_path.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "runtime/console_hooks.h"
#include "runtime/termination.h"

namespace qz {

namespace {

std::atomic<DisplayTeardown> g_display_teardown{nullptr};
std::atomic<bool> g_torn_down{false};
std::atomic<bool> g_hook_registered{false};
std::atomic<bool> g_skip_library_cleanup{false};

// The program returns from main or calls exit: the teardown comes before
// the destructors of the records the presentation thread reads.
void at_exit(int status) {
  mark_program_ending();
  exit_teardown(status);
  if (!g_skip_library_cleanup.load()) return;
  std::fflush(nullptr);
  std::_Exit(status);
}

void register_at_exit() {
  if (g_hook_registered.exchange(true)) return;
#if defined(__GLIBC__)
  on_exit([](int status, void*) { at_exit(status); }, nullptr);  // knows the status
#else
  std::atexit([] { at_exit(0); });
#endif
}

// A stream another thread is writing to is left as it is: waiting for it
// could keep the process from ending.
void flush_if_free(std::FILE* stream) {
#if defined(_WIN32)
  std::fflush(stream);
#else
  if (ftrylockfile(stream) != 0) return;
  std::fflush(stream);
  funlockfile(stream);
#endif
}

}  // namespace

void set_display_teardown(DisplayTeardown teardown) {
  g_display_teardown.store(teardown);
  if (teardown) register_at_exit();
}

void exit_teardown(int status) {
  if (g_torn_down.exchange(true)) return;
  if (const DisplayTeardown teardown = g_display_teardown.load()) teardown(status);
  console_hooks() = ConsoleHooks{};
}

void runtime_end(int status) {
  mark_program_ending();
  exit_teardown(status);
  std::exit(status);
}

void end_process_now(int status) {
  flush_if_free(stdout);
  print_fault_message();
  std::_Exit(status);
}

void end_without_library_cleanup() {
  g_skip_library_cleanup.store(true);
  register_at_exit();
}

}  // namespace qz
