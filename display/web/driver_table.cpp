#include "display/display_driver.h"
#include "display/web/web_driver.h"

namespace qz {

namespace {

// The browser has one way of showing the picture: the page's canvas.
constexpr const DisplayDriver* kWebDrivers[] = {&web_driver};

}  // namespace

std::span<const DisplayDriver* const> driver_table() { return kWebDrivers; }

}  // namespace qz
