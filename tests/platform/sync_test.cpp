// Semaphores, events, threads and the clocks they wait on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace qrvn::platform {
namespace {

// Waits (real time, at most five seconds) until `done` holds.
template <typename Done>
bool WaitUntilDone(Done done) {
  for (int i = 0; i < 25000 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return done();
}

TEST(TickCount, WrapsAndDifferencesSurviveTheWrap) {
  ManualClock clock(0xFFFFFFF0ull);
  ScopedClock installed(clock);
  const uint32_t before = TickCount();
  EXPECT_EQ(before, 0xFFFFFFF0u);
  clock.Advance(0x20);
  const uint32_t after = TickCount();
  EXPECT_EQ(after, 0x10u);
  EXPECT_EQ(TicksSince(before, after), 0x20u);
}

TEST(BinarySemaphore, HasMaximumCountOne) {
  BinarySemaphore semaphore(true);
  EXPECT_FALSE(semaphore.Release()) << "a second release must not raise the count above one";
  EXPECT_TRUE(semaphore.Wait(0));
  EXPECT_FALSE(semaphore.Wait(0)) << "only one holder at a time";
  EXPECT_TRUE(semaphore.Release());
  EXPECT_TRUE(semaphore.Wait(0));
}

TEST(BinarySemaphore, TimedWaitEndsAtItsDeadlineOnTheManualClock) {
  ManualClock clock(5000);
  ScopedClock installed(clock);
  BinarySemaphore semaphore(false);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = semaphore.Wait(300) ? 1 : 0; });
  // Nothing happens while the clock stands still, however long real time runs.
  while (clock.Waiters() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(result.load(), -1);
  clock.Advance(299);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(result.load(), -1) << "woke before its time-out";
  clock.Advance(1);  // the deadline: the waiter gives up without any further advance
  EXPECT_TRUE(WaitUntilDone([&] { return result.load() != -1; }));
  waiter.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(clock.NowMs(), 5300u);
}

TEST(BinarySemaphore, ReleaseWakesAWaiterBeforeItsDeadline) {
  ManualClock clock;
  ScopedClock installed(clock);
  BinarySemaphore semaphore(false);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = semaphore.Wait(1000) ? 1 : 0; });
  while (clock.Waiters() == 0) std::this_thread::yield();
  semaphore.Release();
  waiter.join();
  EXPECT_EQ(result.load(), 1);
}

TEST(BinarySemaphore, GuardsACounterAcrossThreads) {
  BinarySemaphore semaphore(true);
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        SemaphoreLock lock(semaphore);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
  ManualResetEvent event(false);
  EXPECT_FALSE(event.Wait(0));
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait()) ++woken;
    });
  }
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_TRUE(event.Wait(0)) << "a manual-reset event stays set";
  event.Reset();
  EXPECT_FALSE(event.IsSet());
}

TEST(ManualResetEvent, TimedWaitEndsAtItsDeadlineOnTheManualClock) {
  ManualClock clock;
  ScopedClock installed(clock);
  ManualResetEvent event(false);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = event.Wait(4000) ? 1 : 0; });
  while (clock.Waiters() == 0) std::this_thread::yield();
  clock.Advance(3999);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(result.load(), -1);
  clock.Advance(1);
  EXPECT_TRUE(WaitUntilDone([&] { return result.load() != -1; }));
  waiter.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(clock.NowMs(), 4000u);
}

TEST(ManualClock, SleepReturnsOnlyWhenTimeHasPassed) {
  ManualClock clock(100);
  ScopedClock installed(clock);
  std::atomic<bool> awake{false};
  std::thread sleeper([&] {
    SleepMs(50);
    awake = true;
  });
  while (clock.Waiters() == 0) std::this_thread::yield();
  clock.Advance(49);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(awake.load());
  clock.Advance(1);
  sleeper.join();
  EXPECT_TRUE(awake.load());
}

TEST(RealClock, ScaleMakesTimeRunFaster) {
  RealClock fast(1000.0);
  const uint64_t start = fast.NowMs();
  fast.SleepMs(2000);  // two clock seconds take two real milliseconds
  EXPECT_GE(fast.NowMs() - start, 2000u);
  std::mutex mutex;
  std::condition_variable cv;
  std::unique_lock lock(mutex);
  const uint64_t deadline = fast.NowMs() + 3000;
  EXPECT_FALSE(fast.WaitUntil(lock, cv, deadline, [] { return false; }));
  EXPECT_GE(fast.NowMs(), deadline);
}

TEST(Thread, JoinWithTimeOutAndRunningState) {
  ManualResetEvent release(false);
  Thread thread;
  ASSERT_TRUE(thread.Start([&] { release.Wait(); }, ThreadPriority::BelowNormal));
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_FALSE(thread.Start([] {})) << "one body per thread object";
  EXPECT_FALSE(thread.Join(0));
  release.Set();
  EXPECT_TRUE(thread.Join());
  EXPECT_FALSE(thread.IsRunning());
}

TEST(Thread, DetachedThreadRunsToTheEnd) {
  // Shared, because the detached thread may still be inside Set() when the test returns.
  auto ran = std::make_shared<ManualResetEvent>(false);
  ASSERT_TRUE(StartDetachedThread([ran] { ran->Set(); }, ThreadPriority::AboveNormal));
  EXPECT_TRUE(ran->Wait(kInfinite));
}

TEST(LocalTime, FieldsAreInRange) {
  const LocalTime now = LocalNow();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LT(now.hour, 24);
  EXPECT_LT(now.minute, 60);
  EXPECT_LT(now.second, 61);
  EXPECT_LT(now.millisecond, 1000);
}

}  // namespace
}  // namespace qrvn::platform
