// The GDI presentation: the marked rows drawn into the window with
// SetDIBitsToDevice, converted first where the window cannot take the
// framebuffer's rows as they are; the palette of 8-bit modes.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/win32/gdi_present.h"
#include "display/win32/win32_host.h"
#include "display/win32/win32_scaled_picture.h"
#include "display/window_host.h"

namespace qz {

namespace {

// Header + 256 colour-table entries, the converted rows when a blitter is
// set, the palette object. Driver thread only.
struct GdiPresentation {
  std::vector<std::uint8_t> bitmap_info;
  std::vector<std::uint8_t> conversion_buffer;
  int conversion_step = 0;
  HPALETTE palette_object = nullptr;
  // A scaled window: the picture as 32-bit rows (where the framebuffer's
  // are not), scaled into a window-sized copy shown with its own header.
  Blitter to_32 = nullptr;
  std::vector<std::uint8_t> rows_32;
  BITMAPINFO window_info{};
  ScaledPicture scaled;
};
GdiPresentation g_gdi;

BITMAPINFO* bitmap_header() { return reinterpret_cast<BITMAPINFO*>(g_gdi.bitmap_info.data()); }

// Chooses the row conversion: 16-bit modes show through a 15-bit bitmap,
// layered 32-bit windows need the top byte cleared, and rows that are not
// whole DWORDs or repeat need a copy.
int choose_blitter(const ScreenMode& mode) {
  WindowHost& host = window_host();
  host.blitter = nullptr;
  bool buffered = true;
  if (host.depth == 32 && (host.flags & kModeLayered))
    host.blitter = blit_layered_copy;
  else if (host.depth == 16)
    host.blitter = select_blitter(15, ChannelOrder::kStandard);
  else if (mode.width % 4 == 0 && mode.scanline_size == 1)
    buffered = false;
  else
    host.blitter = select_blitter(host.depth, ChannelOrder::kStandard);
  if (!buffered) return 0;
  if (!host.blitter) return -1;
  g_gdi.conversion_step = (mode.pitch + 3) & ~3;
  g_gdi.conversion_buffer.assign(std::size_t(g_gdi.conversion_step) * std::size_t(host.height), 0);
  return 0;
}

void put_rows(HDC dc, BITMAPINFO* header, const std::uint8_t* bits, int width, int first_row, int rows) {
  // Each band gets its own top-down header: a full-height header would count
  // the source row from the bottom of the bitmap.
  const LONG full_height = header->bmiHeader.biHeight;
  header->bmiHeader.biHeight = -rows;
  SetDIBitsToDevice(dc, 0, first_row, DWORD(width), DWORD(rows), 0, 0, 0, UINT(rows), bits, header, DIB_RGB_COLORS);
  header->bmiHeader.biHeight = full_height;
}

void copy_band(HDC dc, const std::uint8_t* bits, int first_row, int rows) {
  put_rows(dc, bitmap_header(), bits, window_host().width, first_row, rows);
}

// Window rows first..last of the scaled copy, 1:1.
void put_window_rows(HDC dc, int first, int last) {
  if (first <= last)
    put_rows(dc, &g_gdi.window_info, g_gdi.scaled.row(first), window_host().window_width, first, last - first + 1);
}

// Shows picture rows first..last scaled (window rows of the host's height).
void present_scaled(HDC dc, const ScreenMode& mode, int first, int last) {
  const WindowHost& host = window_host();
  const std::uint8_t* source = mode.visible_framebuffer;
  std::int32_t step = mode.pitch;
  if (g_gdi.to_32) {
    g_gdi.to_32(g_gdi.rows_32.data(), host.width * 4);
    source = g_gdi.rows_32.data();
    step = host.width * 4;
  }
  const RowSpan band = g_gdi.scaled.scale(source, step, first, last);
  put_window_rows(dc, band.first, band.last);
}

void gdi_refit() {
  const WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  g_gdi.to_32 = nullptr;
  g_gdi.rows_32 = {};
  g_gdi.scaled.release();
  if (!mode) return;
  if (!host_picture_scaled()) {
    choose_blitter(*mode);  // the conversion table is the 1:1 rows' again
    return;
  }
  // An 8-bit picture goes through the palette here: a palette change shows every row.
  if (mode->depth != 32 || mode->scanline_size != 1) {
    g_gdi.to_32 = select_blitter(32, ChannelOrder::kStandard);
    if (!g_gdi.to_32) return;
    g_gdi.rows_32.assign(std::size_t(host.width) * 4 * std::size_t(host.height), 0);
  }
  g_gdi.window_info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), host.window_width, -host.window_height, 1,
                                                 32, BI_RGB, 0, 0, 0, 0, 0};
  if (!g_gdi.scaled.configure(4, true)) g_gdi.rows_32 = {}, g_gdi.to_32 = nullptr;
}

void apply_palette(HDC dc) {
  WindowHost& host = window_host();
  RGBQUAD* table = bitmap_header()->bmiColors;
  PALETTEENTRY entries[256];
  for (int i = 0; i < 256; ++i) {
    const auto& e = host.palette_entries[std::size_t(i)];
    table[i] = RGBQUAD{e[2], e[1], e[0], 0};
    entries[i] = PALETTEENTRY{e[0], e[1], e[2], PC_NOCOLLAPSE};
  }
  if (g_gdi.palette_object) {
    SetPaletteEntries(g_gdi.palette_object, 0, 256, entries);
    SelectPalette(dc, g_gdi.palette_object, FALSE);
    RealizePalette(dc);
  }
  host.palette_changed = false;
}

int gdi_setup(const ScreenMode& mode) {
  const WindowHost& host = window_host();
  g_gdi.bitmap_info.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER& h = bitmap_header()->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = host.width;
  h.biHeight = -host.height;
  h.biPlanes = 1;
  h.biBitCount = WORD(host.depth);
  h.biCompression = BI_RGB;
  h.biClrUsed = 256;
  if (choose_blitter(mode) != 0) return -1;
  if (host_picture_scaled()) gdi_refit();
  struct {
    WORD version, count;
    PALETTEENTRY entries[256];
  } logical{0x300, 256, {}};
  for (int i = 0; i < 256; ++i) {
    const auto& e = host.palette_entries[std::size_t(i)];
    logical.entries[i] = PALETTEENTRY{e[0], e[1], e[2], PC_NOCOLLAPSE};
  }
  g_gdi.palette_object = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
  return 0;
}

void gdi_release() {
  g_gdi.to_32 = nullptr;
  g_gdi.rows_32 = {};
  g_gdi.scaled.release();
  g_gdi.conversion_buffer.clear();
  g_gdi.conversion_buffer.shrink_to_fit();
  g_gdi.bitmap_info.clear();
  if (g_gdi.palette_object) {
    DeleteObject(g_gdi.palette_object);
    g_gdi.palette_object = nullptr;
  }
}

bool gdi_present(ScreenMode& mode, int first, int last) {
  const WindowHost& host = window_host();
  HWND window = win32_window().window;
  HDC dc = GetDC(window);
  const bool palette_changed = host.palette_changed;
  if (palette_changed) apply_palette(dc);
  if (host_picture_scaled()) {
    if (palette_changed && mode.depth == 8) {
      // The rows go through the palette into 32 bits: all of them change.
      std::fill(mode.dirty_rows.begin(), mode.dirty_rows.end(), std::uint8_t{1});
      first = 0, last = mode.height - 1;
    }
    const int scanline = mode.scanline_size;
    if (g_gdi.scaled.active() && first <= last) present_scaled(dc, mode, first * scanline, (last + 1) * scanline - 1);
  } else if (first <= last) {
    const int scanline = mode.scanline_size;
    if (host.blitter) {
      host.blitter(g_gdi.conversion_buffer.data(), g_gdi.conversion_step);
      copy_band(dc, g_gdi.conversion_buffer.data() + std::size_t(first) * scanline * g_gdi.conversion_step,
                first * scanline, (last - first + 1) * scanline);
    } else {
      copy_band(dc, mode.visible_framebuffer + std::size_t(first) * mode.pitch, first, last - first + 1);
    }
  }
  ReleaseDC(window, dc);
  return true;
}

void gdi_repaint() {
  const WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  HWND window = win32_window().window;
  if (!mode || !window || g_gdi.bitmap_info.empty()) return;
  HDC dc = GetDC(window);
  if (g_gdi.palette_object) {
    SelectPalette(dc, g_gdi.palette_object, FALSE);
    RealizePalette(dc);
  }
  if (host_picture_scaled())
    put_window_rows(dc, 0, g_gdi.scaled.active() ? host.window_height - 1 : -1);
  else if (host.blitter)
    copy_band(dc, g_gdi.conversion_buffer.data(), 0, host.height);
  else
    copy_band(dc, mode->visible_framebuffer, 0, host.height);
  ReleaseDC(window, dc);
}

}  // namespace

extern const Win32Presenter gdi_presenter = {
    gdi_setup, gdi_release, gdi_present, gdi_repaint, nullptr, nullptr, nullptr, false, false, false, gdi_refit,
};

}  // namespace qz
