// The X side of the Wine tests: looks at and talks to a window of another
// process through the X server.
//   x_window_tool compare WINDOW FILE   the window's pixels (RGB) against a
//                                       BGRA framebuffer dump of its size
//   x_window_tool close WINDOW          sends WM_DELETE_WINDOW, as a close box
//   x_window_tool size WINDOW           prints WIDTHxHEIGHT
//   x_window_tool shown WINDOW X Y...   for each point, "in" when the window
//                                       shows it, "out" when its shape cuts
//                                       it away (see-through)
// Exit status 0 on success, 1 on a difference or failure.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

int compare(Display* d, Window w, const char* path) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, w, &a)) return 1;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (dump.size() != std::size_t(a.width) * a.height * 4) {
    std::fprintf(stderr, "dump of %zu bytes for a %dx%d window\n", dump.size(), a.width, a.height);
    return 1;
  }
  XImage* image = XGetImage(d, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
  if (!image) return 1;
  long differences = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      std::uint32_t want;
      std::memcpy(&want, dump.data() + (std::size_t(y) * a.width + x) * 4, 4);
      std::uint32_t got = std::uint32_t(XGetPixel(image, x, y));
      if ((got & 0xFFFFFF) != (want & 0xFFFFFF) && differences++ < 5)
        std::fprintf(stderr, "(%d,%d): window %06x, framebuffer %06x\n", x, y, got & 0xFFFFFF, want & 0xFFFFFF);
    }
  XDestroyImage(image);
  if (differences) std::fprintf(stderr, "%ld pixels differ\n", differences);
  return differences ? 1 : 0;
}

int close_request(Display* d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XSync(d, False);
  return 0;
}

bool in_shape(Display* d, Window w, int x, int y) {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d, w, ShapeBounding, &count, &ordering);
  bool inside = false;
  for (int i = 0; i < count; ++i)
    inside = inside || (x >= rects[i].x && x < rects[i].x + rects[i].width && y >= rects[i].y &&
                        y < rects[i].y + rects[i].height);
  if (rects) XFree(rects);
  return inside;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  Window w = Window(std::strtoul(argv[2], nullptr, 0));
  int result = 1;
  if (!std::strcmp(argv[1], "compare") && argc == 4) {
    result = compare(d, w, argv[3]);
  } else if (!std::strcmp(argv[1], "close")) {
    result = close_request(d, w);
  } else if (!std::strcmp(argv[1], "shown") && argc >= 5 && argc % 2 == 1) {
    for (int i = 3; i + 1 < argc; i += 2)
      std::printf("%s%s", i > 3 ? " " : "", in_shape(d, w, std::atoi(argv[i]), std::atoi(argv[i + 1])) ? "in" : "out");
    std::printf("\n");
    result = 0;
  } else if (!std::strcmp(argv[1], "size")) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(d, w, &a)) {
      std::printf("%dx%d\n", a.width, a.height);
      result = 0;
    }
  }
  XCloseDisplay(d);
  return result;
}
