// The Linux driver table's order follows the session: Wayland first when
// WAYLAND_DISPLAY is set, X11 first otherwise, every back end listed in both.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "display/display_driver.h"

#if defined(__linux__)
namespace {

std::string names() {
  std::string out;
  for (const qz::DisplayDriver* driver : qz::driver_table()) out += std::string(driver->name) + " ";
  return out;
}

TEST(LinuxDriverTable, WaylandLeadsOnlyInAWaylandSession) {
  const char* saved = std::getenv("WAYLAND_DISPLAY");
  const std::string restore = saved ? saved : "";
  unsetenv("WAYLAND_DISPLAY");
  const std::string x11_session = names();
  setenv("WAYLAND_DISPLAY", "", 1);
  EXPECT_EQ(names(), x11_session) << "an empty name is no session";
  setenv("WAYLAND_DISPLAY", "wayland-1", 1);
  const std::string wayland_session = names();
#if defined(QZ_HAVE_WAYLAND)
  EXPECT_EQ(x11_session.rfind("X11 ", 0), 0u) << x11_session;
  EXPECT_NE(x11_session.find("Wayland "), std::string::npos) << x11_session;
  EXPECT_EQ(wayland_session.rfind("Wayland X11 ", 0), 0u) << wayland_session;
  EXPECT_EQ(wayland_session.size(), x11_session.size());
#else
  EXPECT_EQ(wayland_session, x11_session);
#endif
  if (saved)
    setenv("WAYLAND_DISPLAY", restore.c_str(), 1);
  else
    unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
#endif
