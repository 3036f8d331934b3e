#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <new>
#include <thread>

namespace qrvn::platform {
namespace {

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::atomic<Clock*> installedClock{nullptr};

RealClock& ProcessRealClock() {
  // Never destroyed: module unload hooks and threads still wait on it while the process
  // exits, after the destructors of ordinary statics have run. It lives in static storage, so
  // a module that is unloaded leaves nothing behind on the heap.
  alignas(RealClock) static unsigned char storage[sizeof(RealClock)];
  static RealClock* clock = new (storage) RealClock(TimeScale());
  return *clock;
}

}  // namespace

double TimeScale() {
  static const double scale = [] {
    const char* text = std::getenv("QRVN_TIME_SCALE");
    if (text == nullptr) return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value) || value <= 0) return 1.0;
    return value;
  }();
  return scale;
}

Clock& CurrentClock() {
  Clock* clock = installedClock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : ProcessRealClock();
}

void SetCurrentClock(Clock* clock) {
  installedClock.store(clock, std::memory_order_release);
}

uint32_t TickCount() {
  return static_cast<uint32_t>(CurrentClock().NowMs());
}

void SleepMs(uint32_t ms) {
  CurrentClock().SleepMs(ms);
}

RealClock::RealClock(double scale) : scale_(scale > 0 ? scale : 1.0), startNs_(SteadyNs()) {}

uint64_t RealClock::NowMs() {
  // Starts above zero so that a tick count of 0 never means "not set" by accident, and the
  // 32-bit tick count starts at a small number as it does after a machine boots.
  const double elapsedMs = static_cast<double>(SteadyNs() - startNs_) / 1e6 * scale_;
  return 1000 + static_cast<uint64_t>(elapsedMs);
}

void RealClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(
      std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(ms) * 1e6 / scale_)));
}

bool RealClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          uint64_t deadlineMs, const std::function<bool()>& ready) {
  while (!ready()) {
    const uint64_t now = NowMs();
    if (now >= deadlineMs) return false;
    const double realNs = static_cast<double>(deadlineMs - now) * 1e6 / scale_;
    cv.wait_for(lock, std::chrono::nanoseconds(static_cast<int64_t>(realNs) + 1));
  }
  return true;
}

uint64_t ManualClock::NowMs() {
  return nowMs_.load();
}

void ManualClock::SleepMs(uint32_t ms) {
  std::unique_lock lock(mutex_);
  const uint64_t deadline = nowMs_.load() + ms;
  waiters_.push_back({nullptr, &sleepCv_});
  sleepCv_.wait(lock, [&] { return nowMs_ >= deadline; });
  waiters_.erase(std::find_if(waiters_.begin(), waiters_.end(),
                              [&](const Waiter& w) { return w.cv == &sleepCv_ && !w.mutex; }));
}

bool ManualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                            uint64_t deadlineMs, const std::function<bool()>& ready) {
  // The waiter is registered while its own lock is released, and Advance takes the waiter's
  // lock before notifying: so no advance between the deadline check and the wait is lost, and
  // the two locks are never taken in opposite orders.
  lock.unlock();
  {
    std::lock_guard guard(mutex_);
    waiters_.push_back({lock.mutex(), &cv});
  }
  lock.lock();
  bool result = true;
  while (!ready()) {
    if (NowMs() >= deadlineMs) {
      result = false;
      break;
    }
    cv.wait(lock);
  }
  lock.unlock();
  {
    std::lock_guard guard(mutex_);
    auto it = std::find_if(waiters_.begin(), waiters_.end(),
                           [&](const Waiter& w) { return w.cv == &cv && w.mutex == lock.mutex(); });
    if (it != waiters_.end()) waiters_.erase(it);
  }
  lock.lock();
  return result;
}

void ManualClock::Advance(uint64_t ms) {
  nowMs_ += ms;
  std::lock_guard guard(mutex_);
  sleepCv_.notify_all();
  for (const Waiter& waiter : waiters_) {
    if (waiter.mutex == nullptr) continue;
    std::lock_guard waiterGuard(*waiter.mutex);
    waiter.cv->notify_all();
  }
}

int ManualClock::Waiters() {
  std::lock_guard guard(mutex_);
  return static_cast<int>(waiters_.size());
}

LocalTime LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return LocalTime{parts.tm_year + 1900,
                   parts.tm_mon + 1,
                   parts.tm_mday,
                   parts.tm_hour,
                   parts.tm_min,
                   parts.tm_sec,
                   static_cast<int>(now.tv_nsec / 1000000),
                   parts.tm_wday};
}

}  // namespace qrvn::platform
