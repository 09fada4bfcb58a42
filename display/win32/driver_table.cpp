#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver gdi_driver;

// The Windows back ends in selection order.
namespace {
const DisplayDriver* const kDrivers[] = {&gdi_driver};
}

std::span<const DisplayDriver* const> driver_table() { return kDrivers; }

}  // namespace qz
