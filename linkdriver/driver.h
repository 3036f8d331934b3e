// The driver-wide state: the table of 16 link instances, the monitor area, the trace log's
// shared limit, and the operations behind the seven exported functions.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "linkdriver/link.h"
#include "linkdriver/monitor.h"
#include "linkdriver/monitor_layout.h"
#include "linkdriver/port.h"
#include "linkdriver/trace_log.h"
#include "platform/sync.h"

namespace qrvn::linkdriver {

inline constexpr uint32_t kMaxLinks = 16;
inline constexpr const char* kVersionText = "Build 0040 2003.01.20";

struct DriverOptions {
  std::string monitorName = monitor::kAreaName;
  std::string monitorMutexName = monitor::kMutexName;
  PortOpener openPort = OpenSerialPort;
};

class Driver {
 public:
  // Sets up the monitor area (a failure only switches monitoring off).
  explicit Driver(DriverOptions options = {});
  // Disconnects every link still connected.
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Connects a provider instance: 0 with *linkHandle set, -1 failure, -2 bad slot, -3 no
  // free link or the provider is connected already.
  int32_t Connect(uint32_t* linkHandle, uint32_t permanentProviderId, uint32_t providerSlot,
                  ReceiveCallback onReceive, StatusCallback onStatus);
  // Stops a link and frees it; 0 always.
  int32_t DisConnect(uint32_t linkHandle);
  // Sends a message that expects no reply: its length, or a negative error.
  int32_t SendData(uint32_t linkHandle, const uint8_t* message, int32_t length);
  // Sends a request and waits for its reply: the reply length, or a negative error.
  int32_t DataComm(uint32_t linkHandle, const uint8_t* request, int32_t length, uint8_t* reply,
                   int32_t replySize);
  // Publishes the provider's memory-pool block count in the monitor area.
  void SetAllocCount(uint32_t count);
  // Publishes the provider's event queue length in the monitor area.
  void SetQueCount(uint32_t count);
  // True while the link of a handle is blocked (false for a handle not in use).
  bool Blocked(uint32_t linkHandle);
  // True when the monitor area could be set up.
  bool Monitoring() const { return monitor_ != nullptr; }

 private:
  std::shared_ptr<Link> Find(uint32_t linkHandle);

  struct Slot {
    bool inUse = false;
    uint32_t owner = 0;
    std::shared_ptr<Link> link;
  };

  DriverOptions options_;
  platform::BinarySemaphore connectLock_;
  std::mutex tableMutex_;
  std::array<Slot, kMaxLinks> slots_;
  uint32_t inUse_ = 0;
  std::unique_ptr<MonitorArea> monitor_;
  TraceShared trace_;
};

// Writes the driver's version text with its NUL (22 bytes); 1, or 0 for a null buffer.
int32_t WriteVersion(char* text);

}  // namespace qrvn::linkdriver
