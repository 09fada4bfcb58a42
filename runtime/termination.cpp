#include "runtime/termination.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#if !defined(_WIN32)
#include <pthread.h>
#include <semaphore.h>
#endif

#include "runtime/exit_path.h"

namespace qz {

namespace {

std::atomic<int> g_pending{0};

// A fault: the flag reserves the message buffer for the first request, the
// status publishes it once written.
std::atomic<bool> g_fault_taken{false};
std::atomic<int> g_fault_status{0};
char g_fault_message[256];

// Who ends the process: nobody yet, the program's thread, or a last resort.
enum Owner : int { kNobody, kProgram, kLastResort };
std::atomic<int> g_owner{kNobody};

// A request the program's thread leaves alone this long ends the process
// from the watchdog, a thread that needs no window: a program that never
// waits and never reads a key on a window-less screen (or none) would
// otherwise ignore the request for good. It comes after the window thread's
// own last resort, which also gives the desktop back.
constexpr auto kWatchdogGrace = std::chrono::milliseconds(1000);

#if !defined(_WIN32)
// Posted by the handler (async-signal-safe), so the watchdog sleeps until a
// request comes.
sem_t g_request_posted;
#endif

void on_termination_signal(int signal_number) {
  // The first request wins; nothing here but an atomic store and a post.
  int none = 0;
  g_pending.compare_exchange_strong(none, signal_number);
#if !defined(_WIN32)
  sem_post(&g_request_posted);
#endif
}

std::atomic<CrashHook> g_crash_hook{nullptr};

#if !defined(_WIN32)
void on_crash_signal(int signal_number) {
  if (CrashHook hook = g_crash_hook.load()) hook();
  // The handler was reset on entry: raised again, the signal takes its
  // default action once this returns (or at once, for a fault that repeats).
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}
#endif

[[maybe_unused]] void watchdog() {  // unused where there are no threads (a page)
  for (;;) {
#if defined(_WIN32)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
#else
    while (sem_wait(&g_request_posted) != 0) {
    }
#endif
    if (g_pending.load() == 0) continue;
    std::this_thread::sleep_for(kWatchdogGrace);
    if (claim_termination()) end_process_now(termination_status());
  }
}

}  // namespace

void print_fault_message() {
  if (g_fault_status.load() == 0) return;
  std::fputs(g_fault_message, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void install_termination_handlers() {
#if defined(_WIN32)
  std::signal(SIGINT, on_termination_signal);
  std::signal(SIGTERM, on_termination_signal);
  std::thread(watchdog).detach();
#else
  sem_init(&g_request_posted, 0, 0);
  struct sigaction action {};
  action.sa_handler = on_termination_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // SIGQUIT (Ctrl+\ in a terminal) too: a core dump would leave the
  // display mode changed.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(s, &action, nullptr);
  // A display connection that the other side closes must come back as a
  // write error (and so as a lost server with its message), not as a
  // signal that kills the process without a word.
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction crash {};
  crash.sa_handler = on_crash_signal;
  sigemptyset(&crash.sa_mask);
  crash.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(s, &crash, nullptr);
  // The watchdog never takes a request itself: it is started with them
  // blocked, so each arrives on a thread that acts on it (and a sanitizer
  // that defers signals to a thread's next call never parks one on a
  // thread asleep in its wait).
#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
  sigset_t requests, previous;
  sigemptyset(&requests);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&requests, s);
  pthread_sigmask(SIG_BLOCK, &requests, &previous);
  std::thread(watchdog).detach();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif  // a page without threads gets no signals either: nothing to watch
#endif
}

void set_crash_hook(CrashHook hook) { g_crash_hook.store(hook); }

int pending_termination() { return g_pending.load(); }

void request_fault_termination(int status, const char* message) {
  if (status == 0 || g_fault_taken.exchange(true)) return;
  std::snprintf(g_fault_message, sizeof g_fault_message, "%s", message ? message : "");
  g_fault_status.store(status);
}

int termination_status() {
  if (int status = g_fault_status.load()) return status;
  if (int s = g_pending.load()) return 128 + s;
  return 0;
}

void runtime_poll_termination() {
  const int status = termination_status();
  if (status == 0) return;
  int owner = kNobody;
  if (g_owner.compare_exchange_strong(owner, kProgram)) {
    print_fault_message();
    runtime_end(status);
  }
  if (owner == kProgram) return;  // already on the way out (a poll inside the shutdown)
  // The last resort has the display and ends the process in a moment; this
  // thread must not tear down what it still uses.
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

void mark_program_ending() {
  int owner = kNobody;
  g_owner.compare_exchange_strong(owner, kProgram);
}

bool claim_termination() {
  if (termination_status() == 0) return false;
  int owner = kNobody;
  return g_owner.compare_exchange_strong(owner, kLastResort);
}

}  // namespace qz
