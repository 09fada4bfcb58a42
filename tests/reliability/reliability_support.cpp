#include "tests/reliability/reliability_support.h"

#include "display/screen_mode.h"

#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace qz;

namespace {

using Clock = std::chrono::steady_clock;

// Removes everything below the directory open as `fd`, then closes it.
void remove_below(int fd) {
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return;
  }
  std::vector<std::pair<std::string, bool>> entries;
  while (dirent* e = readdir(dir)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    entries.emplace_back(e->d_name, e->d_type == DT_DIR);
  }
  for (const auto& [name, is_dir] : entries) {
    if (is_dir) {
      const int child = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (child >= 0) remove_below(child);
    }
    unlinkat(dirfd(dir), name.c_str(), is_dir ? AT_REMOVEDIR : 0);
  }
  closedir(dir);
}

std::string shell_quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

Ending wait_for_ending(pid_t pid, std::chrono::milliseconds limit) {
  Ending ending;
  const auto start = Clock::now();
  for (;;) {
    siginfo_t info{};
    if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
      ending.ended = true;
      ending.exited = info.si_code == CLD_EXITED;
      ending.core = info.si_code == CLD_DUMPED;
      ending.code = info.si_status;
      break;
    }
    if (Clock::now() - start >= limit) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ending.after = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return ending;
}

std::string describe(const Ending& e) {
  if (!e.ended) return "still running after " + std::to_string(e.after.count()) + " ms";
  return std::string(e.exited ? "exit status " : e.core ? "killed with a core dump by signal " : "killed by signal ") +
         std::to_string(e.code) + " after " + std::to_string(e.after.count()) + " ms";
}

std::vector<std::string> no_pause_at_exit() {
#if defined(__SANITIZE_THREAD__)
  const char* options = std::getenv("TSAN_OPTIONS");
  return {std::string("TSAN_OPTIONS=") + (options ? options : "") + ":atexit_sleep_ms=0"};
#else
  return {};
#endif
}

bool focus_window(const Xvfb& server, Window window) {
  return xdotool(server.name(), {"mousemove", "--window", std::to_string(window), "10", "10"}) &&
         program_has_focus(server.display(), std::chrono::seconds(5));
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

FrameWatch::FrameWatch(Display* display, Window window, int centre_x, int centre_y)
    : display_(display), window_(window), left_(centre_x - kOuter), top_(centre_y - kOuter) {
  for (int step = 0; step < kSteps; ++step) {
    const double angle = step * 2 * M_PI / kSteps;
    auto at = [&](int radius) {
      return std::pair<int, int>{int(std::lround(kOuter + radius * std::cos(angle))),
                                 int(std::lround(kOuter + radius * std::sin(angle)))};
    };
    // Two radii each: a one-pixel ring can be crossed diagonally by a
    // one-pixel line without a pixel in common.
    inner_.push_back(at(kInner));
    inner_.push_back(at(kInner + 1));
    outer_.push_back(at(kOuter - 1));
    outer_.push_back(at(kOuter));
  }
}

bool FrameWatch::sample() {
  const unsigned size = 2 * kOuter + 1;
  XImage* image = XGetImage(display_, window_, left_, top_, size, size, AllPlanes, ZPixmap);
  if (!image) return false;
  auto black = [&](const std::pair<int, int>& p) { return (XGetPixel(image, p.first, p.second) & 0xFFFFFF) == 0; };
  // The crank starts on the centre pixel; without it, what the rings show
  // is a link drawn before the crank (one passes close by the centre).
  if (!black({kOuter, kOuter})) {
    XDestroyImage(image);
    return false;
  }
  auto either = [&](const std::vector<std::pair<int, int>>& ring, int step) {
    return black(ring[std::size_t(2 * step)]) || black(ring[std::size_t(2 * step + 1)]);
  };
  std::vector<bool> inner(kSteps);
  for (int step = 0; step < kSteps; ++step) inner[std::size_t(step)] = either(inner_, step);
  // Angles where the outer ring is black and the inner one too, within two
  // degrees: where a line from the centre crosses both.
  constexpr int kTolerance = 4;
  std::vector<int> crank;
  for (int step = 0; step < kSteps; ++step) {
    if (!either(outer_, step)) continue;
    for (int d = -kTolerance; d <= kTolerance; ++d)
      if (inner[std::size_t((step + d + kSteps) % kSteps)]) {
        crank.push_back(step);
        break;
      }
  }
  XDestroyImage(image);
  if (crank.empty() || crank == last_) return false;
  last_ = crank;
  frames_.push_back(Clock::now());
  return true;
}

FrameWatch::Pace FrameWatch::pace(std::size_t from, std::size_t to) const {
  Pace p;
  to = std::min(to, frames_.size());
  if (to < from + 2) return p;
  p.frames = int(to - from);
  for (std::size_t i = from + 1; i < to; ++i)
    p.longest_ms = std::max(p.longest_ms, std::chrono::duration<double, std::milli>(frames_[i] - frames_[i - 1]).count());
  p.mean_ms = std::chrono::duration<double, std::milli>(frames_[to - 1] - frames_[from]).count() / double(to - from - 1);
  return p;
}

DeepDirectory::DeepDirectory(std::size_t path_length, const std::string& file_name) : file_name_(file_name) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qz-deep-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return;
  root_ = pattern;
  // root + "/" + levels joined by "/" + "/" + file name == path_length.
  const std::size_t fixed = root_.size() + 1 + file_name.size();
  if (path_length < fixed + 2) return;
  std::size_t left = path_length - fixed;  // levels and their slashes
  int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  while (left > 0 && fd >= 0) {
    // Each level costs its name and one slash; the last leaves no crumbs.
    std::size_t name = std::min<std::size_t>(left - 1, 200);
    if (left - 1 - name == 1) --name;  // a remainder of one byte could not hold a level
    const std::string level(name, char('a' + levels_.size() % 26));
    if (mkdirat(fd, level.c_str(), 0700) != 0) break;
    const int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    levels_.push_back(level);
    left -= name + 1;
  }
  if (fd >= 0) close(fd);
  ok_ = left == 0 && full_length() == path_length;
}

DeepDirectory::~DeepDirectory() {
  if (root_.empty()) return;
  const int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) remove_below(fd);
  rmdir(root_.c_str());
}

std::size_t DeepDirectory::full_length() const {
  std::size_t n = root_.size() + 1 + file_name_.size();
  for (const std::string& level : levels_) n += level.size() + 1;
  return n;
}

bool DeepDirectory::install(const std::string& source) {
  int dir = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  for (const std::string& level : levels_) {
    const int next = dir >= 0 ? openat(dir, level.c_str(), O_RDONLY | O_DIRECTORY) : -1;
    if (dir >= 0) close(dir);
    dir = next;
  }
  if (dir < 0) return false;
  const int in = open(source.c_str(), O_RDONLY);
  const int out = openat(dir, file_name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
  close(dir);
  bool copied = in >= 0 && out >= 0;
  char buffer[1 << 16];
  for (ssize_t n = 0; copied && (n = read(in, buffer, sizeof buffer)) != 0;)
    copied = n > 0 && write(out, buffer, std::size_t(n)) == n;
  if (in >= 0) close(in);
  if (out >= 0) close(out);
  return copied;
}

std::string DeepDirectory::run_command(const std::vector<std::string>& args) const {
  // -P: the shell's own idea of the whole path would not fit a path either.
  std::string command = "cd -P " + shell_quoted(root_);
  for (const std::string& level : levels_) command.append(" && cd -P ").append(shell_quoted(level));
  command.append(" && exec ./").append(shell_quoted(file_name_));
  for (const std::string& arg : args) command.append(" ").append(shell_quoted(arg));
  return command;
}

InProcessDisplay::InProcessDisplay(const std::string& screen) : server(screen) {
  if (server.running()) setenv("DISPLAY", server.name().c_str(), 1);
  unsetenv("QZGFX");
}

InProcessDisplay::~InProcessDisplay() {
  gfx_screen_close();
  unsetenv("DISPLAY");
}

std::string name_of_length(const std::string& stem, std::size_t length, char fill) {
  std::string name = stem;
  name.resize(std::max(length, stem.size()), fill);
  return name.substr(0, length);
}

bool process_named(const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream comm(entry.path() / "comm");
    std::string line;
    if (!comm || !std::getline(comm, line) || line != name) continue;
    // An ended process waiting to be reaped (state Z) does not live.
    std::ifstream status(entry.path() / "status");
    while (std::getline(status, line))
      if (line.rfind("State:", 0) == 0) return line.find('Z') == std::string::npos;
  }
  return false;
}
