// The single-threaded web build (QZ_WEB_ASYNCIFY): main() runs on the page's
// own thread, which must give the page back whenever the program waits. So
// sleeps yield: nanosleep (under std::this_thread::sleep_for, so under every
// wait of the library) returns to the page's event loop for the time asked
// and resumes the program there (ASYNCIFY), while animation frames, input
// and presentation go on.
#if QZ_WEB_ASYNCIFY

#include <emscripten/emscripten.h>
#include <time.h>

extern "C" int nanosleep(const timespec* request, timespec* remaining) {
  const double ms = double(request->tv_sec) * 1000.0 + double(request->tv_nsec) / 1e6;
  emscripten_sleep(static_cast<unsigned>(ms < 1.0 ? 1.0 : ms));
  if (remaining) *remaining = timespec{};
  return 0;
}

#endif
