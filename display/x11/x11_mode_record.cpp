#include "display/x11/x11_mode_record.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <cstdint>
#include <string>

// Without RandR there is no mode change to record or guard.
#if defined(QZ_HAVE_XRANDR)

namespace qz {

namespace {

// The record: mode, x, y, rotation, then the outputs, as CARDINAL/32.
constexpr int kFixedWords = 4;
constexpr int kMostOutputs = 32;

Atom record_name(Display* display, unsigned long crtc) {
  const std::string name = "_QZGFX_DESKTOP_MODE_" + std::to_string(crtc);
  return XInternAtom(display, name.c_str(), False);
}

// The screen resources, freed with the holder; 1.3's query does not make
// the server probe the monitors again.
struct Resources {
  Resources(Display* display, Window root, bool current)
      : value(current ? XRRGetScreenResourcesCurrent(display, root) : XRRGetScreenResources(display, root)) {}
  ~Resources() {
    if (value) XRRFreeScreenResources(value);
  }
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;
  XRRScreenResources* value;
};

bool has_mode(const XRRScreenResources& res, unsigned long mode) {
  for (int i = 0; i < res.nmode; ++i)
    if (res.modes[i].id == mode) return true;
  return false;
}

// The record of `crtc`, when there is one whose mode the server still has.
bool read_record(Display* display, Window root, const XRRScreenResources& res, unsigned long crtc,
                 X11CrtcSetting& out) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int got = XGetWindowProperty(display, root, record_name(display, crtc), 0, kFixedWords + kMostOutputs, False,
                                     XA_CARDINAL, &type, &format, &count, &after, &data);
  bool ok = got == Success && type == XA_CARDINAL && format == 32 && count > std::size_t(kFixedWords);
  if (ok) {
    const long* words = reinterpret_cast<const long*>(data);  // Xlib hands 32-bit items as longs
    out.crtc = crtc;
    out.mode = static_cast<unsigned long>(words[0]) & 0xFFFFFFFFul;
    out.x = static_cast<std::int32_t>(words[1]);
    out.y = static_cast<std::int32_t>(words[2]);
    out.rotation = static_cast<unsigned short>(words[3]);
    out.outputs.clear();
    for (unsigned long i = kFixedWords; i < count; ++i)
      out.outputs.push_back(static_cast<unsigned long>(words[i]) & 0xFFFFFFFFul);
    ok = has_mode(res, out.mode);
  }
  if (data) XFree(data);
  return ok;
}

void write_record(Display* display, Window root, const X11CrtcSetting& setting) {
  std::vector<long> words = {long(setting.mode), long(setting.x), long(setting.y), long(setting.rotation)};
  for (unsigned long output : setting.outputs) words.push_back(long(output));
  XChangeProperty(display, root, record_name(display, setting.crtc), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(words.data()), int(words.size()));
}

bool set_crtc(Display* display, XRRScreenResources* res, const X11CrtcSetting& s, unsigned long mode) {
  std::vector<RROutput> outputs(s.outputs.begin(), s.outputs.end());
  return XRRSetCrtcConfig(display, res, s.crtc, CurrentTime, s.x, s.y, mode, s.rotation, outputs.data(),
                          int(outputs.size())) == RRSetConfigSuccess;
}

// Another client's read-modify-write of the record or the mode waits for
// ours to end.
struct ServerGrab {
  explicit ServerGrab(Display* display) : display(display) { XGrabServer(display); }
  ~ServerGrab() {
    XUngrabServer(display);
    XSync(display, False);
  }
  ServerGrab(const ServerGrab&) = delete;
  ServerGrab& operator=(const ServerGrab&) = delete;
  Display* display;
};

}  // namespace

bool x11_randr_version(Display* display, bool& current_resources) {
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &event_base, &error_base) || !XRRQueryVersion(display, &major, &minor)) return false;
  current_resources = major > 1 || (major == 1 && minor >= 3);
  return major > 1 || (major == 1 && minor >= 2);
}

bool x11_change_mode_recorded(Display* display, Window root, bool current_resources, const X11CrtcSetting& now,
                              unsigned long mode, X11CrtcSetting& desktop) {
  if (now.outputs.size() > std::size_t(kMostOutputs)) return false;
  const ServerGrab grab(display);
  Resources res(display, root, current_resources);
  if (!res.value) return false;
  const bool recorded = read_record(display, root, *res.value, now.crtc, desktop);
  if (!recorded) {
    desktop = now;
    write_record(display, root, now);
  }
  if (set_crtc(display, res.value, now, mode)) return true;
  if (!recorded) XDeleteProperty(display, root, record_name(display, now.crtc));
  return false;
}

X11Restore x11_restore_recorded(Display* display, Window root, bool current_resources, const X11CrtcSetting& fallback,
                                unsigned long ours) {
  const ServerGrab grab(display);
  Resources res(display, root, current_resources);
  if (!res.value) return X11Restore::kRefused;
  XRRCrtcInfo* info = XRRGetCrtcInfo(display, res.value, fallback.crtc);
  const bool shows_ours = info && info->mode == ours;
  if (info) XRRFreeCrtcInfo(info);
  if (!shows_ours) return info ? X11Restore::kNotOurs : X11Restore::kRefused;
  X11CrtcSetting desktop;
  if (!read_record(display, root, *res.value, fallback.crtc, desktop)) desktop = fallback;
  if (!set_crtc(display, res.value, desktop, desktop.mode)) return X11Restore::kRefused;
  XDeleteProperty(display, root, record_name(display, fallback.crtc));
  return X11Restore::kDone;
}

}  // namespace qz

#endif  // QZ_HAVE_XRANDR
