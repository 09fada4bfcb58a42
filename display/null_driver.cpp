#include "display/display_driver.h"
#include "display/vsync.h"

namespace qz {

// No window and no presentation thread: nothing to exclude, so the lock
// slots are empty (the screen lock skips them, which every primitive on a
// window-less screen saves) and every window operation is unsupported. The
// frame wait still paces: a program animating without a window would
// otherwise spin at full speed.
namespace {
void wait_one_frame() { sleep_one_frame(60); }
}  // namespace

const DisplayDriver null_driver = {
    "Null", nullptr, nullptr, nullptr, nullptr, nullptr, wait_one_frame,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace qz
