// The connection to the X server: opened without a word on standard error,
// published to the back end's state once the program's thread accepted the
// server's answer, closed; our error handlers and the error trap.
//
// When a server refuses a client (wrong or missing authorisation, too many
// clients), the X libraries write the server's reason straight to file
// descriptor 2, once per attempt, beside the program's own one-line message.
// The connect therefore runs with descriptor 2 pointing at an anonymous file;
// what arrives there becomes part of our failure reason, and anything written
// meanwhile by others on a successful connect is passed on unchanged.
//
// The capture can be ended from either side: the driver thread ends it when
// the connect returns; the program's thread ends it when it gives up on a
// server that never answers (the connect then stays blocked on its thread).
//
// A local server (":N", "unix:N") is first asked on a socket of our own
// whether it answers at all: the X libraries' connect would wait for ever,
// holding their process-wide lock, on one that accepts and stays silent.

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>

#include "display/linux/driver_thread.h"
#include "display/x11/x11_state.h"

namespace qz {

namespace {

// Errors of our connection are counted, never fatal: Xlib's default handler
// would end the whole process for one refused request.
std::atomic<Display*> g_our_display{nullptr};
std::atomic<int> g_error_count{0};
XErrorHandler g_previous_handler = nullptr;
XIOErrorHandler g_previous_io_handler = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  if (display == g_our_display.load()) {
    g_error_count.fetch_add(1);
    return 0;
  }
  return g_previous_handler ? g_previous_handler(display, error) : 0;
}

// Xlib's default prints its own message and exits on the thread that met the
// broken connection; for ours it stays silent (see on_connection_lost).
int on_io_error(Display* display) {
  if (display == g_our_display.load()) return 0;
  return g_previous_io_handler ? g_previous_io_handler(display) : 0;
}

// The server went away. This thread never goes back into Xlib from here:
// its way back after a lost connection leaves the display's lock unbalanced.
[[noreturn]] void on_connection_lost(Display*, void*) { driver_thread::lose_display(); }

std::mutex g_capture_mutex;
int g_saved_stderr = -1;
int g_capture_fd = -1;
// Numbers the captures, so that a connect that returns long after it was
// given up on cannot end a later one.
unsigned g_capture_number = 0;

unsigned begin_capture() {
  std::lock_guard<std::mutex> hold(g_capture_mutex);
  if (g_saved_stderr >= 0) return 0;
  const int file = memfd_create("qzgfx-x11-connect", MFD_CLOEXEC);
  if (file < 0) return 0;
  const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (saved < 0 || dup2(file, STDERR_FILENO) < 0) {
    if (saved >= 0) close(saved);
    close(file);
    return 0;
  }
  g_saved_stderr = saved;
  g_capture_fd = file;
  if (++g_capture_number == 0) ++g_capture_number;
  return g_capture_number;
}

// Puts descriptor 2 back and returns what was written to it meanwhile;
// `number` 0 ends whichever capture runs.
std::string end_capture(unsigned number) {
  std::lock_guard<std::mutex> hold(g_capture_mutex);
  if (g_saved_stderr < 0 || (number != 0 && number != g_capture_number)) return {};
  dup2(g_saved_stderr, STDERR_FILENO);
  close(g_saved_stderr);
  g_saved_stderr = -1;
  std::string text;
  char buffer[512];
  ssize_t n = 0;
  off_t offset = 0;
  while ((n = pread(g_capture_fd, buffer, sizeof buffer, offset)) > 0) {
    text.append(buffer, std::size_t(n));
    offset += n;
  }
  close(g_capture_fd);
  g_capture_fd = -1;
  return text;
}

void pass_on(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += std::size_t(n);
  }
}

// The captured text on one line: control characters and runs of blanks
// become one space, and it is cut to a sensible length.
std::string one_line(const std::string& text) {
  constexpr std::size_t kLongest = 200;
  std::string out;
  for (unsigned char c : text) {
    const bool blank = c < 0x20 || c == 0x7F || c == ' ';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
    } else if (out.size() < kLongest) {
      out.push_back(char(c));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// How long a local server may take to answer the probe: less than the
// host's limit on the whole connect, so that the probe says it first.
constexpr auto kProbeLimit = std::chrono::milliseconds(1200);

// The display number of a local display name (":N", ":N.S", "unix:N"), or -1.
int local_display_number(const std::string& name) {
  const std::size_t colon = name.rfind(':');
  if (colon == std::string::npos) return -1;
  const std::string host = name.substr(0, colon);
  if (!host.empty() && host != "unix") return -1;
  int number = 0;
  std::size_t i = colon + 1;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && number < 100000; ++i) number = number * 10 + (name[i] - '0');
  if (i == colon + 1 || (i < name.size() && name[i] != '.')) return -1;
  return number;
}

// A non-blocking connection to the server's socket: the abstract name first,
// then the file, as the X libraries try them. -1 when neither takes it.
int connect_local(int number) {
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  for (const bool abstract : {true, false}) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + path.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) return fd;
    close(fd);
  }
  return -1;
}

enum class LocalServer { kUnknown, kAnswers, kSilent };

// Whether a local server answers the opening of a session in time (kUnknown:
// not a local name, or nobody listens, which the connect reports at once).
// The opening names a byte order no server knows: a live one hangs up at
// once, which is answer enough, and no authorisation is tried (so the server
// has no refused client to log).
LocalServer probe_local_server(const std::string& name) {
  const int number = local_display_number(name);
  if (number < 0) return LocalServer::kUnknown;
  const int fd = connect_local(number);
  if (fd < 0) return LocalServer::kUnknown;
  static constexpr unsigned char kOpening[12] = {'?', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // A server that closes at once must not end the process by SIGPIPE.
  LocalServer result = LocalServer::kAnswers;
  if (send(fd, kOpening, sizeof kOpening, MSG_NOSIGNAL) == ssize_t(sizeof kOpening)) {
    pollfd answer{fd, POLLIN, 0};
    if (poll(&answer, 1, int(kProbeLimit.count())) == 0) result = LocalServer::kSilent;
  }
  close(fd);
  return result;
}

}  // namespace

Display* x11_open_connection(const std::string& name, std::string& failure, bool (*answered)()) {
  switch (probe_local_server(name)) {
    case LocalServer::kSilent:
      failure = "the X server at \"" + printable_display_name(name) + "\" does not answer";
      return nullptr;
    case LocalServer::kAnswers:
      // A live local server completes or refuses the opening however slow
      // this machine is; from here the wait for it needs no limit.
      if (!answered()) return nullptr;
      break;
    case LocalServer::kUnknown:
      break;
  }
  const unsigned capture = begin_capture();
  Display* display = XOpenDisplay(name.c_str());
  const std::string said = capture ? end_capture(capture) : std::string();
  if (display) {
    pass_on(said);
    return display;
  }
  failure = "cannot open display \"" + printable_display_name(name) + "\"";
  if (const std::string reason = one_line(said); !reason.empty()) failure += " (the server said: " + reason + ")";
  return nullptr;
}

void x11_abandon_connection() { pass_on(end_capture(0)); }

bool x11_connect(X11Attempt& attempt, bool (*answered)()) {
  Display* display = x11_open_connection(attempt.display_name, attempt.failure, answered);
  if (!answered()) {
    if (display) XCloseDisplay(display);
    return false;
  }
  if (!display) {
    attempt.unreachable = true;
    return false;
  }
  // Answered: from here on the back end's state is this attempt's.
  X11State& x = x11();
  x.display = display;
  g_our_display = x.display;
  // A connection lost before was never closed, so its handlers are still
  // ours; keeping them as "previous" would make each call itself.
  if (const XErrorHandler previous = XSetErrorHandler(on_x_error); previous != on_x_error)
    g_previous_handler = previous;
  if (const XIOErrorHandler previous = XSetIOErrorHandler(on_io_error); previous != on_io_error)
    g_previous_io_handler = previous;
  XSetIOErrorExitHandler(x.display, on_connection_lost, nullptr);
  x.screen = DefaultScreen(x.display);
  x.root = RootWindow(x.display, x.screen);
  // Keys released while a mode switch has no window shown come up on the
  // root; only the key tracking looks at them.
  XSelectInput(x.display, x.root, KeyReleaseMask);
  // Asked by name first: the extension's own query complains on stderr
  // when the server lacks it.
  int opcode = 0, event_base = 0, error_base = 0, major = 0, minor = 0;
  Bool pixmaps = False;
  x.shm_descriptors = XQueryExtension(x.display, "MIT-SHM", &opcode, &event_base, &error_base) &&
                      XShmQueryVersion(x.display, &major, &minor, &pixmaps) == True &&
                      (major > 1 || (major == 1 && minor >= 2));
  Bool supported = False;
  x.detectable_repeat = XkbSetDetectableAutoRepeat(x.display, True, &supported) && supported;
  x11_init_randr();
  x11_load_keymap();
  x11_open_input_method();
  x11_suspend_screensaver();
  x11_find_monitor_at_pointer();
  return true;
}

bool x11_open_display(bool (*answered)()) {
  X11State& x = x11();
  X11Attempt attempt;
  attempt.display_name = x.display_name;
  if (x11_connect(attempt, answered)) return true;
  x.failure = attempt.failure;
  x.unreachable = attempt.unreachable;
  return false;
}

void x11_close_display() {
  X11State& x = x11();
  if (!x.display) return;
  x11_close_input_method();
  x11_resume_screensaver();
  XCloseDisplay(x.display);
  x.display = nullptr;
  g_our_display = nullptr;
  XSetErrorHandler(g_previous_handler);
  XSetIOErrorHandler(g_previous_io_handler);
}

X11ErrorTrap::X11ErrorTrap() {
  XSync(x11().display, False);
  count_ = g_error_count.load();
}

X11ErrorTrap::~X11ErrorTrap() = default;

bool X11ErrorTrap::failed() {
  XSync(x11().display, False);
  return g_error_count.load() != count_;
}

}  // namespace qz
