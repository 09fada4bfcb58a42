// Presentation of the band of marked rows.
//
// At 32 bits with a 24-bit TrueColor visual in blue-green-red-x order (the
// usual one) the band goes to the server straight from the framebuffer page:
// the page is a shared-memory file that the server maps by descriptor
// (MIT-SHM 1.2), so nothing is copied on our side. Where the extension or
// its version is missing, or the connection cannot carry descriptors (a
// remote display), the page is sent with XPutImage. Other depths and visuals convert the marked
// rows into a buffer of the visual's format first (the mode's Blitter).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#if QZ_HAVE_XCB_SHM
#include <X11/Xlib-xcb.h>
#include <xcb/shm.h>
#endif

#include <bit>
#include <cstdlib>
#include <string>

#include "display/blitter.h"
#include "display/screen_mode.h"
#include "display/window_host.h"
#include "display/x11/x11_state.h"

namespace qz {

namespace {

constexpr int kNativeByteOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

struct Destination {
  int depth = 0;  // what select_blitter calls it: 8, 15, 16, 24 or 32
  ChannelOrder order = ChannelOrder::kStandard;
};

int bits_per_pixel_of(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  int bits = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
  if (formats) XFree(formats);
  return bits;
}

// The visual's pixel layout as one of the conversion targets, or depth 0.
Destination destination_of(const X11State& x) {
  struct Layout {
    int bits, depth;
    unsigned long red, blue;
    Destination destination;
  };
  static constexpr Layout kLayouts[] = {
      {32, 24, 0xFF0000, 0xFF, {32, ChannelOrder::kStandard}},
      {32, 24, 0xFF, 0xFF0000, {32, ChannelOrder::kSwapped}},
      {32, 32, 0xFF0000, 0xFF, {32, ChannelOrder::kStandard}},
      {24, 24, 0xFF0000, 0xFF, {24, ChannelOrder::kStandard}},
      {24, 24, 0xFF, 0xFF0000, {24, ChannelOrder::kSwapped}},
      {16, 16, 0xF800, 0x1F, {16, ChannelOrder::kStandard}},
      {16, 16, 0x1F, 0xF800, {16, ChannelOrder::kSwapped}},
      {16, 15, 0x7C00, 0x1F, {15, ChannelOrder::kStandard}},
      {16, 15, 0x1F, 0x7C00, {15, ChannelOrder::kSwapped}},
  };
  const int bits = bits_per_pixel_of(x.display, x.visual_depth);
  for (const Layout& l : kLayouts)
    if (l.bits == bits && l.depth == x.visual_depth && l.red == x.visual->red_mask && l.blue == x.visual->blue_mask)
      return l.destination;
  return {};
}

#if QZ_HAVE_XCB_SHM
// Descriptors travel over local (Unix) connections only; libxcb drops a
// connection whose descriptors cannot be sent.
bool carries_descriptors(xcb_connection_t* connection) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  return getsockname(xcb_get_file_descriptor(connection), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
         address.ss_family == AF_UNIX;
}

// The server maps the page's file as the segment `info->shmseg`.
bool attach_file(Display* display, XShmSegmentInfo* info, int file) {
  xcb_connection_t* connection = XGetXCBConnection(display);
  if (!carries_descriptors(connection)) return false;
  // libxcb closes the descriptor it sends; the page keeps its own.
  const int copy = fcntl(file, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  info->shmseg = xcb_generate_id(connection);
  xcb_generic_error_t* error =
      xcb_request_check(connection, xcb_shm_attach_fd_checked(connection, info->shmseg, copy, 1));
  free(error);
  return error == nullptr;
}
#endif

// An image over `data` (width x rows), attached to the server through the
// shared-memory file `share_fd` when possible.
X11Image make_image(X11State& x, std::uint8_t* data, int width, int rows, int share_fd) {
  X11Image result;
#if QZ_HAVE_XCB_SHM
  const bool can_share = x.shm_descriptors && share_fd >= 0 && ImageByteOrder(x.display) == kNativeByteOrder;
  if (can_share) {
    result.shm = std::make_unique<XShmSegmentInfo>();
    result.shm->shmid = -1;
    result.shm->shmaddr = reinterpret_cast<char*>(data);
    result.shm->readOnly = True;
    result.image = XShmCreateImage(x.display, x.visual, unsigned(x.visual_depth), ZPixmap, result.shm->shmaddr,
                                   result.shm.get(), unsigned(width), unsigned(rows));
    if (result.image) {
      if (attach_file(x.display, result.shm.get(), share_fd)) {
        result.shared = true;
        return result;
      }
      result.image->data = nullptr;
      XDestroyImage(result.image);
      result.image = nullptr;
      // One refusal is enough to know the server cannot share our memory.
      x.shm_descriptors = false;
    }
  }
#else
  (void)share_fd;
#endif
  result.image = XCreateImage(x.display, x.visual, unsigned(x.visual_depth), ZPixmap, 0,
                              reinterpret_cast<char*>(data), unsigned(width), unsigned(rows), 32, 0);
  if (result.image) result.image->byte_order = kNativeByteOrder;
  return result;
}

void destroy_image(X11State& x, X11Image& image) {
  if (!image.image) return;
  if (image.shared) XShmDetach(x.display, image.shm.get());
  // The pixels belong to the mode or to the conversion buffer.
  image.image->data = nullptr;
  XDestroyImage(image.image);
  image = X11Image{};
}

// Bytes of one pixel in the visual's image format.
int pixel_bytes(const X11State& x) { return bits_per_pixel_of(x.display, x.visual_depth) / 8; }

void put_band(X11State& x, const X11Image& image, int top, int rows) {
  if (!image.image || rows <= 0) return;
  const unsigned width = unsigned(image.image->width);
  if (image.shared)
    XShmPutImage(x.display, x.window, x.gc, image.image, 0, top, 0, top, width, unsigned(rows), False);
  else
    XPutImage(x.display, x.window, x.gc, image.image, 0, top, 0, top, width, unsigned(rows));
}

}  // namespace

int x11_setup_presentation() {
  X11State& x = x11();
  WindowHost& host = window_host();
  ScreenMode* mode = current_mode();
  if (!mode) {
    x.failure = "no graphics mode to present";
    return -1;
  }
  const Destination dest = destination_of(x);
  if (dest.depth == 0) {
    x.failure = "the display's visual (depth " + std::to_string(x.visual_depth) + ") has no conversion";
    return -1;
  }
  const bool direct = mode->depth == 32 && mode->scanline_size == 1 && dest.depth == 32 &&
                      dest.order == ChannelOrder::kStandard && mode->pitch == mode->width * 4;
  if (direct) {
    host.blitter = nullptr;
    for (std::size_t i = 0; i < mode->pages.size(); ++i) {
      x.page_images.push_back(
          make_image(x, mode->pages[i], mode->width, mode->height, mode->page_blocks[i].share_fd()));
      const XImage* image = x.page_images.back().image;
      if (!image || image->bytes_per_line != mode->pitch) {
        x.failure = "no image of the display's format";
        return -1;
      }
    }
    return x11_fit_picture(host.window_width, host.window_height);
  }
  host.blitter = select_blitter(dest.depth, dest.order);
  if (!host.blitter) {
    x.failure = "no conversion from depth " + std::to_string(mode->depth) + " to the display's";
    return -1;
  }
  // The row step is what the server expects for the visual at this width.
  XImage* probe = XCreateImage(x.display, x.visual, unsigned(x.visual_depth), ZPixmap, 0, nullptr,
                               unsigned(host.width), unsigned(host.height), 32, 0);
  if (!probe) {
    x.failure = "no image of the display's format";
    return -1;
  }
  x.buffer_step = probe->bytes_per_line;
  XDestroyImage(probe);
  try {
    x.conversion_buffer = PageBuffer(std::size_t(x.buffer_step) * std::size_t(host.height));
  } catch (const std::bad_alloc&) {
    x.failure = "no memory for the conversion buffer";
    return -1;
  }
  x.buffer_image = make_image(x, x.conversion_buffer.data(), host.width, host.height, x.conversion_buffer.share_fd());
  if (!x.buffer_image.image || x.buffer_image.image->bytes_per_line != x.buffer_step) {
    x.failure = "no image of the display's format";
    return -1;
  }
  return x11_fit_picture(host.window_width, host.window_height);
}

int x11_fit_picture(int window_width, int window_height) {
  X11State& x = x11();
  WindowHost& host = window_host();
  if (x.window_image.image) {
    destroy_image(x, x.window_image);
    XSync(x.display, False);  // the server lets go of the segment first
  }
  x.window_buffer = PageBuffer{};
  const PictureRect rect = host_fit_picture(window_width, window_height);
  // Smaller than a pixel of picture: nothing to show, nothing to fail.
  if (!host_picture_scaled() || rect.width <= 0 || rect.height <= 0) return 0;
  // Without the window's image the picture goes 1:1 into its corner.
  host.picture = {0, 0, host.width, host.height};
  XImage* probe = XCreateImage(x.display, x.visual, unsigned(x.visual_depth), ZPixmap, 0, nullptr,
                               unsigned(window_width), unsigned(window_height), 32, 0);
  x.failure = "no memory for the scaled window";
  if (!probe) return -1;
  x.window_step = probe->bytes_per_line;
  XDestroyImage(probe);
  try {
    x.window_buffer = PageBuffer(std::size_t(x.window_step) * std::size_t(window_height));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  x.window_image = make_image(x, x.window_buffer.data(), window_width, window_height, x.window_buffer.share_fd());
  if (!x.window_image.image || x.window_image.image->bytes_per_line != x.window_step) {
    destroy_image(x, x.window_image);
    x.window_buffer = PageBuffer{};
    return -1;
  }
  x.failure.clear();
  host.picture = rect;
  x.scaler.configure(host.width, host.height, rect, pixel_bytes(x));
  x.scaler.clear_bars(x.window_buffer.data(), x.window_step, window_width, window_height);
  return 0;
}

void x11_release_presentation() {
  X11State& x = x11();
  for (X11Image& image : x.page_images) destroy_image(x, image);
  x.page_images.clear();
  destroy_image(x, x.buffer_image);
  destroy_image(x, x.window_image);
  // The server lets go of the segments before their memory goes.
  XSync(x.display, False);
  x.conversion_buffer = PageBuffer{};
  x.window_buffer = PageBuffer{};
  window_host().blitter = nullptr;
}

void x11_present_rows(int first, int last) {
  X11State& x = x11();
  const WindowHost& host = window_host();
  const ScreenMode* mode = current_mode();
  if (!mode || !x.window || host.picture.width <= 0) return;
  const int scanline = mode->scanline_size;
  if (x.window_image.image) {
    const std::uint8_t* source = mode->visible_framebuffer;
    std::int32_t step = mode->pitch;
    if (host.blitter) {
      host.blitter(x.conversion_buffer.data(), x.buffer_step);
      source = x.conversion_buffer.data();
      step = x.buffer_step;
    }
    const int first_row = first * scanline, last_row = (last + 1) * scanline - 1;
    x.scaler.scale_rows(source, step, first_row, last_row, x.window_buffer.data(), x.window_step);
    const RowSpan band = shown_window_rows(host.picture, host.height, host.window_height, first_row, last_row);
    put_band(x, x.window_image, band.first, band.last - band.first + 1);
    return;
  }
  if (host.blitter) {
    host.blitter(x.conversion_buffer.data(), x.buffer_step);
    put_band(x, x.buffer_image, first * scanline, (last - first + 1) * scanline);
    return;
  }
  for (std::size_t i = 0; i < mode->pages.size() && i < x.page_images.size(); ++i)
    if (mode->pages[i] == mode->visible_framebuffer) put_band(x, x.page_images[i], first, last - first + 1);
}

}  // namespace qz
