#pragma once

// What the reliability tests add to the X11 tests' support
// (tests/x11/x11_test_support.h): how a child ended, told without reaping it;
// the X server's own process; the program's window; frames seen from
// outside; directories deeper than a path may be long.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/x11/x11_test_support.h"

// How a process ended. Taken with waitid(WNOWAIT), so Child::wait can still
// reap it; a process whose last thread has not ended yet has not ended.
struct Ending {
  bool ended = false;
  bool exited = false;  // by exit; otherwise by a signal
  int code = -1;        // exit status, or the signal's number
  bool core = false;    // killed with a core dump
  std::chrono::milliseconds after{0};  // since the call
};
Ending wait_for_ending(pid_t pid, std::chrono::milliseconds limit);
std::string describe(const Ending& ending);

// Environment entries for a child whose ending is timed: ThreadSanitizer
// pauses a second at exit while another thread is left (the X11 driver
// thread parked after a lost server, a connect given up on), which is the
// tool's time, not the program's. Empty in other builds.
std::vector<std::string> no_pause_at_exit();

// Moves the pointer onto the window and waits for it to have the focus.
bool focus_window(const Xvfb& server, Window window);

// True while a process of this name (as its 16-byte comm shows it) lives.
bool process_named(const std::string& name);

// Standard error of a child cut into lines.
std::vector<std::string> lines_of(const std::string& text);

// Moments at which the program's crank moved, seen in the window: the crank
// runs from the centre (950, 489) to the pin, 167 pixels out, and is drawn
// in black once per frame, after the links. With the centre pixel black, a
// radial black line through two rings around the centre (radii 60 and 100)
// is the crank; a new angle of it is a new frame. Partly drawn states (links
// without the crank, the crank undrawn) show no crank, so they are no frames
// of their own.
class FrameWatch {
 public:
  FrameWatch(Display* display, Window window, int centre_x, int centre_y);
  // Looks once; true when a new frame is seen.
  bool sample();
  const std::vector<std::chrono::steady_clock::time_point>& frames() const { return frames_; }
  // Mean and longest time between the frames [from, to).
  struct Pace {
    double mean_ms = 0, longest_ms = 0;
    int frames = 0;
  };
  Pace pace(std::size_t from, std::size_t to) const;

 private:
  static constexpr int kSteps = 720;  // half a degree: under a pixel apart on the outer ring
  static constexpr int kInner = 60, kOuter = 100;
  Display* display_;
  Window window_;
  int left_, top_;
  std::vector<std::pair<int, int>> inner_, outer_;  // two per angle step, in the grabbed square
  std::vector<int> last_;
  std::vector<std::chrono::steady_clock::time_point> frames_;
};

// A chain of directories under a fresh temporary one, each level a name of
// up to 255 bytes, so that `directory` + "/" + `file_name` is exactly
// `path_length` bytes. Made and removed through descriptors, as such paths
// are too long for the system calls that take a whole path.
class DeepDirectory {
 public:
  DeepDirectory(std::size_t path_length, const std::string& file_name);
  ~DeepDirectory();
  DeepDirectory(const DeepDirectory&) = delete;
  DeepDirectory& operator=(const DeepDirectory&) = delete;

  bool ok() const { return ok_; }
  // Copies an executable into the deepest directory under `file_name`.
  bool install(const std::string& source);
  // A shell command that goes down level by level and runs the copy there.
  std::string run_command(const std::vector<std::string>& args) const;
  std::size_t full_length() const;

 private:
  std::string root_;
  std::vector<std::string> levels_;
  std::string file_name_;
  bool ok_ = false;
};

// This process as a program of the library: DISPLAY names a private Xvfb
// and QZGFX is unset while it lives; a mode still open is closed at its end.
class InProcessDisplay {
 public:
  explicit InProcessDisplay(const std::string& screen);
  ~InProcessDisplay();
  InProcessDisplay(const InProcessDisplay&) = delete;
  InProcessDisplay& operator=(const InProcessDisplay&) = delete;
  Xvfb server;
};

// A name of `length` bytes that begins with `stem`.
std::string name_of_length(const std::string& stem, std::size_t length, char fill);
