#pragma once

// What the X11 tests share: a private Xvfb on a free display number (ended
// by its process id, also when a test fails, and with the test process when
// that dies), child processes with pipes, and a few questions to the X server.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// CTest's skip code, returned by the test programs when Xvfb is missing.
constexpr int kSkipReturnCode = 77;

// The executable `name` in PATH, or nothing.
std::string path_of(const char* name);
bool program_available(const char* name);

// For the test program's main: X errors of the test's own connections are
// not fatal (a window may go away between two questions about it), and
// servers and children still running when the process exits are ended.
void prepare_test_process();

class Xvfb {
 public:
  // Screen like "1920x1200x24"; extra arguments such as {"-extension", "MIT-SHM"}.
  explicit Xvfb(const std::string& screen, const std::vector<std::string>& extra = {});
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool running() const { return pid_ > 0 && !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  // The test's own connection (not the one of the code under test).
  Display* display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display* display_ = nullptr;
};

struct ChildResult {
  bool exited = false;  // false: still running at the deadline (then killed)
  int status = -1;
  std::chrono::milliseconds elapsed{0};
};

class Child {
 public:
  // Runs `argv` with the environment changed by `env` ("NAME=value" sets,
  // "NAME" alone removes); stdin, stdout and stderr are pipes.
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  ChildResult wait(std::chrono::milliseconds limit);
  void write_line(const std::string& line);
  // The next line of standard output, or nothing by the deadline.
  std::optional<std::string> read_line(std::chrono::milliseconds limit);
  std::string read_stderr();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string out_buffer_;
  std::chrono::steady_clock::time_point started_;
};

// Asks the key reader (key_reader.cpp) to drain its queue: each key read
// as its bytes.
std::vector<std::vector<int>> drain_key_reader(Child& reader);
// Drains it until `expected` reads arrived or 3 s passed; all it read.
std::vector<std::vector<int>> read_key_reads(Child& reader, std::size_t expected);

// Polls `condition` every 10 ms until it holds or `limit` passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Top-level windows whose WM_CLASS class starts with "qzgfxclass_".
std::vector<Window> program_windows(Display* display);
// The shown window of process `pid` once there is one, else 0 after `limit`.
Window window_of(Display* display, pid_t pid, std::chrono::milliseconds limit);
std::string text_property(Display* display, Window window, const char* property);
long cardinal_property(Display* display, Window window, const char* property);
struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};
Geometry window_geometry(Display* display, Window window);
void send_close_request(Display* display, Window window);
// Waits until one of the program's windows has the keyboard focus.
bool program_has_focus(Display* display, std::chrono::milliseconds limit);

struct SaverSettings {
  int timeout = 0, interval = 0, prefer_blanking = 0, allow_exposures = 0;
  bool operator==(const SaverSettings&) const = default;
};
SaverSettings saver_settings(Display* display);

// xdotool with the given arguments against `display`; true on success.
bool xdotool(const std::string& display, const std::vector<std::string>& args);

// Current mode size of the first CRTC (XRandR), and adding a mode to its
// output (kept while `display` stays open).
Geometry crtc_mode_size(Display* display);
bool add_output_mode(Display* display, int width, int height);

std::string executable_dir();
