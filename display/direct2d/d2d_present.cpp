// The Direct2D presentation: the marked rows copied into a device bitmap,
// which is drawn into the window's render target at 1:1 with nearest-
// neighbour sampling; a scaled window's bitmap has the window's size and
// takes the rows scaled by the host's scaler. Layered windows are shown through UpdateLayeredWindow
// instead, from a bitmap of converted rows. key_state follows the key
// messages, kept by this back end's window procedure.

#include "display/direct2d/d2d_present.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/win32/com_ref.h"
#include "display/win32/win32_scaled_picture.h"
#include "display/window_host.h"

namespace qz {

namespace {

constexpr std::uint8_t kLeftShiftScan = 0x2A;
constexpr std::uint8_t kRightShiftScan = 0x36;

// Driver thread only, except create_factory (set before the thread starts).
struct D2dPresentation {
  D2D1CreateFactoryFn create_factory = nullptr;
  ComRef<ID2D1Factory> factory;
  ComRef<ID2D1HwndRenderTarget> target;
  ComRef<ID2D1Bitmap> bitmap;
  // Rows converted to 32 bits when the framebuffer's cannot be shown as
  // they are (host.blitter set); for a layered window, its bitmap's bits.
  std::vector<std::uint8_t> rows;
  std::uint8_t* converted = nullptr;
  int step = 0;
  // Layered windows: the bitmap handed to UpdateLayeredWindow.
  HDC layered_dc = nullptr;
  HBITMAP layered_bitmap = nullptr;
  HGDIOBJ previous_bitmap = nullptr;
  // A scaled window: the bitmap and target have the window's size and take
  // bands of this window-sized copy of the picture.
  ScaledPicture scaled;
};
// Never destroyed, like the host thread: the driver thread may still draw
// while static destructors run.
D2dPresentation& g_d2d = *new D2dPresentation;

bool layered() { return (window_host().flags & kModeLayered) != 0; }

constexpr D2D1_PIXEL_FORMAT kFormat{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE};

D2D1_SIZE_U window_size() {
  const WindowHost& host = window_host();
  return D2D1_SIZE_U{UINT32(host.window_width), UINT32(host.window_height)};
}

int create_bitmap() {
  const D2D1_BITMAP_PROPERTIES bitmap_properties{kFormat, 96.0f, 96.0f};
  if (SUCCEEDED(g_d2d.target->CreateBitmap(window_size(), nullptr, 0, &bitmap_properties, g_d2d.bitmap.put())))
    return 0;
  g_d2d.target.reset();
  return -1;
}

int create_target() {
  const D2D1_PIXEL_FORMAT format = kFormat;
  // 96 dpi: one framebuffer pixel is one device pixel whatever the system's scale.
  const D2D1_RENDER_TARGET_PROPERTIES properties{D2D1_RENDER_TARGET_TYPE_DEFAULT, format, 96.0f, 96.0f,
                                                 D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT};
  // Contents are kept between presentations, so that a band is enough; the
  // pass must not wait for the display.
  const D2D1_HWND_RENDER_TARGET_PROPERTIES window_properties{
      win32_window().window, window_size(),
      D2D1_PRESENT_OPTIONS(D2D1_PRESENT_OPTIONS_RETAIN_CONTENTS | D2D1_PRESENT_OPTIONS_IMMEDIATELY)};
  if (FAILED(g_d2d.factory->CreateHwndRenderTarget(&properties, &window_properties, g_d2d.target.put()))) return -1;
  return create_bitmap();
}

// The window's new size: the target follows it, the bitmap and the scaled
// copy are made anew (a target that cannot follow is built again later).
void d2d_refit() {
  if (layered()) return;
  g_d2d.scaled.release();
  if (host_picture_scaled() && !g_d2d.scaled.configure(4, true)) return;
  g_d2d.bitmap.reset();
  if (g_d2d.target && (FAILED(g_d2d.target->Resize(window_size())) || create_bitmap() != 0)) g_d2d.target.reset();
}

int create_layered_bitmap() {
  const WindowHost& host = window_host();
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), host.width, -host.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  g_d2d.layered_dc = CreateCompatibleDC(nullptr);
  g_d2d.layered_bitmap = CreateDIBSection(g_d2d.layered_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!g_d2d.layered_dc || !g_d2d.layered_bitmap) return -1;
  g_d2d.previous_bitmap = SelectObject(g_d2d.layered_dc, g_d2d.layered_bitmap);
  g_d2d.converted = static_cast<std::uint8_t*>(bits);
  return 0;
}

int d2d_setup(const ScreenMode& mode) {
  WindowHost& host = window_host();
  g_d2d.step = host.width * 4;
  if (layered()) {
    host.blitter = select_blitter(32, ChannelOrder::kStandard);
    return host.blitter && create_layered_bitmap() == 0 ? 0 : -1;
  }
  host.blitter = nullptr;
  if (host.depth != 32 || mode.scanline_size != 1) {
    host.blitter = select_blitter(32, ChannelOrder::kStandard);
    if (!host.blitter) return -1;
    g_d2d.rows.assign(std::size_t(g_d2d.step) * std::size_t(host.height), 0);
    g_d2d.converted = g_d2d.rows.data();
  }
  if (FAILED(g_d2d.create_factory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                                  g_d2d.factory.put_void())))
    return -1;
  if (host_picture_scaled() && !g_d2d.scaled.configure(4, true)) return -1;
  // A render target that cannot be had now is refused, so that the next
  // back end gets its turn; later failures are recovered from.
  return create_target();
}

void d2d_release() {
  g_d2d.bitmap.reset();
  g_d2d.target.reset();
  g_d2d.factory.reset();
  g_d2d.rows = {};
  g_d2d.converted = nullptr;
  g_d2d.scaled.release();
  if (g_d2d.layered_dc) {
    if (g_d2d.previous_bitmap) SelectObject(g_d2d.layered_dc, g_d2d.previous_bitmap);
    DeleteDC(g_d2d.layered_dc);
  }
  if (g_d2d.layered_bitmap) DeleteObject(g_d2d.layered_bitmap);
  g_d2d.layered_dc = nullptr;
  g_d2d.layered_bitmap = nullptr;
  g_d2d.previous_bitmap = nullptr;
}

// The see-through colour as the row conversion leaves it: 16-bit magenta
// (0xF81F) becomes 0xF800F8, which the system's key 0xFF00FF would not match.
std::uint32_t converted_key(const ScreenMode& mode) {
  const ConversionTable& table = conversion_table();
  return mode.depth == 16 ? table.low[0x1F] | table.high[0xF8] : kLayeredKey32;
}

bool present_layered(const ScreenMode& mode, int top, int bottom) {
  const WindowHost& host = window_host();
  host.blitter(g_d2d.converted, g_d2d.step);
  const std::uint32_t key = converted_key(mode);
  // Opaque: some systems read the bitmap's alpha even with only a colour key.
  for (int y = top; y < bottom; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(g_d2d.converted + std::size_t(y) * g_d2d.step);
    for (int x = 0; x < host.width; ++x)
      row[x] = ((row[x] & 0xFFFFFFu) == key ? kLayeredKey32 : row[x]) | 0xFF000000u;
  }
  SIZE size{host.width, host.height};
  POINT origin{0, 0};
  return UpdateLayeredWindow(win32_window().window, nullptr, nullptr, &size, g_d2d.layered_dc, &origin,
                             host.depth > 8 ? kLayeredKey32 : 0, nullptr, ULW_COLORKEY) != 0;
}

bool d2d_present(ScreenMode& mode, int first, int last) {
  const WindowHost& host = window_host();
  bool shown = false;
  const int scanline = mode.scanline_size;
  const UINT32 top = UINT32(first * scanline), bottom = UINT32((last + 1) * scanline);
  if (layered()) {
    shown = present_layered(mode, int(top), int(bottom));
  } else if (host_picture_scaled() && !g_d2d.scaled.active()) {
    shown = true;  // no picture to show in a window this small
  } else if (g_d2d.target || create_target() == 0) {
    D2D1_RECT_U band{0, top, UINT32(host.width), bottom};
    HRESULT result;
    if (g_d2d.scaled.active()) {
      const std::uint8_t* source = mode.visible_framebuffer;
      std::int32_t step = mode.pitch;
      if (host.blitter) {
        host.blitter(g_d2d.converted, g_d2d.step);
        source = g_d2d.converted, step = g_d2d.step;
      }
      const RowSpan rows = g_d2d.scaled.scale(source, step, int(top), int(bottom) - 1);
      if (rows.first > rows.last) return true;  // rows that fall between window rows
      band = D2D1_RECT_U{0, UINT32(rows.first), UINT32(host.window_width), UINT32(rows.last + 1)};
      result = g_d2d.bitmap->CopyFromMemory(&band, g_d2d.scaled.row(rows.first), UINT32(g_d2d.scaled.step()));
    } else if (host.blitter) {
      host.blitter(g_d2d.converted, g_d2d.step);
      result = g_d2d.bitmap->CopyFromMemory(&band, g_d2d.converted + std::size_t(top) * g_d2d.step, UINT32(g_d2d.step));
    } else {
      result = g_d2d.bitmap->CopyFromMemory(&band, mode.visible_framebuffer + std::size_t(first) * mode.pitch,
                                            UINT32(mode.pitch));
    }
    if (SUCCEEDED(result)) {
      const D2D1_RECT_F area{0.0f, float(band.top), float(band.right), float(band.bottom)};
      g_d2d.target->BeginDraw();
      g_d2d.target->DrawBitmap(g_d2d.bitmap.get(), &area, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                               &area);
      result = g_d2d.target->EndDraw();
    }
    shown = SUCCEEDED(result);
    if (!shown) {
      // A lost target (D2DERR_RECREATE_TARGET) or device: built again on
      // the next pass, which then has the whole picture to show.
      g_d2d.bitmap.reset();
      g_d2d.target.reset();
    }
  }
  return shown;
}

void keys_from_messages(ScreenMode&) {}

LRESULT CALLBACK d2d_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ScreenMode* mode = current_mode();
  if (mode && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_KEYUP || message == WM_SYSKEYUP)) {
    const std::uint8_t down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? 1 : 0;
    if (wparam == VK_SHIFT)
      mode->key_state[kLeftShiftScan] = mode->key_state[kRightShiftScan] = down;
    else if (const int scan = int((lparam >> 16) & 0x7F))
      mode->key_state[std::size_t(scan)] = down;
  } else if (mode && message == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE) {
    // Releases elsewhere are not seen: nothing counts as held any more.
    mode->key_state.fill(0);
  }
  return window_procedure(window, message, wparam, lparam);
}

}  // namespace

void d2d_set_factory_entry(D2D1CreateFactoryFn create_factory) { g_d2d.create_factory = create_factory; }

extern const Win32Presenter d2d_presenter = {
    d2d_setup, d2d_release, d2d_present, nullptr, keys_from_messages, nullptr, d2d_window_procedure, false, true, true,
    d2d_refit,
};

}  // namespace qz
