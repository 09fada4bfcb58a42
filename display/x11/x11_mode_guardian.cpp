#include "display/x11/x11_mode_guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "runtime/termination.h"

extern char** environ;

namespace qz {

namespace {

std::mutex g_note_mutex;
std::string g_note;  // under g_note_mutex

}  // namespace

std::string x11_take_mode_guard_note() {
  std::lock_guard<std::mutex> hold(g_note_mutex);
  return std::exchange(g_note, std::string());
}

// Without RandR there is no mode change to record or guard.
#if defined(QZ_HAVE_XRANDR)

// The guardian's executable (generated at build time next to the library).
std::span<const unsigned char> x11_mode_guardian_image();

namespace {

// The descriptors the guardian is started with (see its main file).
constexpr int kGuardianSocket = 3;
constexpr int kGuardianImage = 4;
// How long the guardian may take to connect and say so.
constexpr auto kAnswerLimit = std::chrono::milliseconds(5000);

constexpr char kRelease = 'D';
constexpr char kRestoreNow = 'R';

// The program's end of the guardian's socket; -1 without a guardian.
std::atomic<int> g_socket{-1};

// A descriptor closed with its holder.
struct Descriptor {
  explicit Descriptor(int fd = -1) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int release() { return std::exchange(fd, -1); }
  int fd;
};

std::string failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Moves `fd` above the descriptors the guardian's start-up arranges, so
// that none of them is one of its sources.
int above_start_up(int fd) {
  if (fd < 0 || fd > kGuardianImage) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kGuardianImage + 1);
  close(fd);
  return moved;
}

// The guardian's executable as an in-memory file.
int image_file(std::string& why) {
  const std::span<const unsigned char> image = x11_mode_guardian_image();
#if defined(MFD_EXEC)
  // Where memory files are not executable by default, this one must be.
  int fd = memfd_create("qzgfx-mode-guardian", MFD_CLOEXEC | MFD_EXEC);
  if (fd < 0 && errno == EINVAL) fd = memfd_create("qzgfx-mode-guardian", MFD_CLOEXEC);
#else
  int fd = memfd_create("qzgfx-mode-guardian", MFD_CLOEXEC);
#endif
  if (fd < 0) {
    why = failed("no memory file for it");
    return -1;
  }
  for (std::size_t done = 0; done < image.size();) {
    const ssize_t n = write(fd, image.data() + done, image.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      why = failed("its program could not be written");
      close(fd);
      return -1;
    }
    done += std::size_t(n);
  }
  return above_start_up(fd);
}

// The guardian's first line: "ok", its reason for giving up, or nothing by
// the limit (`answered` false).
std::string read_answer(int fd, bool& answered) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
  answered = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd ready{fd, POLLIN, 0};
    const int n = poll(&ready, 1, int(left > 0 ? left : 0));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return line;
    char c = 0;
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    answered = true;
    if (got <= 0) return line.empty() ? "it ended at start" : line;
    if (c == '\n') return line;
    if (line.size() < 200) line.push_back(c);
  }
}

// Starts the guardian's first process (it leaves a second behind and ends);
// its pid, or -1 with `why`.
pid_t start(int image, int socket_end, const std::vector<std::string>& args, std::string& why) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // Its standard streams lead nowhere: a caller reading the program's
  // output to its end must not wait for the guardian too.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_adddup2(&actions, socket_end, kGuardianSocket);
  posix_spawn_file_actions_adddup2(&actions, image, kGuardianImage);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  posix_spawn_file_actions_addclosefrom_np(&actions, kGuardianImage + 1);
#endif
  // None of the program's blocked or handled signals (the driver thread
  // blocks SIGPIPE); the guardian chooses its own.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string path = "/proc/self/fd/" + std::to_string(kGuardianImage);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    why = std::string("it could not be started: ") + std::strerror(error);
    return -1;
  }
  return pid;
}

std::string start_guardian(const std::string& display_name, const X11CrtcSetting& desktop, unsigned long ours) {
  std::string why;
  const Descriptor image(image_file(why));
  if (image.fd < 0) return "no display mode guardian (" + why + ")";
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
    return "no display mode guardian (" + failed("no socket for it") + ")";
  Descriptor program_end(above_start_up(ends[0]));
  Descriptor guardian_end(above_start_up(ends[1]));
  if (program_end.fd < 0 || guardian_end.fd < 0) return "no display mode guardian (" + failed("no socket for it") + ")";

  // Tests and people find it by the program it watches.
  std::vector<std::string> args = {"qzguard-" + std::to_string(getpid()), display_name, std::to_string(desktop.crtc),
                                   std::to_string(ours), std::to_string(desktop.mode), std::to_string(desktop.x),
                                   std::to_string(desktop.y), std::to_string(desktop.rotation)};
  for (unsigned long output : desktop.outputs) args.push_back(std::to_string(output));
  const pid_t first = start(image.fd, guardian_end.fd, args, why);
  if (first < 0) return "no display mode guardian (" + why + ")";
  while (waitpid(first, nullptr, 0) < 0 && errno == EINTR) {
  }
  close(guardian_end.release());  // its only holder now is the guardian
  bool answered = false;
  const std::string answer = read_answer(program_end.fd, answered);
  if (answered && answer != "ok") return "no display mode guardian (" + answer + ")";
  g_socket.store(program_end.release());
  set_crash_hook(x11_alert_mode_guardian);
  // Silent but maybe still starting: kept, as it may yet guard the mode.
  return answered ? std::string() : "the display mode guardian did not answer";
}

}  // namespace

std::string x11_guard_mode(const std::string& display_name, const X11CrtcSetting& desktop, unsigned long ours) {
  x11_release_mode_guard();
  std::string why = start_guardian(display_name, desktop, ours);
  std::lock_guard<std::mutex> hold(g_note_mutex);
  g_note = why;
  return why;
}

void x11_release_mode_guard() {
  const int socket_end = g_socket.exchange(-1);
  if (socket_end < 0) return;
  const char message = kRelease;
  // A guardian already gone must not end the program by SIGPIPE.
  (void)!send(socket_end, &message, 1, MSG_NOSIGNAL);
  close(socket_end);
}

void x11_alert_mode_guardian() {
  const int socket_end = g_socket.load();
  if (socket_end < 0) return;
  const char message = kRestoreNow;
  (void)!send(socket_end, &message, 1, MSG_NOSIGNAL);
}

#endif  // QZ_HAVE_XRANDR

}  // namespace qz
