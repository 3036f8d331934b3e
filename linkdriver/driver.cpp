#include "linkdriver/driver.h"

#include <cstring>

#include "linkdriver/config.h"

namespace qrvn::linkdriver {

Driver::Driver(DriverOptions options) : options_(std::move(options)) {
  monitor_ = MonitorArea::Open(options_.monitorName, options_.monitorMutexName);
}

Driver::~Driver() {
  for (uint32_t handle = 0; handle < kMaxLinks; ++handle) DisConnect(handle);
}

int32_t Driver::Connect(uint32_t* linkHandle, uint32_t permanentProviderId, uint32_t providerSlot,
                        ReceiveCallback onReceive, StatusCallback onStatus) {
  uint32_t handle = kMaxLinks;
  {
    // Only the choice of the index is serialised; links come up side by side.
    platform::SemaphoreLock connecting(connectLock_);
    if (providerSlot >= 16) return -2;
    if (linkHandle == nullptr) return -1;
    std::lock_guard lock(tableMutex_);
    for (uint32_t i = 0; i < kMaxLinks; ++i) {
      if (slots_[i].inUse && slots_[i].owner == permanentProviderId) return -3;
      if (!slots_[i].inUse && handle == kMaxLinks) handle = i;
    }
    if (handle == kMaxLinks) return -3;
    slots_[handle].inUse = true;
    slots_[handle].owner = permanentProviderId;
    ++inUse_;
  }
  LinkConfig config = ReadLinkConfig(permanentProviderId);
  trace_.limitBytes = static_cast<uint64_t>(config.logFileSize) * 1000000u;
  LinkEnvironment environment{monitor_.get(), &trace_, options_.openPort};
  auto link = std::make_shared<Link>(config, environment, providerSlot, onReceive, onStatus);
  if (!link->Start()) {
    link->Stop();
    std::lock_guard lock(tableMutex_);
    slots_[handle] = Slot{};
    --inUse_;
    return -1;
  }
  std::lock_guard lock(tableMutex_);
  slots_[handle].link = std::move(link);
  *linkHandle = handle;
  return 0;
}

int32_t Driver::DisConnect(uint32_t linkHandle) {
  std::shared_ptr<Link> link;
  {
    std::lock_guard lock(tableMutex_);
    if (linkHandle >= kMaxLinks || !slots_[linkHandle].inUse || !slots_[linkHandle].link) {
      return 0;
    }
    // The index stays taken until the link is down; a second DisConnect finds no link.
    link = std::move(slots_[linkHandle].link);
  }
  link->Stop();
  std::lock_guard lock(tableMutex_);
  slots_[linkHandle] = Slot{};
  --inUse_;
  return 0;
}

std::shared_ptr<Link> Driver::Find(uint32_t linkHandle) {
  std::lock_guard lock(tableMutex_);
  if (linkHandle >= kMaxLinks || !slots_[linkHandle].inUse) return nullptr;
  return slots_[linkHandle].link;
}

int32_t Driver::SendData(uint32_t linkHandle, const uint8_t* message, int32_t length) {
  std::shared_ptr<Link> link = Find(linkHandle);
  if (!link) return result::kNotConnected;
  return link->SendData(message, length);
}

int32_t Driver::DataComm(uint32_t linkHandle, const uint8_t* request, int32_t length,
                         uint8_t* reply, int32_t replySize) {
  std::shared_ptr<Link> link = Find(linkHandle);
  if (!link) return result::kNotConnected;
  return link->DataComm(request, length, reply, replySize);
}

bool Driver::Blocked(uint32_t linkHandle) {
  std::shared_ptr<Link> link = Find(linkHandle);
  return link && link->Blocked();
}

void Driver::SetAllocCount(uint32_t count) {
  if (monitor_) monitor_->SetAllocCount(count);
}

void Driver::SetQueCount(uint32_t count) {
  if (monitor_) monitor_->SetQueCount(count);
}

int32_t WriteVersion(char* text) {
  if (text == nullptr) return 0;
  std::memcpy(text, kVersionText, std::strlen(kVersionText) + 1);
  return 1;
}

}  // namespace qrvn::linkdriver
