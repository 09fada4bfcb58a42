// The DirectDraw presentation: the marked rows converted into an off-screen
// surface of the display's format, then blitted to the primary surface
// (clipped to the window, or the whole display in exclusive fullscreen). A
// scaled window's surface has the window's size: the rows are converted
// into a buffer of the picture's size and scaled from there, blitted 1:1.
// The program's vertical-sync wait meets the driver thread only at the
// DirectDraw object, under its own guard. A blit asked to start in a blank
// waits for it after the pass, without the host lock: the conversion needs
// the framebuffer, the wait and the blit only the surfaces.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "display/blitter.h"
#include "display/directx/directx_state.h"
#include "display/screen_mode.h"
#include "display/win32/com_ref.h"
#include "display/win32/win32_scaled_picture.h"
#include "display/window_host.h"

namespace qz {

namespace {

// A real wait for the next blank takes longer than this.
constexpr auto kAtOnce = std::chrono::microseconds(500);

struct DdrawPresentation {
  std::mutex device_guard;  // `draw` between the driver thread and the vertical-sync wait
  ComRef<IDirectDraw> draw;
  ComRef<IDirectDrawSurface> primary;
  ComRef<IDirectDrawSurface> offscreen;
  ComRef<IDirectDrawClipper> clipper;
  bool exclusive = false;
  GUID device{};
  bool device_found = false;
  std::atomic<bool> present_after_blank{false};
  int waits_at_once = 0;  // program's thread, under device_guard
  // Driver thread: the converted band whose blit waits for the blank, in
  // framebuffer rows and in primary-surface pixels (none: first > last).
  int pending_first = 1, pending_last = 0;
  RECT pending_source{}, pending_target{};
  // A scaled window: the off-screen surface has the window's size; the
  // picture is converted into `converted` and scaled from there into it.
  std::vector<std::uint8_t> converted;
  std::int32_t converted_step = 0;
  ScaledPicture scaled;
};
// Never destroyed, like the host thread: the driver thread may still present
// while static destructors run.
DdrawPresentation& g_dd = *new DdrawPresentation;

BOOL CALLBACK note_device(GUID* guid, LPSTR, LPSTR, LPVOID, HMONITOR monitor) {
  if (guid && monitor && monitor == win32_window().monitor) {
    g_dd.device = *guid;
    g_dd.device_found = true;
    return FALSE;
  }
  return TRUE;
}

// The row conversion for the primary surface's pixel format.
Blitter blitter_for(const DDPIXELFORMAT& format) {
  int depth = int(format.dwRGBBitCount);
  if (depth == 16 && format.dwGBitMask == 0x3E0) depth = 15;
  const ChannelOrder order = (format.dwRBitMask & 1) ? ChannelOrder::kSwapped : ChannelOrder::kStandard;
  return select_blitter(depth, order);
}

int create_surfaces(HWND window) {
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (FAILED(g_dd.draw->CreateSurface(&desc, g_dd.primary.put(), nullptr))) return -1;
  if (!g_dd.exclusive) {
    if (FAILED(g_dd.draw->CreateClipper(0, g_dd.clipper.put(), nullptr)) ||
        FAILED(g_dd.clipper->SetHWnd(0, window)) || FAILED(g_dd.primary->SetClipper(g_dd.clipper.get())))
      return -1;
  }
  return 0;
}

// The off-screen surface: the picture's size, or the window's when scaled
// (then with the picture's conversion buffer, in the primary's format).
int create_offscreen() {
  const WindowHost& host = window_host();
  g_dd.offscreen.reset();
  g_dd.converted = {};
  g_dd.scaled.release();
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  if (FAILED(g_dd.primary->GetSurfaceDesc(&desc))) return -1;
  const int bytes = int(desc.ddpfPixelFormat.dwRGBBitCount + 7) / 8;
  const bool scaled = host_picture_scaled() && !g_dd.exclusive;
  if (scaled) {
    g_dd.converted_step = host.width * bytes;
    g_dd.converted.assign(std::size_t(g_dd.converted_step) * std::size_t(host.height), 0);
    if (!g_dd.scaled.configure(bytes, false)) return -1;
  }
  desc = DDSURFACEDESC{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = DWORD(scaled ? host.window_width : host.width);
  desc.dwHeight = DWORD(scaled ? host.window_height : host.height);
  if (desc.dwWidth == 0 || desc.dwHeight == 0) return 0;  // minimised to nothing: nothing to show
  return FAILED(g_dd.draw->CreateSurface(&desc, g_dd.offscreen.put(), nullptr)) ? -1 : 0;
}

void ddraw_refit() {
  if (!g_dd.primary) return;  // setup makes it with the window's size
  g_dd.pending_first = 1, g_dd.pending_last = 0;
  create_offscreen();
}

int ddraw_setup(const ScreenMode&) {
  WindowHost& host = window_host();
  HWND window = win32_window().window;
  const DirectXEntries& entries = directx_entries();
  g_dd.device_found = false;
  entries.direct_draw_enumerate_ex(note_device, nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
  {
    std::lock_guard<std::mutex> hold(g_dd.device_guard);
    if (FAILED(entries.direct_draw_create(g_dd.device_found ? &g_dd.device : nullptr, g_dd.draw.put(), nullptr)))
      return -1;
    g_dd.waits_at_once = 0;
  }
  g_dd.exclusive = (host.flags & kModeFullscreen) != 0;
  if (g_dd.exclusive) {
    // Indexed modes are shown on a true-colour display through the palette.
    const DWORD bits = host.depth == 8 ? 32 : host.depth == 15 ? 16 : DWORD(host.depth);
    if (FAILED(g_dd.draw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_MULTITHREADED)) ||
        FAILED(g_dd.draw->SetDisplayMode(DWORD(host.width), DWORD(host.height), bits)))
      return -1;
  } else if (FAILED(g_dd.draw->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_MULTITHREADED))) {
    return -1;
  }
  if (create_surfaces(window) != 0 || create_offscreen() != 0) return -1;
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  if (FAILED(g_dd.primary->GetSurfaceDesc(&desc))) return -1;
  host.blitter = blitter_for(desc.ddpfPixelFormat);
  if (!host.blitter) return -1;
  return dinput_keyboard_open(window);
}

void ddraw_release() {
  dinput_keyboard_close();
  g_dd.pending_first = 1, g_dd.pending_last = 0;  // the new surfaces have none of it
  g_dd.offscreen.reset();
  g_dd.converted = {};
  g_dd.scaled.release();
  g_dd.clipper.reset();
  g_dd.primary.reset();
  std::lock_guard<std::mutex> hold(g_dd.device_guard);
  if (g_dd.draw && g_dd.exclusive) {
    g_dd.draw->RestoreDisplayMode();
    g_dd.draw->SetCooperativeLevel(win32_window().window, DDSCL_NORMAL);
  }
  g_dd.exclusive = false;
  g_dd.draw.reset();
}

// Asked for by the vertical-sync wait: the blit starts in a blank. Driver
// thread, after the pass: the system's own wait, not a poll of the status.
void blit_after_blank() {
  if (g_dd.pending_first > g_dd.pending_last) return;
  const int first = g_dd.pending_first, last = g_dd.pending_last;
  g_dd.pending_first = 1, g_dd.pending_last = 0;
  if (!g_dd.primary || !g_dd.offscreen) return;
  BOOL in_blank = FALSE;
  if (FAILED(g_dd.draw->GetVerticalBlankStatus(&in_blank)) || !in_blank)
    g_dd.draw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  if (SUCCEEDED(g_dd.primary->Blt(&g_dd.pending_target, g_dd.offscreen.get(), &g_dd.pending_source, DDBLT_WAIT,
                                  nullptr)))
    return;
  // Not shown: the next pass converts and shows the rows again.
  std::lock_guard<std::recursive_mutex> hold(host_lock_mutex());
  if (ScreenMode* mode = current_mode()) {
    const int rows = int(mode->dirty_rows.size());
    std::fill(mode->dirty_rows.begin() + std::min(first, rows), mode->dirty_rows.begin() + std::min(last + 1, rows),
              std::uint8_t{1});
  }
}

bool surfaces_lost() {
  if (!g_dd.offscreen) return true;
  if (g_dd.primary->IsLost() == DDERR_SURFACELOST && FAILED(g_dd.primary->Restore())) return true;
  if (g_dd.offscreen->IsLost() == DDERR_SURFACELOST) {
    g_dd.offscreen->Restore();
    return true;  // its rows are gone: all of them are shown again
  }
  return false;
}

bool ddraw_present(ScreenMode& mode, int first, int last) {
  const WindowHost& host = window_host();
  bool shown = false;
  if (host_picture_scaled() && !g_dd.exclusive && !g_dd.scaled.active()) return true;  // no picture to show
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  if (!surfaces_lost() &&
      SUCCEEDED(g_dd.offscreen->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY | DDLOCK_NOSYSLOCK, nullptr))) {
    LONG top = first * mode.scanline_size, bottom = (last + 1) * mode.scanline_size, width = host.width;
    if (g_dd.scaled.active()) {
      host.blitter(g_dd.converted.data(), g_dd.converted_step);
      const RowSpan rows = g_dd.scaled.scale(g_dd.converted.data(), g_dd.converted_step, top, bottom - 1,
                                             static_cast<std::uint8_t*>(desc.lpSurface), std::int32_t(desc.lPitch));
      top = rows.first, bottom = rows.last + 1, width = host.window_width;
    } else {
      host.blitter(static_cast<std::uint8_t*>(desc.lpSurface), std::int32_t(desc.lPitch));
    }
    g_dd.offscreen->Unlock(nullptr);
    if (top >= bottom) return true;  // rows that fall between window rows
    RECT source{0, top, width, bottom};
    RECT target = source;
    if (!g_dd.exclusive) {
      POINT origin{0, 0};
      ClientToScreen(win32_window().window, &origin);
      OffsetRect(&target, origin.x, origin.y);
    }
    if (g_dd.present_after_blank.exchange(false)) {
      g_dd.pending_first = first, g_dd.pending_last = last;
      g_dd.pending_source = source, g_dd.pending_target = target;
      return true;  // blit_after_blank shows them, or marks them again
    }
    shown = SUCCEEDED(g_dd.primary->Blt(&target, g_dd.offscreen.get(), &source, DDBLT_WAIT, nullptr));
  }
  return shown;
}

void ddraw_read_keys(ScreenMode& mode) { dinput_keyboard_read(mode); }

}  // namespace

bool ddraw_wait_vertical_blank() {
  std::lock_guard<std::mutex> hold(g_dd.device_guard);
  if (!g_dd.draw) return false;
  const auto start = std::chrono::steady_clock::now();
  if (FAILED(g_dd.draw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr))) return false;
  g_dd.present_after_blank = true;
  // One quick return can be a blank that had just begun; a display whose
  // waits keep coming back at once has no blank to wait for.
  if (std::chrono::steady_clock::now() - start >= kAtOnce) {
    g_dd.waits_at_once = 0;
    return true;
  }
  return ++g_dd.waits_at_once < 2;
}

extern const Win32Presenter ddraw_presenter = {
    ddraw_setup, ddraw_release, ddraw_present, nullptr, ddraw_read_keys, blit_after_blank, nullptr, true, false, true,
    ddraw_refit,
};

}  // namespace qz
