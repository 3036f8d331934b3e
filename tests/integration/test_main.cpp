// Runs the end-to-end tests with the process clock sped up, so that the link driver's line
// resets and start-up drain take milliseconds.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QRVN_TIME_SCALE", "20", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
