// The mode guardian: a small program of its own that the X11 back end starts
// after a fullscreen mode change (x11_mode_guardian.cpp) and that puts the
// desktop's mode back when the program ends without having done so.
//
//   NAME DISPLAY CRTC OURS MODE X Y ROTATION OUTPUT...
//
// NAME (its argv[0]) is the process name it takes; OURS the mode the program set on CRTC;
// MODE X Y ROTATION OUTPUT... the desktop's setting, used when the display
// keeps no record of it (x11_mode_record.h). Descriptor 3 is a socket to
// the program: the guardian answers "ok" or a one-line reason for giving up,
// then reads 'D' (the program put the mode back: end) or 'R' (restore now: a
// crash); its end of file (the program gone, however) means restore too.
// Where the system has process descriptors, the program's end is watched
// as well: children the program forked without executing hold the socket
// open after it has gone.
//
// It leaves the program's session and process group and ignores the
// signals a terminal or a group kill sends, so only its socket ends it.

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/x11/x11_mode_record.h"

namespace {

constexpr int kProgram = 3;  // the socket to the program

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

void tell(const std::string& line) {
  const std::string text = line + "\n";
  (void)!write(kProgram, text.data(), text.size());
}

unsigned long number(const char* text) { return std::strtoul(text, nullptr, 0); }

// A descriptor that becomes readable when the program has ended, or -1.
// Taken while the program waits for this process, so its pid is its own.
int watch_program() {
#if defined(__linux__) && defined(SYS_pidfd_open)
  const pid_t program = getppid();
  const int fd = int(syscall(SYS_pidfd_open, program, 0));
  if (fd >= 0 && getppid() != program) {
    close(fd);
    return -1;
  }
  return fd;
#else
  return -1;
#endif
}

// Every descriptor but the standard ones and the socket: the program's
// are none of the guardian's business.
void close_inherited() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  closefrom(kProgram + 1);
#else
  const long most = sysconf(_SC_OPEN_MAX);
  for (long fd = kProgram + 1; fd < (most > 0 ? most : 65536); ++fd) close(int(fd));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  close_inherited();
  if (argc < 8) {
    tell("started without its setting");
    return 2;
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU}) sigaction(s, &ignore, nullptr);

  const int program = watch_program();
  // The program waits for the first process only: the guardian goes on in
  // a child, so it is nobody's child there (no wait of the program sees it).
  const pid_t child = fork();
  if (child < 0) {
    tell(std::string("cannot start a process: ") + std::strerror(errno));
    return 1;
  }
  if (child > 0) return 0;
  setsid();
#if defined(__linux__)
  prctl(PR_SET_NAME, argv[0], 0, 0, 0);
#endif

  qz::X11CrtcSetting desktop;
  desktop.crtc = number(argv[2]);
  const unsigned long ours = number(argv[3]);
  desktop.mode = number(argv[4]);
  desktop.x = std::atoi(argv[5]);
  desktop.y = std::atoi(argv[6]);
  desktop.rotation = static_cast<unsigned short>(number(argv[7]));
  for (int i = 8; i < argc; ++i) desktop.outputs.push_back(number(argv[i]));

  Display* display = XOpenDisplay(argv[1]);
  if (!display) {
    tell(std::string("cannot open display \"") + argv[1] + "\"");
    return 1;
  }
  bool current = false;
  if (!qz::x11_randr_version(display, current)) {
    tell("the display has no RandR 1.2");
    return 1;
  }
  XSetErrorHandler(ignore_x_error);
  const Window root = DefaultRootWindow(display);
  tell("ok");

  pollfd watch[3] = {{kProgram, POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}, {program, POLLIN, 0}};
  for (;;) {
    if (poll(watch, program >= 0 ? 3 : 2, -1) < 0) continue;
    // The server talking (or gone: Xlib then ends the process, with nothing
    // left to put back).
    if (watch[1].revents) XPending(display);
    // The socket first: a program that put the mode back said so before it
    // ended.
    if (!watch[0].revents) {
      if (program >= 0 && watch[2].revents) break;
      continue;
    }
    char message = 0;
    const ssize_t n = read(kProgram, &message, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n == 1 && message == 'D') return 0;
    if (n == 1 && message != 'R') continue;
    break;
  }
  qz::x11_restore_recorded(display, root, current, desktop, ours);
  return 0;
}
