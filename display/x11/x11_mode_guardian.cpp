#include "display/x11/x11_mode_guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/termination.h"

namespace qz {

namespace {

// RandR requests the guardian sends (minor opcodes of the extension).
constexpr std::uint8_t kQueryVersion = 0;
constexpr std::uint8_t kSetCrtcConfig = 21;
constexpr std::uint8_t kGetScreenResourcesCurrent = 25;
constexpr int kMaxOutputs = 16;
// How long the guardian waits for each answer of the server.
constexpr int kAnswerMs = 1000;

// Messages on the alert pipe; its end (the program gone) means "restore".
constexpr char kRelease = 'D';
constexpr char kRestoreNow = 'R';

// Everything the guardian needs, filled before the fork.
struct Plan {
  int connection = -1;  // set up and authorised by the program's side
  int alert = -1;       // read end of the alert pipe
  pid_t program = 0;
  std::uint8_t randr = 0;  // the extension's major opcode
  std::uint32_t root = 0;
  std::uint32_t set_crtc[7 + kMaxOutputs] = {};
  int set_crtc_words = 0;
  char name[16] = {};
};

// The program's side: the write end of the alert pipe (-1 without a
// guardian) and the connection the guardian shares, closed on release.
std::atomic<int> g_alert{-1};
xcb_connection_t* g_connection = nullptr;

long sys(long number, long a = 0, long b = 0, long c = 0, long d = 0) { return syscall(number, a, b, c, d); }

bool send_all(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const long n = sys(SYS_write, fd, long(p), long(size));
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

bool receive_all(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    pollfd ready{fd, POLLIN, 0};
    if (sys(SYS_poll, long(&ready), 1, kAnswerMs) != 1) return false;
    const long n = sys(SYS_read, fd, long(p), long(size));
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

// Reads packets until a reply; keeps its first 32 bytes. An error, a broken
// connection or silence give false. Events are passed over.
bool next_reply(int fd, std::uint8_t (&reply)[32]) {
  for (;;) {
    if (!receive_all(fd, reply, 32)) return false;
    if (reply[0] == 0) return false;
    std::uint32_t extra = 0;
    if (reply[0] == 1 || (reply[0] & 0x7F) == 35) std::memcpy(&extra, reply + 4, 4);  // reply or generic event
    for (std::uint32_t left = extra * 4; left > 0;) {
      std::uint8_t skip[256];
      const std::uint32_t n = left < sizeof skip ? left : std::uint32_t(sizeof skip);
      if (!receive_all(fd, skip, n)) return false;
      left -= n;
    }
    if (reply[0] == 1) return true;
  }
}

// Puts the saved setting back over the guardian's own connection, asking
// for the configuration time the server holds now.
void restore(Plan& plan) {
  const std::uint32_t version[3] = {plan.randr | kQueryVersion << 8 | 3u << 16, 1, 5};
  const std::uint32_t resources[2] = {plan.randr | kGetScreenResourcesCurrent << 8 | 2u << 16, plan.root};
  std::uint8_t reply[32];
  if (!send_all(plan.connection, version, sizeof version) || !send_all(plan.connection, resources, sizeof resources) ||
      !next_reply(plan.connection, reply) || !next_reply(plan.connection, reply))
    return;
  std::memcpy(&plan.set_crtc[3], reply + 12, 4);  // the configuration time
  if (send_all(plan.connection, plan.set_crtc, std::size_t(plan.set_crtc_words) * 4))
    next_reply(plan.connection, reply);
}

// The guardian's whole life: system calls only (it was forked from a
// program whose other threads may hold any lock).
[[noreturn]] void guard(Plan& plan, int program_fd) {
  sys(SYS_setsid);
  sys(SYS_prctl, PR_SET_NAME, long(plan.name));
  // The program's handlers and blocked signals are not the guardian's; a
  // write to a server that went away must fail, not kill it.
  struct {
    long handler;
    unsigned long flags;
    long restorer;
    unsigned long mask;
  } action{};
  for (int s = 1; s < 32; ++s) {
    action.handler = reinterpret_cast<long>(s == SIGPIPE ? SIG_IGN : SIG_DFL);
    if (s != SIGKILL && s != SIGSTOP) sys(SYS_rt_sigaction, s, long(&action), 0, 8);
  }
  const unsigned long no_signals = 0;
  sys(SYS_rt_sigprocmask, SIG_SETMASK, long(&no_signals), 0, 8);
  // Keep the connection, the pipe and the program's process handle only.
  for (int fd = 0; fd < 1024; ++fd)
    if (fd != plan.connection && fd != plan.alert && fd != program_fd) sys(SYS_close, fd);

  pollfd watch[2] = {{plan.alert, POLLIN, 0}, {program_fd, POLLIN, 0}};
  for (;;) {
    if (sys(SYS_poll, long(watch), program_fd >= 0 ? 2 : 1, -1) < 0) continue;
    if (watch[0].revents) {
      char message = 0;
      const long n = sys(SYS_read, plan.alert, long(&message), 1);
      if (n < 0) continue;
      if (n == 1 && message == kRelease) sys(SYS_exit_group, 0);
      if (n == 1 && message != kRestoreNow) continue;
    }
    restore(plan);  // the program asked, went away, or closed the pipe
    sys(SYS_exit_group, 0);
  }
}

}  // namespace

void x11_guard_mode(const std::string& display_name, const X11SavedCrtc& saved) {
  x11_release_mode_guard();
  if (saved.outputs.size() > std::size_t(kMaxOutputs)) return;
  int screen_number = 0;
  xcb_connection_t* connection = xcb_connect(display_name.c_str(), &screen_number);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return;
  }
  Plan plan;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen_number && screens.rem; ++i) xcb_screen_next(&screens);
  xcb_query_extension_reply_t* randr =
      xcb_query_extension_reply(connection, xcb_query_extension(connection, 5, "RANDR"), nullptr);
  const bool usable = randr && randr->present && screens.rem;
  if (usable) {
    plan.randr = randr->major_opcode;
    plan.root = screens.data->root;
  }
  std::free(randr);
  int alert[2];
  if (!usable || pipe2(alert, O_CLOEXEC) != 0) {
    xcb_disconnect(connection);
    return;
  }
  plan.connection = xcb_get_file_descriptor(connection);
  plan.alert = alert[0];
  plan.program = getpid();
  const std::uint32_t words = 7 + std::uint32_t(saved.outputs.size());
  plan.set_crtc[0] = plan.randr | std::uint32_t(kSetCrtcConfig) << 8 | words << 16;
  plan.set_crtc[1] = std::uint32_t(saved.crtc);
  plan.set_crtc[2] = 0;  // now
  plan.set_crtc[4] = std::uint32_t(std::uint16_t(saved.x)) | std::uint32_t(std::uint16_t(saved.y)) << 16;
  plan.set_crtc[5] = std::uint32_t(saved.mode);
  plan.set_crtc[6] = saved.rotation;
  for (std::size_t i = 0; i < saved.outputs.size(); ++i) plan.set_crtc[7 + i] = std::uint32_t(saved.outputs[i]);
  plan.set_crtc_words = int(words);
  // Tests and people find it by the program it watches.
  std::snprintf(plan.name, sizeof plan.name, "qzguard-%d", int(plan.program));

  // Forked twice so that the guardian is nobody's child here; the middle
  // process lives while the program waits for it, so the program's handle
  // it takes refers to this process and no other.
  const pid_t middle = fork();
  if (middle == 0) {
    const int program_fd = int(sys(SYS_pidfd_open, plan.program, 0));
    if (sys(SYS_fork) == 0) guard(plan, program_fd);
    sys(SYS_exit_group, 0);
  }
  close(alert[0]);
  if (middle < 0) {
    close(alert[1]);
    xcb_disconnect(connection);
    return;
  }
  while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
  g_connection = connection;
  g_alert.store(alert[1]);
  set_crash_hook(x11_alert_mode_guardian);
}

void x11_release_mode_guard() {
  const int alert = g_alert.exchange(-1);
  if (alert < 0) return;
  const char message = kRelease;
  (void)!write(alert, &message, 1);
  close(alert);
  // Shuts the shared connection down for the guardian too: it has been told.
  xcb_disconnect(g_connection);
  g_connection = nullptr;
}

void x11_alert_mode_guardian() {
  const int alert = g_alert.load();
  if (alert < 0) return;
  const char message = kRestoreNow;
  (void)!write(alert, &message, 1);
}

}  // namespace qz
