// Stopping a long-running command (`qrvn monitor`) from another thread or by SIGINT/SIGTERM.
// The platform turns a signal into a call on an ordinary thread, so the command shuts down on
// its own thread and never inside a signal handler.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/sync.h"

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

// While it lives, SIGINT and SIGTERM make a stop request. The previous handling comes back
// when it ends, and as soon as the first signal was seen, so that a second Ctrl+C ends a
// shutdown that hangs.
class StopOnSignals {
 public:
  explicit StopOnSignals(StopRequest& stop)
      : watch_([this, &stop](int signal) {
          signal_.store(signal);
          stop.Request();
        }) {}

  // The signal that made the request, or 0.
  int Signal() const { return signal_.load(); }

 private:
  std::atomic<int> signal_{0};
  platform::StopSignalWatch watch_;
};

}  // namespace qrvn::host
