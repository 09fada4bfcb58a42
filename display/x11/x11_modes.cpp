// Monitors and display modes through XRandR: the monitor the window opens
// on, the fullscreen mode change and its restoration, the refresh rate and
// the list of modes. Without the extension the whole screen is one monitor
// with no known rate, and fullscreen (which needs a mode change) is refused.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/x11/x11_mode_guardian.h"
#include "display/x11/x11_state.h"

#if defined(QZ_HAVE_XRANDR)
#include <X11/extensions/Xrandr.h>
#endif

namespace qz {

namespace {

X11Rect whole_screen(const X11State& x) {
  return {0, 0, DisplayWidth(x.display, x.screen), DisplayHeight(x.display, x.screen)};
}

#if defined(QZ_HAVE_XRANDR)

// The server has RandR 1.3: its resource query that does not probe the
// monitors again. 1.2 is enough for everything here.
bool g_current_resources = false;

// Screen resources, freed with the holder.
struct Resources {
  explicit Resources(const X11State& x)
      : value(g_current_resources ? XRRGetScreenResourcesCurrent(x.display, x.root)
                                  : XRRGetScreenResources(x.display, x.root)) {}
  ~Resources() {
    if (value) XRRFreeScreenResources(value);
  }
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;
  XRRScreenResources* value;
};

struct CrtcInfo {
  CrtcInfo(const X11State& x, XRRScreenResources* res, RRCrtc crtc) : value(XRRGetCrtcInfo(x.display, res, crtc)) {}
  ~CrtcInfo() {
    if (value) XRRFreeCrtcInfo(value);
  }
  CrtcInfo(const CrtcInfo&) = delete;
  CrtcInfo& operator=(const CrtcInfo&) = delete;
  XRRCrtcInfo* value;
};

// Frames per second of a mode, rounded; 0 when the mode gives no timing.
int rate_of(const XRRModeInfo& mode) {
  double lines = mode.vTotal;
  if (mode.modeFlags & RR_DoubleScan) lines *= 2;
  if (mode.modeFlags & RR_Interlace) lines /= 2;
  if (mode.hTotal == 0 || lines == 0) return 0;
  return int(std::lround(double(mode.dotClock) / (double(mode.hTotal) * lines)));
}

const XRRModeInfo* mode_info(XRRScreenResources* res, RRMode id) {
  for (int i = 0; i < res->nmode; ++i)
    if (res->modes[i].id == id) return &res->modes[i];
  return nullptr;
}

// The monitor (an active CRTC) containing the point, else the nearest one.
void pick_monitor(X11State& x, int px, int py) {
  x.monitor = whole_screen(x);
  x.monitor_crtc = 0;
  if (!x.randr) return;
  Resources res(x);
  if (!res.value) return;
  long best = -1;
  for (int i = 0; i < res.value->ncrtc; ++i) {
    CrtcInfo info(x, res.value, res.value->crtcs[i]);
    if (!info.value || info.value->mode == None || info.value->noutput == 0) continue;
    const XRRCrtcInfo& c = *info.value;
    const long dx = px < c.x ? c.x - px : px >= c.x + int(c.width) ? px - (c.x + int(c.width) - 1) : 0;
    const long dy = py < c.y ? c.y - py : py >= c.y + int(c.height) ? py - (c.y + int(c.height) - 1) : 0;
    const long distance = dx * dx + dy * dy;
    if (best < 0 || distance < best) {
      best = distance;
      x.monitor = {c.x, c.y, int(c.width), int(c.height)};
      x.monitor_crtc = res.value->crtcs[i];
    }
  }
}

#endif

}  // namespace

void x11_init_randr() {
  X11State& x = x11();
  x.randr = false;
#if defined(QZ_HAVE_XRANDR)
  x.randr = x11_randr_version(x.display, g_current_resources);
#endif
}

void x11_find_monitor_at_pointer() {
  X11State& x = x11();
  Window root = 0, child = 0;
  int px = 0, py = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(x.display, x.root, &root, &child, &px, &py, &wx, &wy, &mask);
#if defined(QZ_HAVE_XRANDR)
  pick_monitor(x, px, py);
#else
  x.monitor = whole_screen(x);
#endif
}

X11Rect x11_work_area() {
  X11State& x = x11();
  X11Rect area = x.monitor;
  const Atom name = XInternAtom(x.display, "_NET_WORKAREA", True);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // The current desktop's comes first; the window opens on it.
  if (name != None &&
      XGetWindowProperty(x.display, x.root, name, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
          Success &&
      type == XA_CARDINAL && format == 32 && count == 4) {
    const auto* v = reinterpret_cast<const long*>(data);
    const long left = std::max<long>(area.x, v[0]), top = std::max<long>(area.y, v[1]);
    const long right = std::min<long>(area.x + area.width, v[0] + v[2]);
    const long bottom = std::min<long>(area.y + area.height, v[1] + v[3]);
    if (right > left && bottom > top) area = {int(left), int(top), int(right - left), int(bottom - top)};
  }
  if (data) XFree(data);
  return area;
}

int x11_dpi_factor() {
  // The resources the server held when we connected, as "name:\tvalue" lines.
  const char* resources = XResourceManagerString(x11().display);
  for (const char* line = resources; line && *line;) {
    constexpr char kName[] = "Xft.dpi:";
    if (std::strncmp(line, kName, sizeof kName - 1) == 0) return dpi_factor(std::strtod(line + sizeof kName - 1, nullptr));
    line = std::strchr(line, '\n');
    if (line) ++line;
  }
  return 1;
}

void x11_find_monitor_of_window() {
  X11State& x = x11();
  if (!x.window) return;
  XWindowAttributes attributes{};
  int rx = 0, ry = 0;
  Window child = 0;
  if (!XGetWindowAttributes(x.display, x.window, &attributes) ||
      !XTranslateCoordinates(x.display, x.window, x.root, attributes.width / 2, attributes.height / 2, &rx, &ry, &child))
    return;
#if defined(QZ_HAVE_XRANDR)
  pick_monitor(x, rx, ry);
#endif
}

int x11_set_fullscreen_mode(int width, int height, int refresh) {
  X11State& x = x11();
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
#if defined(QZ_HAVE_XRANDR)
  if (!x.randr || !x.monitor_crtc) {
    x.failure = "fullscreen needs the XRandR extension";
    return -1;
  }
  Resources res(x);
  if (!res.value) {
    x.failure = "the display's modes cannot be read";
    return -1;
  }
  CrtcInfo crtc(x, res.value, x.monitor_crtc);
  if (!crtc.value || crtc.value->noutput == 0) {
    x.failure = "the monitor has no output";
    return -1;
  }
  XRROutputInfo* output = XRRGetOutputInfo(x.display, res.value, crtc.value->outputs[0]);
  RRMode chosen = None;
  for (int i = 0; output && i < output->nmode && chosen == None; ++i) {
    const XRRModeInfo* info = mode_info(res.value, output->modes[i]);
    if (info && int(info->width) == width && int(info->height) == height && (refresh <= 0 || rate_of(*info) == refresh))
      chosen = info->id;
  }
  if (output) XRRFreeOutputInfo(output);
  if (chosen == None) {
    x.failure = "the display has no " + size + (refresh > 0 ? " mode at " + std::to_string(refresh) + " Hz" : " mode");
    return -1;
  }
  const XRRCrtcInfo& c = *crtc.value;
  x.monitor = {c.x, c.y, width, height};
  if (chosen == c.mode) return 0;
  X11CrtcSetting now;
  now.crtc = x.monitor_crtc;
  now.mode = c.mode;
  now.x = c.x;
  now.y = c.y;
  now.rotation = c.rotation;
  now.outputs.assign(c.outputs, c.outputs + c.noutput);
  X11ErrorTrap trap;
  X11CrtcSetting desktop;
  const bool changed = x11_change_mode_recorded(x.display, x.root, g_current_resources, now, chosen, desktop);
  trap.failed();  // an error comes back as the change's refusal too
  if (!changed) {
    x.failure = "the display refused the " + size + " mode";
    return -1;
  }
  x.saved_crtc = desktop;
  x.our_mode = chosen;
  x.mode_changed = true;
  x11_guard_mode(x.display_name, desktop, chosen);
  return 0;
#else
  (void)refresh;
  x.failure = "fullscreen needs the XRandR extension (not built in)";
  return -1;
#endif
}

void x11_restore_mode() {
  X11State& x = x11();
  if (!x.mode_changed) return;
  x.mode_changed = false;
#if defined(QZ_HAVE_XRANDR)
  X11ErrorTrap trap;
  const X11Restore restored = x11_restore_recorded(x.display, x.root, g_current_resources, x.saved_crtc, x.our_mode);
  trap.failed();
  // Refused: the guardian tries once more when the program has gone, and
  // the record stays for whoever comes next.
  if (restored != X11Restore::kRefused) x11_release_mode_guard();
  Resources res(x);
  if (!res.value) return;
  CrtcInfo crtc(x, res.value, x.saved_crtc.crtc);
  if (crtc.value) x.monitor = {crtc.value->x, crtc.value->y, int(crtc.value->width), int(crtc.value->height)};
#endif
}

int x11_refresh_rate() {
#if defined(QZ_HAVE_XRANDR)
  X11State& x = x11();
  if (!x.randr || !x.monitor_crtc) return 0;
  Resources res(x);
  if (!res.value) return 0;
  CrtcInfo crtc(x, res.value, x.monitor_crtc);
  if (!crtc.value) return 0;
  const XRRModeInfo* info = mode_info(res.value, crtc.value->mode);
  return info ? rate_of(*info) : 0;
#else
  return 0;
#endif
}

std::vector<std::int32_t> x11_list_modes(int depth) {
  X11State& x = x11();
  std::vector<std::int32_t> modes;
  // The screen has one depth; 15/16 and 24/32 count as the same.
  auto depth_class = [](int d) { return d == 15 ? 16 : d == 24 ? 32 : d; };
  if (depth_class(depth) != depth_class(DefaultDepth(x.display, x.screen))) return modes;
  auto add = [&](int w, int h) {
    const std::int32_t value = std::int32_t(w * 65536 + h);
    if (std::find(modes.begin(), modes.end(), value) == modes.end()) modes.push_back(value);
  };
#if defined(QZ_HAVE_XRANDR)
  if (x.randr) {
    Resources res(x);
    for (int o = 0; res.value && o < res.value->noutput; ++o) {
      XRROutputInfo* output = XRRGetOutputInfo(x.display, res.value, res.value->outputs[o]);
      if (!output) continue;
      for (int i = 0; output->connection == RR_Connected && i < output->nmode; ++i)
        if (const XRRModeInfo* info = mode_info(res.value, output->modes[i])) add(int(info->width), int(info->height));
      XRRFreeOutputInfo(output);
    }
  }
#endif
  if (modes.empty()) add(DisplayWidth(x.display, x.screen), DisplayHeight(x.display, x.screen));
  return modes;
}

}  // namespace qz
