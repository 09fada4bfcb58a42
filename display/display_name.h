#pragma once

#include <string>

namespace qz {

// A display or socket name fit for a one-line message: bytes that are not
// printable ASCII as \xNN, and long names cut.
std::string printable_display_name(const std::string& name);

}  // namespace qz
