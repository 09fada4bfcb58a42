#include "bench/x11_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <stdexcept>

struct BareX11Client::State {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool attached = false;
  int width = 0, height = 0;
};

namespace {

void wait_until_mapped(Display* display, Window window) {
  XEvent event;
  do {
    XWindowEvent(display, window, StructureNotifyMask, &event);
  } while (event.type != MapNotify);
}

}  // namespace

BareX11Client::BareX11Client(const std::string& display_name, int width, int height)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.width = width;
  s.height = height;
  s.display = XOpenDisplay(display_name.c_str());
  if (!s.display) throw std::runtime_error("cannot open display " + display_name);
  if (!XShmQueryExtension(s.display)) throw std::runtime_error("no MIT-SHM on " + display_name);
  int screen = DefaultScreen(s.display);
  Visual* visual = DefaultVisual(s.display, screen);
  int depth = DefaultDepth(s.display, screen);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  attributes.event_mask = StructureNotifyMask;
  s.window = XCreateWindow(s.display, RootWindow(s.display, screen), 0, 0, unsigned(width), unsigned(height), 0,
                           depth, InputOutput, visual, CWBackPixmap | CWEventMask, &attributes);
  s.gc = XCreateGC(s.display, s.window, 0, nullptr);
  s.image = XShmCreateImage(s.display, visual, unsigned(depth), ZPixmap, nullptr, &s.shm, unsigned(width),
                            unsigned(height));
  if (!s.image || s.image->bits_per_pixel != 32) throw std::runtime_error("no 32-bit shared image");
  s.shm.shmid = shmget(IPC_PRIVATE, std::size_t(s.image->bytes_per_line) * std::size_t(height), IPC_CREAT | 0600);
  if (s.shm.shmid < 0) throw std::runtime_error("no shared memory segment");
  s.shm.shmaddr = s.image->data = static_cast<char*>(shmat(s.shm.shmid, nullptr, 0));
  shmctl(s.shm.shmid, IPC_RMID, nullptr);
  if (s.shm.shmaddr == reinterpret_cast<char*>(-1)) {
    s.image->data = nullptr;
    throw std::runtime_error("cannot attach the shared memory segment");
  }
  s.shm.readOnly = True;
  s.attached = XShmAttach(s.display, &s.shm);
  XMapWindow(s.display, s.window);
  wait_until_mapped(s.display, s.window);
  XSync(s.display, False);
  if (!s.attached) throw std::runtime_error("the server refused the shared memory segment");
}

BareX11Client::~BareX11Client() {
  State& s = *state_;
  if (!s.display) return;
  if (s.attached) XShmDetach(s.display, &s.shm);
  if (s.image) {
    XSync(s.display, False);
    if (s.image->data) shmdt(s.image->data);
    s.image->data = nullptr;
    XDestroyImage(s.image);
  }
  if (s.gc) XFreeGC(s.display, s.gc);
  if (s.window) XDestroyWindow(s.display, s.window);
  XCloseDisplay(s.display);
}

std::uint8_t* BareX11Client::pixels() { return reinterpret_cast<std::uint8_t*>(state_->image->data); }

void BareX11Client::put_rows(int first, int count) {
  State& s = *state_;
  XShmPutImage(s.display, s.window, s.gc, s.image, 0, first, 0, first, unsigned(s.width), unsigned(count), False);
  XSync(s.display, False);
}

unsigned long BareX11Client::find_window(int width, int height) {
  State& s = *state_;
  Window root = DefaultRootWindow(s.display), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(s.display, root, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes a;
    if (children[i] != s.window && XGetWindowAttributes(s.display, children[i], &a) && a.map_state == IsViewable &&
        a.width == width && a.height == height)
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

void BareX11Client::move_beside(unsigned long other) {
  State& s = *state_;
  XWindowAttributes a;
  if (!XGetWindowAttributes(s.display, other, &a)) return;
  int screen_width = DisplayWidth(s.display, DefaultScreen(s.display));
  int x = a.x >= s.width ? 0 : a.x + a.width;
  if (x + s.width > screen_width) throw std::runtime_error("the screen is too narrow for two windows");
  XMoveWindow(s.display, s.window, x, 0);
  XSync(s.display, False);
}

std::int64_t BareX11Client::read_pixel(unsigned long window, int x, int y) {
  State& s = *state_;
  XImage* one = XGetImage(s.display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!one) return -1;
  std::int64_t value = std::int64_t(XGetPixel(one, 0, 0) & 0xFFFFFFu);
  XDestroyImage(one);
  return value;
}
