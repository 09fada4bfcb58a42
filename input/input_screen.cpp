#include "input/input_screen.h"

namespace qz {

namespace {
InputScreen* g_current = nullptr;
}

InputScreen* current_input() { return g_current; }

void set_current_input(InputScreen* screen) { g_current = screen; }

void poll_input_events() {
  if (g_current && g_current->poll_events) g_current->poll_events();
}

const char* input_unavailable_reason() {
  if (!g_current) return "no screen is open";
  return g_current->unavailable_reason ? g_current->unavailable_reason() : nullptr;
}

}  // namespace qz
