#include "runtime/console_hooks.h"

namespace qz {

ConsoleHooks& console_hooks() {
  static ConsoleHooks hooks;
  return hooks;
}

}  // namespace qz
