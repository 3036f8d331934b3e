// One provider instance: the configuration of one PBX, its link binding, its session and
// event intake, and the flags that admit one activity at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sync.h"
#include "provider/core/instance_config.h"
#include "provider/core/instance_parts.h"
#include "provider/core/link_binding.h"
#include "provider/core/provider_log.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

// Model names of the PBX types 1..6 ("-----" for any other).
const char* PbxModelName(uint32_t pbxType);

class CVN2448Driver {
 public:
  // Makes a not-open instance for a slot, with its owned parts.
  explicit CVN2448Driver(uint32_t slot);
  // Stops the threads, waits for admitted requests, destroys the parts.
  ~CVN2448Driver();
  CVN2448Driver(const CVN2448Driver&) = delete;
  CVN2448Driver& operator=(const CVN2448Driver&) = delete;

  // Makes an instance inside a memory-pool block; null when memory is short.
  static CVN2448Driver* Create(uint32_t slot);
  // Destroys an instance made by Create and frees its block.
  static void Destroy(CVN2448Driver* instance);

  // Reads the registry, binds the link driver, starts the session and the event threads.
  bool Open(uint32_t permanentProviderId, uint32_t slot, ASYNC_COMPLETION completion);
  // Stops the threads, ends the session, disconnects and unloads the link driver.
  bool Close();
  // True when every owned part was made.
  bool Complete() const;
  // Sends the session's closing message unless a link failure is pending.
  void SendClosingMessage();
  // Sets the number of line devices (and the size of LineOpenFlags).
  void SetLineCount(uint32_t count);
  // A copy of LineOpenFlags, safe against concurrent writers.
  std::vector<uint32_t> LineOpenFlagsSnapshot() const;
  // Sets one line's LineOpenFlags entry (ignored for a line that does not exist); the way to
  // change a flag while the link driver's threads may read them.
  void SetLineOpenFlag(uint32_t lineIndex, uint32_t value);
  // The logging settings of this instance (its DEBUG and size limit).
  LogSettings EventLogSettings() const { return {config.debug, config.logFileSize}; }

  // Configuration, as read at Open (ReadInstanceConfig).
  InstanceConfig config;
  uint32_t slot;
  uint32_t permanentProviderId = 0;
  uint32_t lineDeviceIdBase = 0;
  uint32_t phoneDeviceIdBase = 0;
  uint32_t numberOfLines = 0;
  uint32_t numberOfPhones = 0;
  // One flag per line device; 1 means the line's events are posted.
  std::vector<uint32_t> lineOpenFlags;
  std::atomic<uint32_t> activeRequestCount{0};
  LinkBinding link;
  uint32_t pbxType = 1;
  char romVersion[60] = {};
  uint32_t ctiVersion = 0x10100;
  uint32_t pbxCountry = 0;
  std::atomic<uint32_t> reinitPending{0};
  std::atomic<uint32_t> eventDispatchHold{0};
  std::atomic<uint32_t> providerBusy{0};
  ASYNC_COMPLETION completion = nullptr;
  std::unique_ptr<platform::BinarySemaphore> providerSemaphore;

  std::unique_ptr<DeviceDirectory> directory;
  std::unique_ptr<PbxSession> session;
  std::unique_ptr<NoticeAnalyzer> analyzer;
  std::unique_ptr<ConfigExchange> configExchange;

 private:
  bool LoadLinkDriver();
  bool BindAndStart();
  void Unbind();
  void FailAfterConnect();
};

// One stamped line in the event log of an instance.
inline void WriteEventLog(const CVN2448Driver& instance, std::string_view text) {
  WriteEventLog(instance.EventLogSettings(), text);
}
// Text as given in the event log of an instance.
inline void WriteEventLogRaw(const CVN2448Driver& instance, std::string_view text) {
  WriteEventLogRaw(instance.EventLogSettings(), text);
}

}  // namespace qrvn::provider
