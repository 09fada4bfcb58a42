#include "bench/xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kStartTimeoutMs = 5000;

void end_process(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {  // up to 2 s, then force
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::string geometry = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string fd_text = std::to_string(fds[1]);
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    close(fds[0]);
    close(fds[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // Only async-signal-safe calls from here on.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    fcntl(fds[1], F_SETFD, 0);  // the display number is written here
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    const char* argv[] = {"Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", geometry.c_str(),
                          "-nolisten", "tcp", "-noreset", nullptr};
    execvp("Xvfb", const_cast<char* const*>(argv));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes its display number followed by a newline once it accepts
  // connections.
  std::string number;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (number.empty() || number.back() != '\n') {
    int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                       .count());
    pollfd p{fds[0], POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    char buffer[16];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    number.append(buffer, std::size_t(n));
  }
  close(fds[0]);
  if (number.empty() || number.back() != '\n') {
    end_process(pid_);
    throw std::runtime_error("Xvfb did not start");
  }
  number.pop_back();
  display_ = ":" + number;
}

XvfbServer::~XvfbServer() { end_process(pid_); }
