// The stop signals of a process (interrupt, terminate) delivered as a call on an ordinary
// thread, so that a program shuts down on its own terms and never inside a signal handler.
#pragma once

#include <functional>
#include <memory>

namespace qrvn::platform {

class StopSignalWatch {
 public:
  // While the watch lives, the first interrupt or terminate signal restores the previous
  // handling (so that a second one acts as before) and calls onSignal(signal number) on the
  // watch's own thread. One watch owns the signals at a time; a second is inactive.
  explicit StopSignalWatch(std::function<void(int)> onSignal);
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

  // False when another watch already owned the signals or the watch could not be set up.
  bool Active() const { return impl_ != nullptr; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qrvn::platform
