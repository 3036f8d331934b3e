// The process clock: every tick count, sleep and timed wait of the system goes through it,
// so that QRVN_TIME_SCALE can speed time up and unit tests can drive a manual clock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace qrvn::platform {

// A time-out meaning "wait for ever", as the system's waits spell it.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, never going backwards.
  virtual uint64_t NowMs() = 0;
  // Blocks the calling thread for ms clock milliseconds.
  virtual void SleepMs(uint32_t ms) = 0;
  // Waits on cv (lock held) until ready() or the clock passes deadlineMs; returns ready().
  virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         uint64_t deadlineMs, const std::function<bool()>& ready) = 0;
};

// The clock in use by the whole process (the scaled real clock unless a test installed one).
Clock& CurrentClock();
// Installs clock as the process clock (nullptr restores the real clock); for tests.
void SetCurrentClock(Clock* clock);

// The 32-bit millisecond tick count of the process clock; wraps after 49.7 days.
uint32_t TickCount();
// Milliseconds from an earlier tick count to a later one, correct across the wrap.
inline uint32_t TicksSince(uint32_t earlier, uint32_t later) {
  return later - earlier;
}
// Sleeps ms milliseconds of the process clock.
void SleepMs(uint32_t ms);
// The speed-up factor read from QRVN_TIME_SCALE (1 when unset or not a positive number).
double TimeScale();

// Real time, sped up by QRVN_TIME_SCALE.
class RealClock final : public Clock {
 public:
  explicit RealClock(double scale);
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 uint64_t deadlineMs, const std::function<bool()>& ready) override;

 private:
  double scale_;
  int64_t startNs_;
};

// A clock that moves only when a test advances it; waits wake on every advance.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint64_t startMs = 0) : nowMs_(startMs) {}
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 uint64_t deadlineMs, const std::function<bool()>& ready) override;
  // Moves time forward and wakes every waiter so that it checks its deadline.
  void Advance(uint64_t ms);
  // Number of threads currently sleeping or waiting with a deadline on this clock.
  int Waiters();

 private:
  struct Waiter {
    std::mutex* mutex;
    std::condition_variable* cv;
  };
  std::mutex mutex_;  // guards waiters_; never taken while a waiter's lock is held
  std::condition_variable sleepCv_;
  std::atomic<uint64_t> nowMs_;
  std::vector<Waiter> waiters_;
};

// Installs a clock for the lifetime of the guard (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) { SetCurrentClock(&clock); }
  ~ScopedClock() { SetCurrentClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

// Local wall-clock time with milliseconds (not scaled: it stamps log lines).
struct LocalTime {
  int year;
  int month;  // 1..12
  int day;    // 1..31
  int hour;
  int minute;
  int second;
  int millisecond;
  int dayOfWeek;  // 0 = Sunday
};
// The local time now.
LocalTime LocalNow();

}  // namespace qrvn::platform
