#include "gfx/raster_screen.h"

namespace qz {

RasterScreen* screen_detail::current = nullptr;

void set_current_screen(RasterScreen* screen) { screen_detail::current = screen; }

}  // namespace qz
