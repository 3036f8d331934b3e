#include "platform/sync.h"

namespace qrvn::platform {
namespace {

// Waits on cv until ready() or timeoutMs of the process clock have passed.
bool TimedWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs,
               const std::function<bool()>& ready) {
  if (ready()) return true;
  if (timeoutMs == kInfinite) {
    cv.wait(lock, ready);
    return true;
  }
  if (timeoutMs == 0) return false;
  Clock& clock = CurrentClock();
  return clock.WaitUntil(lock, cv, clock.NowMs() + timeoutMs, ready);
}

}  // namespace

bool BinarySemaphore::Wait(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!TimedWait(lock, cv_, timeoutMs, [this] { return count_ > 0; })) return false;
  count_ = 0;
  return true;
}

bool BinarySemaphore::Release() {
  {
    std::lock_guard guard(mutex_);
    if (count_ > 0) return false;
    count_ = 1;
  }
  cv_.notify_one();
  return true;
}

void ManualResetEvent::Set() {
  std::lock_guard guard(mutex_);
  set_ = true;
  cv_.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard guard(mutex_);
  set_ = false;
}

bool ManualResetEvent::IsSet() {
  std::lock_guard guard(mutex_);
  return set_;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  return TimedWait(lock, cv_, timeoutMs, [this] { return set_; });
}

}  // namespace qrvn::platform
