// The single-threaded web build (QZ_WEB_ASYNCIFY): main() runs on the page's
// own thread, which must give the page back whenever the program waits.
//
// - Sleeps yield: nanosleep (under std::this_thread::sleep_for, so under
//   every wait of the library) returns to the page's event loop for the time
//   asked and resumes the program there (ASYNCIFY), so animation frames,
//   input and presentation go on meanwhile.
// - A page without threads cannot start the runtime's termination watchdog,
//   which has nothing to watch there (a page gets no signals): the thread is
//   reported started and never runs, rather than failing the program.
#if QZ_WEB_ASYNCIFY

#include <emscripten/emscripten.h>
#include <pthread.h>
#include <time.h>

extern "C" int nanosleep(const timespec* request, timespec* remaining) {
  const double ms = double(request->tv_sec) * 1000.0 + double(request->tv_nsec) / 1e6;
  emscripten_sleep(static_cast<unsigned>(ms < 1.0 ? 1.0 : ms));
  if (remaining) *remaining = timespec{};
  return 0;
}

// The handle must not be null: a detach of a null thread fails.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t*, void* (*)(void*), void*) {
  static int never_running;
  *thread = reinterpret_cast<pthread_t>(&never_running);
  return 0;
}

#endif
