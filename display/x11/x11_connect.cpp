// Opening the connection to the X server without a word on standard error.
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

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <mutex>
#include <string>

#include "display/x11/x11_state.h"

namespace {

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

}  // namespace

std::string x11_printable_name(const std::string& name) {
  constexpr std::size_t kLongest = 64;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i == kLongest) return out + "...";
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(char(c));
    } else {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

Display* x11_open_connection(const std::string& name, std::string& failure) {
  const unsigned capture = begin_capture();
  Display* display = XOpenDisplay(name.c_str());
  const std::string said = capture ? end_capture(capture) : std::string();
  if (display) {
    pass_on(said);
    return display;
  }
  failure = "cannot open display \"" + x11_printable_name(name) + "\"";
  if (const std::string reason = one_line(said); !reason.empty()) failure += " (the server said: " + reason + ")";
  return nullptr;
}

void x11_abandon_connection() { pass_on(end_capture(0)); }
