// Receive and status callbacks for the link driver tests: they record what the driver
// reports, and the tests wait (bounded, in real time) for it.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qrvn::testing {

class CallbackLog {
 public:
  static CallbackLog& Get() {
    static CallbackLog log;
    return log;
  }
  void Reset(int32_t receiveResult = 1) {
    std::lock_guard lock(mutex_);
    events_.clear();
    statuses_.clear();
    slots_.clear();
    receiveResult_ = receiveResult;
  }
  std::vector<std::vector<uint8_t>> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<int32_t> Statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }
  std::vector<uint32_t> Slots() {
    std::lock_guard lock(mutex_);
    return slots_;
  }
  bool WaitEvents(size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kLimit, [&] { return events_.size() >= count; });
  }
  bool WaitStatus(int32_t code) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kLimit, [&] {
      return std::find(statuses_.begin(), statuses_.end(), code) != statuses_.end();
    });
  }
  bool WaitAnyStatus() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kLimit, [&] { return !statuses_.empty(); });
  }

  static int32_t OnReceive(uint32_t slot, const uint8_t* message, int32_t length) {
    CallbackLog& log = Get();
    std::lock_guard lock(log.mutex_);
    log.events_.emplace_back(message, message + length);
    log.slots_.push_back(slot);
    log.cv_.notify_all();
    return log.receiveResult_;
  }
  static int32_t OnStatus(uint32_t slot, int32_t code, int32_t) {
    CallbackLog& log = Get();
    std::lock_guard lock(log.mutex_);
    log.statuses_.push_back(code);
    log.slots_.push_back(slot);
    log.cv_.notify_all();
    return 1;
  }

 private:
  static constexpr std::chrono::seconds kLimit{10};
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::vector<uint8_t>> events_;
  std::vector<int32_t> statuses_;
  std::vector<uint32_t> slots_;
  int32_t receiveResult_ = 1;
};

}  // namespace qrvn::testing
