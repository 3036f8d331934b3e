// Semaphores used as mutexes and manual-reset events, with time-outs on the process clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace qrvn::platform {

// A semaphore whose count is 0 or 1 (maximum count 1), used as a lock that any thread may
// release.
class BinarySemaphore {
 public:
  explicit BinarySemaphore(bool initiallyAvailable = true) : count_(initiallyAvailable ? 1 : 0) {}
  BinarySemaphore(const BinarySemaphore&) = delete;
  BinarySemaphore& operator=(const BinarySemaphore&) = delete;
  // Takes the semaphore, waiting up to timeoutMs (kInfinite: for ever); false on time-out.
  bool Wait(uint32_t timeoutMs = kInfinite);
  // Gives the semaphore back; false (and no change) when it is already available.
  bool Release();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_;
};

// Holds a BinarySemaphore for a scope (waits for ever).
class SemaphoreLock {
 public:
  explicit SemaphoreLock(BinarySemaphore& semaphore) : semaphore_(semaphore) { semaphore_.Wait(); }
  ~SemaphoreLock() { semaphore_.Release(); }
  SemaphoreLock(const SemaphoreLock&) = delete;
  SemaphoreLock& operator=(const SemaphoreLock&) = delete;

 private:
  BinarySemaphore& semaphore_;
};

// An event that stays signalled until it is reset.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;
  // Signals the event and wakes every waiter.
  void Set();
  // Clears the event.
  void Reset();
  // True when the event is signalled now.
  bool IsSet();
  // Waits up to timeoutMs for the event to be signalled; false on time-out.
  bool Wait(uint32_t timeoutMs = kInfinite);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
};

}  // namespace qrvn::platform
