// The Direct2D driver record: the Windows 6.x back end, loaded at run time,
// on the shared window host; display modes through DXGI.

#include <d2d1.h>
#include <dxgi.h>

#include <algorithm>
#include <vector>

#include "display/direct2d/d2d_present.h"
#include "display/display_driver.h"
#include "display/screen_mode.h"
#include "display/win32/com_ref.h"
#include "display/win32/win32_host.h"
#include "display/window_host.h"

namespace qz {

namespace {

// Loaded by init, freed by exit once the driver thread has let go of it.
// Never destroyed: a process that ends with the window up must not unload
// the library under the driver thread.
LoadedLibrary& g_d2d1 = *new LoadedLibrary;

int d2d_init(const char* title, int width, int height, int depth, int refresh, int flags) {
  // OpenGL windows are the OpenGL back end's, which says why when it refuses.
  if (flags & kModeOpengl) return -1;
  if (win32_platform_version() < 0x0600) {
    note_driver_refusal("Direct2D needs Windows 6.0 or later");
    return -1;
  }
  g_d2d1 = LoadedLibrary("d2d1.dll");
  D2D1CreateFactoryFn create_factory = nullptr;
  if (!g_d2d1.look_up("D2D1CreateFactory", create_factory)) {
    note_driver_refusal("d2d1.dll or its D2D1CreateFactory is missing");
    return -1;
  }
  d2d_set_factory_entry(create_factory);
  if (win32_host_start(d2d_presenter, title, width, height, depth, refresh, flags) != 0) return -1;
  // The rate the display runs at now, which a fullscreen mode may have changed.
  const int rate = win32_display_refresh_rate();
  window_host().refresh_rate = rate;
  if (ScreenMode* mode = current_mode()) mode->refresh_rate = rate;
  return 0;
}

void d2d_exit() {
  win32_host_exit();
  d2d_set_factory_entry(nullptr);
  g_d2d1 = LoadedLibrary();
}

// The first output's modes of the depth's format, each size once; the
// system's list where DXGI has none (8-bit modes, no DXGI).
std::vector<std::int32_t> d2d_fetch_modes(int depth) {
  using CreateFactoryFn = HRESULT(WINAPI*)(REFIID, void**);
  const DXGI_FORMAT format = depth == 15 || depth == 16 ? DXGI_FORMAT_B5G6R5_UNORM
                             : depth == 24 || depth == 32 ? DXGI_FORMAT_B8G8R8A8_UNORM
                                                          : DXGI_FORMAT_UNKNOWN;
  LoadedLibrary dxgi("dxgi.dll");
  CreateFactoryFn create_factory = nullptr;
  ComRef<IDXGIFactory> factory;
  ComRef<IDXGIAdapter> adapter;
  ComRef<IDXGIOutput> output;
  UINT count = 0;
  if (format == DXGI_FORMAT_UNKNOWN || !dxgi.look_up("CreateDXGIFactory", create_factory) ||
      FAILED(create_factory(__uuidof(IDXGIFactory), factory.put_void())) ||
      FAILED(factory->EnumAdapters(0, adapter.put())) || FAILED(adapter->EnumOutputs(0, output.put())) ||
      FAILED(output->GetDisplayModeList(format, 0, &count, nullptr)) || count == 0)
    return win32_fetch_modes(depth);
  std::vector<DXGI_MODE_DESC> listed(count);
  if (FAILED(output->GetDisplayModeList(format, 0, &count, listed.data()))) return win32_fetch_modes(depth);
  std::vector<std::int32_t> modes;
  for (UINT i = 0; i < count && i < listed.size(); ++i) {
    const std::int32_t size = std::int32_t(listed[i].Width * 65536 + listed[i].Height);
    if (std::find(modes.begin(), modes.end(), size) == modes.end()) modes.push_back(size);
  }
  return modes;
}

}  // namespace

extern const DisplayDriver direct2d_driver = {
    "Direct2D",      d2d_init,        d2d_exit,       host_lock,       host_unlock,
    host_set_palette, host_wait_vsync, host_get_mouse, win32_set_mouse, win32_set_window_title,
    win32_set_window_pos, d2d_fetch_modes, nullptr,  nullptr,
};

}  // namespace qz
