// Runs the link driver tests with the process clock sped up, so that line resets,
// start-up drains and time-outs take milliseconds.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QRVN_TIME_SCALE", "100", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
