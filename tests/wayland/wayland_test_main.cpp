// The Wayland tests start their own headless weston; without it they are skipped as a whole.

#include <gtest/gtest.h>

#include <cstdio>

#include "runtime/runtime.h"
#include "tests/x11/x11_test_support.h"

int main(int argc, char** argv) {
  if (!program_available("weston")) {
    std::printf("weston is not installed: Wayland tests skipped\n");
    return kSkipReturnCode;
  }
  qz::runtime_init(argc, argv, 0);  // as the program does
  prepare_test_process();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
