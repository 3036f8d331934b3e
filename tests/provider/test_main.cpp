// Test main of the provider tests: time runs fast, so that the unload wait and the 10 ms
// polls of the provider cost nothing.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QRVN_TIME_SCALE", "1000", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
