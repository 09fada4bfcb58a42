// A compositor that accepts the connection and then says nothing: the mode
// set gives the attempt up after the answer limit, and when the answer comes
// at last the attempt closes its connection instead of living on in the
// back end.

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "display/display_driver.h"
#include "display/screen_mode.h"

using namespace qz;

namespace {

// A listening socket in a private runtime folder, answering only when told.
class SilentCompositor {
 public:
  SilentCompositor() {
    char dir[] = "/tmp/qz-silent-XXXXXX";
    if (!mkdtemp(dir)) return;
    dir_ = dir;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/silent", dir);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 4) != 0) {
      close(listener_);
      listener_ = -1;
    }
  }
  ~SilentCompositor() {
    if (client_ >= 0) close(client_);
    if (listener_ >= 0) close(listener_);
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  bool listening() const { return listener_ >= 0; }
  const std::string& dir() const { return dir_; }

  // Ends the client's first round trip: the done event of its wl_display.sync.
  bool answer() {
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::uint32_t words[64];
    const ssize_t got = client_ < 0 ? -1 : read(client_, words, sizeof words);
    // Requests: object, size << 16 | opcode, arguments; sync is wl_display's opcode 0.
    for (ssize_t at = 0; at + 12 <= got;) {
      const std::uint32_t object = words[at / 4], size = words[at / 4 + 1] >> 16, opcode = words[at / 4 + 1] & 0xFFFF;
      if (object == 1 && opcode == 0) {
        const std::uint32_t done[3] = {words[at / 4 + 2], 12u << 16, 0};
        return write(client_, done, sizeof done) == sizeof done;
      }
      if (size < 8) break;
      at += size;
    }
    return false;
  }

  // True once the client closed its end.
  bool closed_within(std::chrono::milliseconds limit) {
    pollfd watch{client_, POLLIN, 0};
    char byte;
    return poll(&watch, 1, int(limit.count())) > 0 && read(client_, &byte, 1) == 0;
  }

 private:
  std::string dir_;
  int listener_ = -1;
  int client_ = -1;
};

TEST(WaylandConnect, AnAttemptGivenUpOnClosesItsConnectionWhenTheAnswerComes) {
  SilentCompositor compositor;
  ASSERT_TRUE(compositor.listening());
  setenv("XDG_RUNTIME_DIR", compositor.dir().c_str(), 1);
  setenv("WAYLAND_DISPLAY", "silent", 1);
  unsetenv("DISPLAY");
  unsetenv("QZGFX");

  const auto start = std::chrono::steady_clock::now();
  gfx_screen_res(320, 200, 32, 1, 0, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400)) << "not given up on";
  EXPECT_TRUE(current_mode() == nullptr || std::strcmp(current_mode()->driver->name, "Wayland") != 0);
  gfx_screen_close();

  ASSERT_TRUE(compositor.answer()) << "no round trip asked";
  EXPECT_TRUE(compositor.closed_within(std::chrono::seconds(3))) << "the attempt given up on kept its connection";
}

}  // namespace
