#include "linkdriver/memory_port.h"

#include <algorithm>

#include "platform/clock.h"

namespace qrvn::linkdriver {
namespace {

uint64_t Deadline(uint32_t timeoutMs) {
  if (timeoutMs == platform::kInfinite) return UINT64_MAX;
  return platform::CurrentClock().NowMs() + timeoutMs;
}

}  // namespace

class MemoryPort final : public LinkPort {
 public:
  explicit MemoryPort(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}

  bool Configure(uint32_t baud) override {
    std::lock_guard lock(line_->mutex_);
    return !line_->gone_ &&
           (baud == 1200 || baud == 2400 || baud == 4800 || baud == 9600 || baud == 19200);
  }

  int32_t Read(uint8_t* buffer, size_t size) override {
    std::lock_guard lock(line_->mutex_);
    if (line_->gone_) return -1;
    size_t n = std::min(size, line_->toDriver_.size());
    std::copy_n(line_->toDriver_.begin(), n, buffer);
    line_->toDriver_.erase(line_->toDriver_.begin(), line_->toDriver_.begin() + n);
    return static_cast<int32_t>(n);
  }

  PortWait WaitReadable(uint32_t timeoutMs) override { return Wait(timeoutMs, false, nullptr); }

  void WakeUp() override {
    {
      std::lock_guard lock(line_->mutex_);
      ++line_->wakeUps_;
    }
    line_->cv_.notify_all();
  }

  int32_t Write(const uint8_t* data, size_t size, uint32_t timeoutMs) override {
    std::function<void(std::span<const uint8_t>)> onWrite;
    {
      std::unique_lock lock(line_->mutex_);
      if (line_->gone_) return -1;
      if (line_->stall_) {
        platform::CurrentClock().WaitUntil(lock, line_->cv_, Deadline(timeoutMs),
                                           [&] { return !line_->stall_ || line_->gone_; });
        if (line_->gone_) return -1;
        if (line_->stall_) return 0;
      }
      line_->fromDriver_.insert(line_->fromDriver_.end(), data, data + size);
      onWrite = line_->onWrite_;
    }
    line_->cv_.notify_all();
    if (onWrite) onWrite(std::span<const uint8_t>(data, size));
    return static_cast<int32_t>(size);
  }

  bool Purge() override {
    std::lock_guard lock(line_->mutex_);
    ++line_->purges_;
    line_->toDriver_.clear();
    return !line_->gone_;
  }

  bool Dsr() override {
    std::lock_guard lock(line_->mutex_);
    return line_->dsr_;
  }

  bool SetDtr(bool on) override {
    std::lock_guard lock(line_->mutex_);
    if (!on) ++line_->dtrDrops_;
    line_->dtr_ = on;
    return !line_->gone_;
  }

  bool SetRts(bool on) override {
    std::lock_guard lock(line_->mutex_);
    line_->rts_ = on;
    return !line_->gone_;
  }

  PortWait WaitModemEvent(uint32_t timeoutMs, ModemEvent* event) override {
    return Wait(timeoutMs, true, event);
  }

 private:
  PortWait Wait(uint32_t timeoutMs, bool modem, ModemEvent* event) {
    std::unique_lock lock(line_->mutex_);
    uint64_t wakeUps = line_->wakeUps_;
    auto ready = [&] {
      if (line_->gone_ || line_->wakeUps_ != wakeUps) return true;
      if (modem) return line_->dsrChanged_ || line_->lineErrors_ != 0;
      return !line_->toDriver_.empty();
    };
    bool done = platform::CurrentClock().WaitUntil(lock, line_->cv_, Deadline(timeoutMs), ready);
    if (line_->gone_) return PortWait::Failed;
    if (!done) return PortWait::TimedOut;
    if (modem && (line_->dsrChanged_ || line_->lineErrors_ != 0)) {
      event->dsrChanged = line_->dsrChanged_;
      event->lineErrors = line_->lineErrors_;
      line_->dsrChanged_ = false;
      line_->lineErrors_ = 0;
      return PortWait::Ready;
    }
    if (!modem && !line_->toDriver_.empty()) return PortWait::Ready;
    return PortWait::WokenUp;
  }

  std::shared_ptr<MemoryLine> line_;
};

std::shared_ptr<MemoryLine> MemoryLine::Create() {
  return std::make_shared<MemoryLine>();
}

std::unique_ptr<LinkPort> MemoryLine::OpenPort() {
  return std::make_unique<MemoryPort>(shared_from_this());
}

void MemoryLine::PeerSend(std::span<const uint8_t> bytes) {
  {
    std::lock_guard lock(mutex_);
    toDriver_.insert(toDriver_.end(), bytes.begin(), bytes.end());
  }
  cv_.notify_all();
}

std::vector<uint8_t> MemoryLine::TakeWritten() {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> out;
  out.swap(fromDriver_);
  return out;
}

bool MemoryLine::WaitWritten(size_t count, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  return platform::CurrentClock().WaitUntil(lock, cv_, Deadline(timeoutMs),
                                            [&] { return fromDriver_.size() >= count; });
}

void MemoryLine::SetOnWrite(std::function<void(std::span<const uint8_t>)> onWrite) {
  std::lock_guard lock(mutex_);
  onWrite_ = std::move(onWrite);
}

void MemoryLine::SetDsr(bool on) {
  {
    std::lock_guard lock(mutex_);
    dsrChanged_ = dsr_ != on;
    dsr_ = on;
  }
  cv_.notify_all();
}

void MemoryLine::RaiseLineErrors(uint32_t errors) {
  {
    std::lock_guard lock(mutex_);
    lineErrors_ |= errors;
  }
  cv_.notify_all();
}

void MemoryLine::StallWrites(bool stall) {
  {
    std::lock_guard lock(mutex_);
    stall_ = stall;
  }
  cv_.notify_all();
}

void MemoryLine::Disappear() {
  {
    std::lock_guard lock(mutex_);
    gone_ = true;
  }
  cv_.notify_all();
}

bool MemoryLine::Dtr() {
  std::lock_guard lock(mutex_);
  return dtr_;
}

bool MemoryLine::Rts() {
  std::lock_guard lock(mutex_);
  return rts_;
}

int MemoryLine::DtrDrops() {
  std::lock_guard lock(mutex_);
  return dtrDrops_;
}

int MemoryLine::Purges() {
  std::lock_guard lock(mutex_);
  return purges_;
}

}  // namespace qrvn::linkdriver
