#include "display/display_driver.h"

namespace qz {

// No window and no presentation thread: nothing to exclude, so the lock is
// empty and every other operation is unsupported.
namespace {
void no_lock() {}
}  // namespace

const DisplayDriver null_driver = {
    "Null", nullptr, nullptr, no_lock, no_lock, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace qz
