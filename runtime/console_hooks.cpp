#include "runtime/console_hooks.h"

ConsoleHooks& console_hooks() {
  static ConsoleHooks hooks;
  return hooks;
}
