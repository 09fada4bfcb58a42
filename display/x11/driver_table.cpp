#include "display/display_driver.h"
#include "display/opengl/opengl_driver.h"
#include "display/x11/x11_driver.h"

namespace qz {

namespace {
constexpr const DisplayDriver* kLinuxDrivers[] = {&x11_driver, &opengl_driver};
}  // namespace

// The Linux back ends in selection order.
std::span<const DisplayDriver* const> driver_table() { return kLinuxDrivers; }

}  // namespace qz
