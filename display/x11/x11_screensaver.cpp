// The screen saver stays away while the window lives, without touching the
// server's settings: the saver is suspended for this connection only (it
// comes back by itself if the process dies), or, where the extension is
// missing, its timer is reset every half minute.

#include <X11/Xlib.h>

#include <chrono>

#include "display/x11/x11_state.h"

#if defined(QZ_HAVE_XSS)
#include <X11/extensions/scrnsaver.h>
#endif

namespace qz {

namespace {
constexpr auto kResetInterval = std::chrono::seconds(30);
}  // namespace

void x11_suspend_screensaver() {
  X11State& x = x11();
  x.saver_suspended = false;
  x.saver_reset = std::chrono::steady_clock::now();
#if defined(QZ_HAVE_XSS)
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (XScreenSaverQueryExtension(x.display, &event_base, &error_base) &&
      XScreenSaverQueryVersion(x.display, &major, &minor) && (major > 1 || (major == 1 && minor >= 1))) {
    XScreenSaverSuspend(x.display, True);
    x.saver_suspended = true;
  }
#endif
  if (!x.saver_suspended) XResetScreenSaver(x.display);
}

void x11_keep_screensaver_away() {
  X11State& x = x11();
  if (x.saver_suspended) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - x.saver_reset < kResetInterval) return;
  XResetScreenSaver(x.display);
  x.saver_reset = now;
}

void x11_resume_screensaver() {
  X11State& x = x11();
#if defined(QZ_HAVE_XSS)
  if (x.saver_suspended) XScreenSaverSuspend(x.display, False);
#endif
  x.saver_suspended = false;
}

}  // namespace qz
