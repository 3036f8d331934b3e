#include "platform/thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "platform/sync.h"

namespace qrvn::platform {

struct Thread::State {
  std::thread thread;
  ManualResetEvent done{false};
  bool started = false;
};

namespace {

// Best effort: the hint becomes the thread's nice value (on Linux setpriority with a thread
// id applies to that thread only). Raising is refused without privilege, which is fine.
void ApplyPriority(ThreadPriority priority) {
  int nice = 0;
  switch (priority) {
    case ThreadPriority::Lowest:
      nice = 10;
      break;
    case ThreadPriority::BelowNormal:
      nice = 5;
      break;
    case ThreadPriority::Normal:
      return;
    case ThreadPriority::AboveNormal:
      nice = -5;
      break;
    case ThreadPriority::Highest:
      nice = -10;
      break;
    case ThreadPriority::TimeCritical:
      nice = -15;
      break;
  }
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() {
  if (state_ && state_->thread.joinable()) state_->thread.join();
}

Thread::Thread(Thread&&) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    if (state_ && state_->thread.joinable()) state_->thread.join();
    state_ = std::move(other.state_);
  }
  return *this;
}

bool Thread::Start(std::function<void()> body, ThreadPriority priority) {
  if (state_ && state_->thread.joinable()) return false;
  auto state = std::make_shared<State>();
  try {
    state->thread = std::thread([state, body = std::move(body), priority] {
      ApplyPriority(priority);
      body();
      state->done.Set();
    });
  } catch (const std::system_error&) {
    return false;
  }
  state->started = true;
  state_ = std::move(state);
  return true;
}

bool Thread::IsRunning() const {
  return state_ && state_->started && !state_->done.IsSet();
}

bool Thread::Join(uint32_t timeoutMs) {
  if (!state_ || !state_->thread.joinable()) return true;
  if (!state_->done.Wait(timeoutMs)) return false;
  state_->thread.join();
  return true;
}

void Thread::Detach() {
  if (state_ && state_->thread.joinable()) state_->thread.detach();
}

bool StartDetachedThread(std::function<void()> body, ThreadPriority priority) {
  Thread thread;
  if (!thread.Start(std::move(body), priority)) return false;
  thread.Detach();
  return true;
}

}  // namespace qrvn::platform
