#include "host/lib/stop_request.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace qrvn::host {
namespace {

// How often the watcher looks at the flag the handler sets.
constexpr uint32_t kPollMs = 20;

// Set by the handler, read by the watcher: the process's signal dispositions are process-wide.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

std::mutex installMutex;  // one StopOnSignals at a time owns the handlers
bool handlersOwned = false;
bool handlersInPlace = false;
void (*previousInt)(int) = SIG_DFL;
void (*previousTerm)(int) = SIG_DFL;

extern "C" void OnStopSignal(int signal) {
  caughtSignal.store(signal);
}

}  // namespace

StopOnSignals::StopOnSignals(StopRequest& stop) : stop_(stop) {
  {
    std::lock_guard guard(installMutex);
    if (!handlersOwned) {
      handlersOwned = true;
      installed_ = true;
      handlersInPlace = true;
      caughtSignal.store(0);
      previousInt = std::signal(SIGINT, OnStopSignal);
      previousTerm = std::signal(SIGTERM, OnStopSignal);
    }
  }
  if (!installed_) return;  // an outer StopOnSignals already watches
  watcher_.Start([this] {
    while (!quit_.Wait(kPollMs)) {
      if (caughtSignal.load() != 0) {
        Restore();
        stop_.Request();
        return;
      }
    }
  });
}

StopOnSignals::~StopOnSignals() {
  quit_.Set();
  watcher_.Join();
  Restore();
  std::lock_guard guard(installMutex);
  if (installed_) handlersOwned = false;
}

int StopOnSignals::Signal() const {
  return installed_ ? caughtSignal.load() : 0;
}

void StopOnSignals::Restore() {
  std::lock_guard guard(installMutex);
  if (!installed_ || !handlersInPlace) return;
  handlersInPlace = false;
  std::signal(SIGINT, previousInt == SIG_ERR ? SIG_DFL : previousInt);
  std::signal(SIGTERM, previousTerm == SIG_ERR ? SIG_DFL : previousTerm);
}

}  // namespace qrvn::host
