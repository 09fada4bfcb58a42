#pragma once

#include <string>
#include <sys/types.h>

// A private Xvfb for the presentation benchmarks: started on a display
// number it picks itself, and ended by its process id (never by name) when
// the object goes; it also dies with this process.
class XvfbServer {
 public:
  // Starts "Xvfb -displayfd ... -screen 0 WxHx24"; throws std::runtime_error
  // when it cannot be started or does not answer within a few seconds.
  XvfbServer(int width, int height);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":N", for DISPLAY.
  const std::string& display_name() const { return display_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
