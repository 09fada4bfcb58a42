#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The benchmark's own connection to the X server: a window of its own with
// a shared-memory image, for the bare "XShmPutImage + XSync" reference, and
// read-back of another client's pixels, to see when they reached the server.
class BareX11Client {
 public:
  // Throws std::runtime_error when the display, MIT-SHM or the window fails.
  BareX11Client(const std::string& display_name, int width, int height);
  ~BareX11Client();
  BareX11Client(const BareX11Client&) = delete;
  BareX11Client& operator=(const BareX11Client&) = delete;

  // The image's pixels, width * height 32-bit words.
  std::uint8_t* pixels();
  // XShmPutImage of rows first .. first + count - 1, then XSync.
  void put_rows(int first, int count);

  // A viewable top-level window other than ours with this size, or 0.
  unsigned long find_window(int width, int height);
  // Moves our window beside `other` so the two never overlap (read-back of
  // an obscured part is undefined without backing store).
  void move_beside(unsigned long other);
  // The pixel's 0xRRGGBB as the server has it; -1 when it cannot be read.
  std::int64_t read_pixel(unsigned long window, int x, int y);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
