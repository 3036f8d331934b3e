// Faults inside a guarded body end the body, not the process, and report where they happened.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include "platform/fault_guard.h"

namespace qrvn::platform {
namespace {

// Through a volatile pointer, so that the compiler keeps the bad access.
volatile int* volatile nowhere = nullptr;

TEST(FaultGuard, BadAccessEndsTheBodyAndTheThreadGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reports the fault itself";
#endif
  FaultContext fault;
  int reached = 0;
  for (int round = 0; round < 3; ++round) {  // the guard works again after a fault
    EXPECT_FALSE(RunGuarded(
        [&] {
          ++reached;
          *nowhere = 1;
          reached = 100;
        },
        &fault));
    EXPECT_EQ(fault.signal, SIGSEGV);
  }
  EXPECT_EQ(reached, 3);
#if defined(__x86_64__)
  EXPECT_NE(fault.registers[6], 0u) << "the instruction pointer is reported";
  EXPECT_GT(fault.codeBytes, 0u) << "the faulting code is readable";
#endif
  EXPECT_TRUE(RunGuarded([] {}, &fault));
}

TEST(FaultGuard, NestedGuardsAndExceptionsPassThrough) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reports the fault itself";
#endif
  FaultContext outer;
  FaultContext inner;
  bool innerFaulted = false;
  EXPECT_TRUE(
      RunGuarded([&] { innerFaulted = !RunGuarded([] { *nowhere = 2; }, &inner); }, &outer));
  EXPECT_TRUE(innerFaulted);
  EXPECT_THROW(RunGuarded([] { throw std::runtime_error("not a fault"); }, &outer),
               std::runtime_error);
  EXPECT_FALSE(RunGuarded([] { *nowhere = 3; }, &outer)) << "the guard works again after an exception";
}

}  // namespace
}  // namespace qrvn::platform
