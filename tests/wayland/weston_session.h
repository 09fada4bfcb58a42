#pragma once

// A private headless weston for the Wayland tests: its own runtime folder
// (mode 0700), configuration and socket, the project's test module for a
// seat with a keyboard (US layout, or a variant of it; a pointer from its
// first use) and the close request, and screenshots read back pixel for
// pixel. Ended (and its folder removed) with the object, and with
// the test process when that dies.

#include <sys/types.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tests/x11/x11_test_support.h"

class Weston {
 public:
  static constexpr int kWidth = 1680, kHeight = 1050;

  // An output of `width` x `height` device pixels (multiples of `scale`) at whole scale `scale`.
  explicit Weston(int width = kWidth, int height = kHeight, const std::string& keymap_variant = "", int scale = 1);
  ~Weston();
  Weston(const Weston&) = delete;
  Weston& operator=(const Weston&) = delete;

  bool running() const { return ready_; }
  int width() const { return width_; }
  int height() const { return height_; }
  const std::string& runtime_dir() const { return dir_; }
  const std::string& socket_name() const { return socket_; }
  // Changes for Child's environment: this compositor only, no X display, no QZGFX.
  std::vector<std::string> client_env() const;
  // The same, set in this process (for the back end under test here).
  void use_in_this_process() const;

  // Presses the kernel key codes in order and releases them in reverse.
  void keys(std::initializer_list<unsigned> codes);
  void press(unsigned code, bool down);
  // The pointer to (x, y) of the newest window's content.
  void move(int x, int y);
  // A button (kernel code) pressed or released; the wheel turned by notches
  // (negative: away from the user), each a step moving the axis by `value`.
  void button(unsigned code, bool down);
  void wheel(int notches, double value = 10.0);
  // Asks every toplevel to close.
  void close_windows();
  // Tells every surface the preferred fractional scale (120ths), where the module offers it.
  void prefer_scale(int scale120);

  // The output as 0xRRGGBB, row by row; empty when no screenshot came.
  std::vector<std::uint32_t> screenshot();
  // Until the output shows more than one colour: a window over the plain background.
  bool wait_for_picture();

  // What weston logged so far (the test module's lines among it).
  std::string log() const;

  // SIGKILL, as a crashed compositor.
  void kill();

 private:
  void command(const std::string& line);
  int width_, height_;
  std::string dir_;
  std::string socket_ = "qz-wayland-0";
  std::unique_ptr<Child> process_;
  int control_ = -1;
  bool ready_ = false;
};
