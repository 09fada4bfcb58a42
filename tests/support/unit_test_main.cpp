// The unit tests run as the program does: opted in to the runtime's
// start-up (rounding, locale, termination handlers).

#include <gtest/gtest.h>

#include "runtime/runtime.h"

int main(int argc, char** argv) {
  qz::runtime_init(argc, argv, 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
