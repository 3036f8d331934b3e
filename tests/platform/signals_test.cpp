// Stop signals arrive as a call on the watch's thread, once, and the old handling returns.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#include "platform/signals.h"
#include "platform/sync.h"

namespace qrvn::platform {
namespace {

std::atomic<int> oldHandlerCalls{0};
extern "C" void CountingHandler(int) {
  ++oldHandlerCalls;
}

TEST(StopSignalWatch, DeliversTheFirstSignalAndRestoresTheOldHandler) {
  std::signal(SIGTERM, CountingHandler);
  ManualResetEvent called(false);
  std::atomic<int> seen{0};
  {
    StopSignalWatch watch([&](int signal) {
      seen = signal;
      called.Set();
    });
    ASSERT_TRUE(watch.Active());
    StopSignalWatch second([](int) {});
    EXPECT_FALSE(second.Active()) << "one watch owns the signals at a time";

    std::raise(SIGTERM);
    ASSERT_TRUE(called.Wait(5000));
    EXPECT_EQ(seen.load(), SIGTERM);
    EXPECT_EQ(oldHandlerCalls.load(), 0) << "the watch took the first signal";
    std::raise(SIGTERM);  // after the first, the previous handling is back
    EXPECT_EQ(oldHandlerCalls.load(), 1);
  }
  std::raise(SIGTERM);
  EXPECT_EQ(oldHandlerCalls.load(), 2);
  std::signal(SIGTERM, SIG_DFL);
}

TEST(StopSignalWatch, EndsQuietlyWithoutASignal) {
  bool called = false;
  {
    StopSignalWatch watch([&](int) { called = true; });
    EXPECT_TRUE(watch.Active());
  }
  EXPECT_FALSE(called);
  StopSignalWatch again([](int) {});
  EXPECT_TRUE(again.Active()) << "a finished watch hands the signals back";
}

}  // namespace
}  // namespace qrvn::platform
