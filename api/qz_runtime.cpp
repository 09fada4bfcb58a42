// The public calls about the library itself, errors, the process and time.

#include <qzgfx/qzgfx.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "display/screen_mode.h"
#include "display/vsync.h"
#include "runtime/error_message.h"
#include "runtime/last_error.h"
#include "runtime/runtime.h"
#include "runtime/termination.h"

namespace {

#define QZ_STRINGIFY_(x) #x
#define QZ_STRINGIFY(x) QZ_STRINGIFY_(x)
constexpr const char kVersion[] =
    QZ_STRINGIFY(QZ_VERSION_MAJOR) "." QZ_STRINGIFY(QZ_VERSION_MINOR) "." QZ_STRINGIFY(QZ_VERSION_PATCH);

// A long sleep still ends an owned process soon after a termination request.
constexpr int kSleepSliceMs = 50;

}  // namespace

extern "C" {

const char* qz_version(void) { return kVersion; }

int qz_last_error(void) { return qz::last_error(); }

const char* qz_error_message(void) { return qz::error_message(); }

void qz_runtime_init(int argc, char** argv) { qz::runtime_init(argc, argv, 0); }

void qz_wait_vsync(void) {
  qz::gfx_wait_vsync();
  if (!qz::current_mode()) qz::fail_with("no screen is open");
}

void qz_sleep(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  qz::runtime_poll_termination();
  const auto until = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  for (auto now = Clock::now(); now < until; now = Clock::now()) {
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(kSleepSliceMs)));
    qz::runtime_poll_termination();
  }
}

double qz_time(void) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // extern "C"
