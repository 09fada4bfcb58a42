#include "display/display_driver.h"

namespace qz {

extern const DisplayDriver direct2d_driver;
extern const DisplayDriver directx_driver;
extern const DisplayDriver gdi_driver;
extern const DisplayDriver opengl_driver;

// The Windows back ends in selection order.
namespace {
const DisplayDriver* const kDrivers[] = {&direct2d_driver, &directx_driver, &gdi_driver, &opengl_driver};
}

std::span<const DisplayDriver* const> driver_table() { return kDrivers; }

}  // namespace qz
