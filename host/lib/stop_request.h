// Stopping a long-running command (`qrvn monitor`) from another thread or by SIGINT/SIGTERM.
// A signal handler may do almost nothing safely, so it only sets a lock-free flag; a watcher
// thread turns the flag into a StopRequest, and the command shuts down on its own thread.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace qrvn::host {

// A one-way request to stop, made by any thread and awaited by the command.
class StopRequest {
 public:
  // Asks the command to stop; later calls change nothing.
  void Request() { event_.Set(); }
  // True once stopping was asked for.
  bool IsRequested() { return event_.IsSet(); }
  // Waits up to timeoutMs (kInfinite: for ever) for the request; true once it was made.
  bool Wait(uint32_t timeoutMs = platform::kInfinite) { return event_.Wait(timeoutMs); }

 private:
  platform::ManualResetEvent event_;
};

// While it lives, SIGINT and SIGTERM make a stop request. The previous handlers come back when
// it ends, and as soon as the first signal was seen, so that a second Ctrl+C ends a shutdown
// that hangs.
class StopOnSignals {
 public:
  explicit StopOnSignals(StopRequest& stop);
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  // The signal that made the request, or 0.
  int Signal() const;

 private:
  void Restore();

  StopRequest& stop_;
  platform::ManualResetEvent quit_;
  platform::Thread watcher_;
  bool installed_ = false;
};

}  // namespace qrvn::host
