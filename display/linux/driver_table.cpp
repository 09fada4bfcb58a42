#include <array>
#include <cstdlib>

#include "display/display_driver.h"
#include "display/opengl/opengl_driver.h"
#include "display/x11/x11_driver.h"
#if defined(QZ_HAVE_WAYLAND)
#include "display/wayland/wayland_driver.h"
#endif

namespace qz {

namespace {

// The Linux back ends in selection order for a Wayland session.
constexpr const DisplayDriver* kLinuxDrivers[] = {
#if defined(QZ_HAVE_WAYLAND)
    &wayland_driver,
#endif
    &x11_driver,
    &opengl_driver,
};

// Without WAYLAND_DISPLAY the session is X11's: the Wayland entry goes last.
#if defined(QZ_HAVE_WAYLAND)
constexpr std::size_t kWaylandEntries = 1;
#else
constexpr std::size_t kWaylandEntries = 0;
#endif
constexpr auto kWaylandLast = [] {
  std::array<const DisplayDriver*, std::size(kLinuxDrivers)> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = kLinuxDrivers[(i + kWaylandEntries) % order.size()];
  return order;
}();

}  // namespace

std::span<const DisplayDriver* const> driver_table() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) return kLinuxDrivers;
  return kWaylandLast;
}

}  // namespace qz
