// The monitor area as the driver writes it: per COM port the open flag, modem lines, DSR,
// receive and send activity, and the provider's two counters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/shared_memory.h"

namespace qrvn::linkdriver {

class MonitorArea {
 public:
  // Opens the named area, creating and clearing it under the named mutex when this process
  // is the first; nullptr when it cannot be had (monitoring is then off).
  static std::unique_ptr<MonitorArea> Open(const std::string& areaName,
                                           const std::string& mutexName);

  // Port entries; ports outside 1..16 are ignored.
  void SetPortOpen(uint32_t port, bool on) { Store16(kPortOpen, port, on); }
  void SetModemLines(uint32_t port, bool on) { Store16(kModemLines, port, on); }
  void SetDsr(uint32_t port, bool on) { Store16(kDsr, port, on); }
  void SetReceive(uint32_t port, bool on) { Store16(kReceive, port, on); }
  void SetSend(uint32_t port, bool on) { Store16(kSend, port, on); }
  // The provider's memory-pool block count.
  void SetAllocCount(uint32_t count) { Store32(kAlloc, count); }
  // The provider's event queue length.
  void SetQueCount(uint32_t count) { Store32(kQue, count); }

 private:
  enum Column { kPortOpen, kModemLines, kDsr, kReceive, kSend };
  enum Counter { kAlloc, kQue };
  explicit MonitorArea(std::unique_ptr<platform::SharedArea> area) : area_(std::move(area)) {}
  void Store16(Column column, uint32_t port, bool on);
  void Store32(Counter counter, uint32_t value);

  std::unique_ptr<platform::SharedArea> area_;
};

// Helpers that do nothing when the area is missing.
inline void MonitorSet(MonitorArea* area, void (MonitorArea::*setter)(uint32_t, bool),
                       uint32_t port, bool on) {
  if (area != nullptr) (area->*setter)(port, on);
}

}  // namespace qrvn::linkdriver
