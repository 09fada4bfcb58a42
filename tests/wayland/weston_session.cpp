#include "tests/wayland/weston_session.h"

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

Weston::Weston(int width, int height, const std::string& keymap_variant, int scale)
    : width_(width), height_(height) {
  char dir[] = "/tmp/qz-weston-XXXXXX";  // mkdtemp makes it 0700
  if (!mkdtemp(dir)) return;
  dir_ = dir;
  std::ofstream(dir_ + "/weston.ini") << "[core]\nidle-time=0\n[shell]\npanel-position=none\nbackground-color=0xff336699\nanimation=none\n"
                                         "startup-animation=none\n[input-method]\npath=\n"
                                      << "[keyboard]\nkeymap_layout=us\nkeymap_variant=" << keymap_variant << "\n";
  const std::string control = dir_ + "/control";
  if (mkfifo(control.c_str(), 0600) != 0) return;
  // Read and write, so that opening does not wait for the compositor.
  control_ = open(control.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  process_ = std::make_unique<Child>(
      std::vector<std::string>{"weston", "--backend=headless-backend.so", "--use-pixman",
                               // The headless output's size is given in logical pixels.
                               "--width=" + std::to_string(width_ / scale),
                               "--height=" + std::to_string(height_ / scale), "--scale=" + std::to_string(scale),
                               "--socket=" + socket_, "--debug", "--config=" + dir_ + "/weston.ini",
                               "--log=" + dir_ + "/weston.log", std::string("--modules=") + QZ_WESTON_MODULE},
      std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_, "QZ_WESTON_CONTROL=" + control, "WAYLAND_DISPLAY",
                               "WAYLAND_SOCKET", "DISPLAY"});
  // The shell's helper starts once the modules are in and the socket listens.
  ready_ = eventually(
      [&] {
        return std::filesystem::exists(dir_ + "/" + socket_) &&
               read_file(dir_ + "/weston.log").find("launching") != std::string::npos;
      },
      20s);
}

Weston::~Weston() {
  process_.reset();
  if (control_ >= 0) close(control_);
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

std::vector<std::string> Weston::client_env() const {
  return {"XDG_RUNTIME_DIR=" + dir_, "WAYLAND_DISPLAY=" + socket_, "WAYLAND_SOCKET", "DISPLAY", "QZGFX"};
}

void Weston::use_in_this_process() const {
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  setenv("WAYLAND_DISPLAY", socket_.c_str(), 1);
  unsetenv("DISPLAY");
  unsetenv("QZGFX");
}

void Weston::command(const std::string& line) {
  const std::string text = line + "\n";
  if (control_ >= 0 && write(control_, text.data(), text.size()) < 0) return;
}

void Weston::press(unsigned code, bool down) { command("key " + std::to_string(code) + (down ? " 1" : " 0")); }

void Weston::move(int x, int y) { command("move " + std::to_string(x) + " " + std::to_string(y)); }

void Weston::button(unsigned code, bool down) { command("button " + std::to_string(code) + (down ? " 1" : " 0")); }

void Weston::wheel(int notches, double value) {
  // The C locale's decimal point, whatever the test's locale.
  char number[32];
  const auto end = std::to_chars(number, number + sizeof number, value).ptr;
  command("wheel " + std::to_string(notches) + " " + std::string(number, end));
}

void Weston::keys(std::initializer_list<unsigned> codes) {
  for (unsigned code : codes) press(code, true);
  for (auto it = std::rbegin(codes); it != std::rend(codes); ++it) press(*it, false);
}

void Weston::close_windows() { command("close"); }

void Weston::prefer_scale(int scale120) { command("fraction " + std::to_string(scale120)); }

std::vector<std::uint32_t> Weston::screenshot() {
  const std::string folder = dir_ + "/shots";
  std::filesystem::create_directories(folder);
  // The screenshooter hangs without a renderer: always under a limit.
  Child shooter({"sh", "-c", "cd \"$0\" && exec timeout 10 weston-screenshooter", folder}, client_env());
  shooter.wait(15s);
  std::vector<std::uint32_t> pixels;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (pixels.empty() && png_image_begin_read_from_file(&image, entry.path().c_str()) &&
        int(image.width) == width_ && int(image.height) == height_) {
      image.format = PNG_FORMAT_BGRA;
      pixels.resize(std::size_t(width_) * std::size_t(height_));
      if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) pixels.clear();
      for (std::uint32_t& p : pixels) p &= 0xFFFFFF;
    }
    png_image_free(&image);
    std::filesystem::remove(entry.path());
  }
  return pixels;
}

bool Weston::wait_for_picture() {
  return eventually(
      [&] {
        const std::vector<std::uint32_t> shot = screenshot();
        for (std::uint32_t p : shot)
          if (p != shot[0]) return true;
        return false;
      },
      20s);
}

std::string Weston::log() const { return read_file(dir_ + "/weston.log"); }

void Weston::kill() {
  if (process_) ::kill(process_->pid(), SIGKILL);
  if (process_) process_->wait(5s);
}
