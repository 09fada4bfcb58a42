#include "runtime/last_error.h"

namespace qz {

namespace {
thread_local int t_last_error = 0;
}

int last_error() { return t_last_error; }
void set_last_error(int value) { t_last_error = value; }

}  // namespace qz
