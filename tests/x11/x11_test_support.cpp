#include "tests/x11/x11_test_support.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Processes this test program started and has not ended yet.
std::mutex g_children_mutex;
std::vector<pid_t> g_children;

void remember(pid_t pid) {
  if (pid <= 0) return;
  std::lock_guard<std::mutex> hold(g_children_mutex);
  g_children.push_back(pid);
}

void forget(pid_t pid) {
  std::lock_guard<std::mutex> hold(g_children_mutex);
  std::erase(g_children, pid);
}

void end_all_children() {
  std::lock_guard<std::mutex> hold(g_children_mutex);
  for (pid_t pid : g_children) kill(pid, SIGKILL);
  g_children.clear();
}

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// Ends a child by its pid: politely, then for good.
void end_process(pid_t pid) {
  if (pid <= 0) return;
  forget(pid);
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  while (Clock::now() < deadline) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool wait_readable(int fd, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return false;
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, int(left)) > 0;
}

std::vector<unsigned char> raw_property(Display* display, Window window, const char* name, Atom* type_out) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned char> out;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 65536, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) == Success &&
      data) {
    const std::size_t unit = format == 32 ? sizeof(long) : std::size_t(format / 8);
    out.assign(data, data + count * unit);
  }
  if (data) XFree(data);
  if (type_out) *type_out = type;
  return out;
}

// Starts `args` (args[0] a path, or a name looked up in PATH) with `envp`,
// descriptors 0-2 from `stdio` (-1: /dev/null) and `keep` left open to it.
// The child gets SIGTERM when the test process ends, abruptly too (a
// sanitizer's abort, the runner's kill at a timeout): no server or program
// outlives its test or holds the runner's output open.
pid_t spawn_tied(std::vector<std::string> args, char** envp, const int (&stdio)[3], int keep = -1) {
  const std::string path = args[0].find('/') == std::string::npos ? path_of(args[0].c_str()) : args[0];
  if (path.empty()) return -1;
  std::vector<char*> argv = c_strings(args);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here on.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  // Close-on-exec: the copies made below stay open, the original does not.
  const int null_device = open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int i = 0; i < 3; ++i) dup2(stdio[i] >= 0 ? stdio[i] : null_device, i);
  if (keep >= 0) fcntl(keep, F_SETFD, 0);
  execve(path.c_str(), argv.data(), envp);
  _exit(127);
}

}  // namespace

void prepare_test_process() {
  XSetErrorHandler(ignore_x_error);
  // Tests run from a Wayland desktop would otherwise reach its compositor
  // first; the Wayland tests name their own.
  unsetenv("WAYLAND_DISPLAY");
  std::atexit(end_all_children);
}

std::string path_of(const char* name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

bool program_available(const char* name) { return !path_of(name).empty(); }

Xvfb::Xvfb(const std::string& screen, const std::vector<std::string>& extra) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                   "-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), extra.begin(), extra.end());
  pid_ = spawn_tied(args, environ, {-1, -1, -1}, fds[1]);
  remember(pid_);
  close(fds[1]);
  // The server writes its display number once it accepts connections.
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (pid_ > 0 && wait_readable(fds[0], deadline)) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  display_ = XOpenDisplay(name_.c_str());
}

Xvfb::~Xvfb() {
  if (display_) XCloseDisplay(display_);
  end_process(pid_);
}

Child::Child(const std::vector<std::string>& argv_in, const std::vector<std::string>& env) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const std::string& change : env) {
    const std::string key = change.substr(0, change.find('='));
    std::erase_if(environment, [&](const std::string& e) { return e.compare(0, key.size() + 1, key + "=") == 0; });
    if (change.find('=') != std::string::npos) environment.push_back(change);
  }
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
  std::vector<char*> envp = c_strings(environment);
  started_ = Clock::now();
  pid_ = spawn_tied(argv_in, envp.data(), {in[0], out[1], err[1]});
  remember(pid_);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
}

Child::~Child() {
  end_process(pid_);
  for (int fd : {in_, out_, err_})
    if (fd >= 0) close(fd);
}

ChildResult Child::wait(std::chrono::milliseconds limit) {
  ChildResult result;
  const auto deadline = Clock::now() + limit;
  while (pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      result.exited = true;
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      forget(pid_);
      pid_ = -1;
      break;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
  return result;
}

void Child::write_line(const std::string& line) {
  const std::string text = line + "\n";
  if (in_ >= 0 && ::write(in_, text.data(), text.size()) < 0) return;
}

std::optional<std::string> Child::read_line(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const std::size_t newline = out_buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = out_buffer_.substr(0, newline);
      out_buffer_.erase(0, newline + 1);
      return line;
    }
    if (!wait_readable(out_, deadline)) return std::nullopt;
    char buffer[256];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    out_buffer_.append(buffer, std::size_t(n));
  }
}

std::string Child::read_stderr() {
  std::string text;
  char buffer[256];
  while (wait_readable(err_, Clock::now() + std::chrono::milliseconds(200))) {
    const ssize_t n = read(err_, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, std::size_t(n));
  }
  return text;
}

std::vector<std::vector<int>> drain_key_reader(Child& reader) {
  reader.write_line("drain");
  std::vector<std::vector<int>> reads;
  while (auto line = reader.read_line(std::chrono::seconds(5))) {
    if (*line == "end") break;
    std::istringstream in(*line);
    std::vector<int> bytes;
    for (int b; in >> b;) bytes.push_back(b);
    reads.push_back(bytes);
  }
  return reads;
}

std::vector<std::vector<int>> read_key_reads(Child& reader, std::size_t expected) {
  std::vector<std::vector<int>> reads;
  eventually(
      [&] {
        for (auto& r : drain_key_reader(reader)) reads.push_back(r);
        return reads.size() >= expected;
      },
      std::chrono::seconds(3));
  return reads;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<Window> program_windows(Display* display) {
  std::vector<Window> found;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display, children[i], &hint)) {
      if (hint.res_class && std::strncmp(hint.res_class, "qzgfxclass_", 11) == 0) found.push_back(children[i]);
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
    }
  }
  if (children) XFree(children);
  return found;
}

std::string text_property(Display* display, Window window, const char* property) {
  const std::vector<unsigned char> bytes = raw_property(display, window, property, nullptr);
  return std::string(bytes.begin(), bytes.end());
}

long cardinal_property(Display* display, Window window, const char* property) {
  const std::vector<unsigned char> bytes = raw_property(display, window, property, nullptr);
  if (bytes.size() < sizeof(long)) return -1;
  long value = 0;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

Geometry window_geometry(Display* display, Window window) {
  XWindowAttributes attributes{};
  Geometry g;
  if (!XGetWindowAttributes(display, window, &attributes)) return g;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &g.x, &g.y, &child);
  g.width = attributes.width;
  g.height = attributes.height;
  return g;
}

void send_close_request(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

bool program_has_focus(Display* display, std::chrono::milliseconds limit) {
  return eventually(
      [&] {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        for (Window w : program_windows(display))
          if (w == focus) return true;
        return false;
      },
      limit);
}

SaverSettings saver_settings(Display* display) {
  SaverSettings s;
  XGetScreenSaver(display, &s.timeout, &s.interval, &s.prefer_blanking, &s.allow_exposures);
  return s;
}

bool xdotool(const std::string& display, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/usr/bin/xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  Child tool(argv, {"DISPLAY=" + display});
  const ChildResult result = tool.wait(std::chrono::seconds(10));
  return result.exited && result.status == 0;
}

Geometry crtc_mode_size(Display* display) {
  Geometry g;
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
  if (!res) return g;
  if (res->ncrtc > 0) {
    if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, res, res->crtcs[0])) {
      g = {crtc->x, crtc->y, int(crtc->width), int(crtc->height)};
      XRRFreeCrtcInfo(crtc);
    }
  }
  XRRFreeScreenResources(res);
  return g;
}

bool add_output_mode(Display* display, int width, int height) {
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
  if (!res || res->noutput == 0) return false;
  // Timings of a common 60 Hz mode of this size (CVT reduced blanking is
  // not needed: the server only keeps the numbers).
  XRRModeInfo info{};
  std::string name = std::to_string(width) + "x" + std::to_string(height) + "_test";
  info.width = unsigned(width);
  info.height = unsigned(height);
  info.hTotal = unsigned(width + 160);
  info.vTotal = unsigned(height + 39);
  info.dotClock = 60ul * info.hTotal * info.vTotal;
  info.hSyncStart = unsigned(width + 48);
  info.hSyncEnd = unsigned(width + 80);
  info.vSyncStart = unsigned(height + 3);
  info.vSyncEnd = unsigned(height + 9);
  info.name = name.data();
  info.nameLength = unsigned(name.size());
  const RRMode mode = XRRCreateMode(display, DefaultRootWindow(display), &info);
  XRRAddOutputMode(display, res->outputs[0], mode);
  XSync(display, False);
  XRRFreeScreenResources(res);
  return mode != None;
}

std::string executable_dir() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? std::size_t(n) : 0);
  return path.substr(0, path.rfind('/'));
}

Window window_of(Display* display, pid_t pid, std::chrono::milliseconds limit) {
  Window found = 0;
  eventually(
      [&] {
        for (Window w : program_windows(display)) {
          XWindowAttributes a{};
          if (cardinal_property(display, w, "_NET_WM_PID") == pid && XGetWindowAttributes(display, w, &a) &&
              a.map_state == IsViewable)
            found = w;
        }
        return found != 0;
      },
      limit);
  return found;
}
