#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"

namespace qz {

namespace {

// ASCII-only, so that names compare the same under every locale and bytes
// that are not text simply do not match.
bool equal_ignoring_case(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

std::string g_failure_reason;

}  // namespace

const char* driver_failure_reason() { return g_failure_reason.c_str(); }
void set_driver_failure_reason(const char* reason) { g_failure_reason = reason ? reason : ""; }

bool null_driver_requested(const char* qzgfx, int flags) {
  return flags == kModeFlagsNoWindow || (qzgfx && equal_ignoring_case(qzgfx, "null"));
}

const DisplayDriver* select_driver(std::span<const DisplayDriver* const> table, const char* qzgfx,
                                   const DriverRequest& request) {
  if (null_driver_requested(qzgfx, request.flags)) return &null_driver;
  bool named = qzgfx && *qzgfx;

  // With a name: the named driver, every driver, then both again with
  // fullscreen toggled. Without: every driver, then toggled.
  int flags = request.flags;
  for (int pass = named ? 4 : 2; pass >= 1; --pass) {
    for (const DisplayDriver* driver : table) {
      if (named && pass % 2 == 0 && !equal_ignoring_case(driver->name, qzgfx)) continue;
      for (int refresh : {request.refresh, 0}) {
        if (driver->init(request.title, request.width, request.height, request.depth, refresh, flags) == 0)
          return driver;
        if (driver->exit) driver->exit();
      }
    }
    if (!named || pass == 3) flags ^= kModeFullscreen;
  }
  return nullptr;
}

}  // namespace qz
