#pragma once

namespace qz {

// Graphics operations report success (0) or failure (1) through a per-thread
// number instead of return values, so callers that do not care need not look.
int last_error();
void set_last_error(int value);

}  // namespace qz
