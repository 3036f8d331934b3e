// Threads with a priority hint and a timed join.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/clock.h"

namespace qrvn::platform {

enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// One thread of execution. The destructor joins a thread that is still running.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(Thread&&) noexcept;
  Thread& operator=(Thread&&) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts body on a new thread; false when no thread can be had (or one is attached already).
  bool Start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
  // True between Start and the end of the body.
  bool IsRunning() const;
  // Waits up to timeoutMs for the body to end; true when it ended (the thread is then joined).
  bool Join(uint32_t timeoutMs = kInfinite);
  // Lets the thread run on alone; it cleans up after itself.
  void Detach();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Starts body on a thread of its own that nobody joins; false when no thread can be had.
bool StartDetachedThread(std::function<void()> body,
                         ThreadPriority priority = ThreadPriority::Normal);

}  // namespace qrvn::platform
