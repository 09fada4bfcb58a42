#include "runtime/termination.h"

#include <atomic>
#include <csignal>

#include "runtime/runtime.h"

namespace {

std::atomic<int> g_pending{0};

extern "C" void on_termination_signal(int signal_number) {
  // The first request wins; nothing here but an atomic store is safe.
  int none = 0;
  g_pending.compare_exchange_strong(none, signal_number);
}

}  // namespace

void install_termination_handlers() {
#if defined(_WIN32)
  std::signal(SIGINT, on_termination_signal);
  std::signal(SIGTERM, on_termination_signal);
#else
  struct sigaction action {};
  action.sa_handler = on_termination_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
#endif
}

int pending_termination() { return g_pending.load(); }

void runtime_poll_termination() {
  if (int s = g_pending.load()) runtime_end(128 + s);
}
