#include "runtime/error_message.h"

#include <cstdio>

#include "runtime/last_error.h"

namespace qz {

namespace {
thread_local char t_message[256] = "";
}  // namespace

void set_error_message(const char* text) {
  std::snprintf(t_message, sizeof t_message, "%s", text ? text : "");
}

const char* error_message() { return t_message; }

void fail_with(const char* text) {
  set_last_error(1);
  set_error_message(text);
}

}  // namespace qz
