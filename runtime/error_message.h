#pragma once

// The calling thread's text about its last failure, for qz_error_message.
// Operations that fail with a reason worth telling set it beside the
// last-error number; a success leaves it as it is.

#include <cstddef>
#include <string>
#include <string_view>

namespace qz {

// Copies the text (cut to 255 bytes); null clears it.
void set_error_message(const char* text);
// The calling thread's text, "" when none was set.
const char* error_message();
// set_last_error(1) and the text together: the common way to fail.
void fail_with(const char* text);

// Outside text (a file name) made fit to go into a message that stays one
// line: control bytes become \n, \r, \t or \xNN. Text longer than `limit`
// bytes loses its middle to "...", so that the reason after it still fits.
std::string one_line(std::string_view text, std::size_t limit = 120);

}  // namespace qz
