#include "linkdriver/monitor.h"

#include <atomic>
#include <cstring>

#include "linkdriver/monitor_layout.h"

namespace qrvn::linkdriver {
namespace {

// Waiting longer than this for another process's set-up means it died holding the mutex.
constexpr uint32_t kMutexWaitMs = 2000;

}  // namespace

std::unique_ptr<MonitorArea> MonitorArea::Open(const std::string& areaName,
                                               const std::string& mutexName) {
  auto mutex = platform::NamedMutex::Open(mutexName);
  bool locked = mutex && mutex->Lock(kMutexWaitMs);
  bool created = false;
  auto area = platform::SharedArea::Open(areaName, monitor::kAreaSize, true, false, &created);
  if (area && created) std::memset(area->Data(), 0, monitor::kClearedBytes);
  if (locked) mutex->Unlock();
  if (!area || area->Size() < monitor::kAreaSize) return nullptr;
  return std::unique_ptr<MonitorArea>(new MonitorArea(std::move(area)));
}

void MonitorArea::Store16(Column column, uint32_t port, bool on) {
  if (port < monitor::kFirstPort || port > monitor::kLastPort) return;
  static constexpr size_t kBases[] = {monitor::kPortOpenBase, monitor::kModemLinesBase,
                                      monitor::kDsrBase, monitor::kReceiveBase, monitor::kSendBase};
  auto* entry =
      reinterpret_cast<uint16_t*>(area_->Data() + monitor::PortEntry(kBases[column], port));
  std::atomic_ref<uint16_t>(*entry).store(on ? 1 : 0, std::memory_order_relaxed);
}

void MonitorArea::Store32(Counter counter, uint32_t value) {
  size_t offset = counter == kAlloc ? monitor::kAllocCountOffset : monitor::kQueCountOffset;
  auto* entry = reinterpret_cast<uint32_t*>(area_->Data() + offset);
  std::atomic_ref<uint32_t>(*entry).store(value, std::memory_order_relaxed);
}

}  // namespace qrvn::linkdriver
