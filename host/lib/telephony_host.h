// The telephony host: loads telephony service providers the way the Windows telephony service
// does, gives them device IDs and handles, receives their events and completions, and shuts
// them down. One host runs in a process at a time (provider callbacks carry no context, so the
// running host is process-wide, as the telephony service is).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/lib/provider_list.h"
#include "platform/module.h"
#include "platform/thread.h"
#include "tapi/tspi.h"

namespace qrvn::host {

// The entry points of a loaded provider; a missing one is null.
struct TspiTable {
#define QRVN_HOST_TSPI_MEMBER(name) PFN_##name name = nullptr;
  QRVN_TSPI_FUNCTIONS(QRVN_HOST_TSPI_MEMBER)
#undef QRVN_HOST_TSPI_MEMBER
};

// One provider the host tried to start, and how that went.
struct ProviderStatus {
  ProviderEntry entry;
  LONG result = 0;        // 0, or the failing entry point's LINEERR_ code
  std::string error;      // what failed, for people ("TSPI_providerInit failed: ...")
  uint32_t lineBase = 0;  // first device ID
  uint32_t numLines = 0;  // lines it serves (0 when it failed)
  DWORD tspiVersion = 0;  // negotiated TSPI version
};

// An event as the host delivers it: device and host call identify line and call.
struct HostEvent {
  static constexpr uint32_t kNoDevice = 0xFFFFFFFFu;
  uint32_t deviceId = kNoDevice;
  HTAPICALL call = nullptr;   // the host's call handle, or null
  HDRVCALL hdCall = nullptr;  // the provider's call handle, or null
  DWORD message = 0;
  DWORD_PTR param1 = 0;
  DWORD_PTR param2 = 0;
  DWORD_PTR param3 = 0;
};

class TelephonyHost {
 public:
  using EventHandler = std::function<void(const HostEvent&)>;

  // onEvent runs on the host's own dispatch thread, one event at a time, in arrival order;
  // it may call back into the host.
  explicit TelephonyHost(EventHandler onEvent = {});
  ~TelephonyHost();
  TelephonyHost(const TelephonyHost&) = delete;
  TelephonyHost& operator=(const TelephonyHost&) = delete;

  // Starts every provider of the registry list in order, with consecutive device ID bases. A
  // provider that fails is reported and skipped; the others still start.
  std::vector<ProviderStatus> Start();
  // Loads and initialises one provider module after those already running.
  ProviderStatus StartProvider(const ProviderEntry& entry);
  // Closes open lines, shuts every provider down and unloads it; safe to call again.
  void Shutdown();

  // Number of line devices of all running providers.
  uint32_t LineCount() const;
  // The entry points of the provider serving deviceId, or null.
  const TspiTable* ProviderOf(uint32_t deviceId) const;
  // The TSPI version negotiated for deviceId (0 when no provider serves it).
  DWORD LineVersion(uint32_t deviceId) const;

  // Opens a line with the host's line handle and event callback.
  LONG OpenLine(uint32_t deviceId);
  // Closes an open line.
  LONG CloseLine(uint32_t deviceId);
  // The provider's handle of an open line, or null.
  HDRVLINE DriverLine(uint32_t deviceId) const;

  // Calls a query that fills a TAPI structure, growing the buffer to the dwNeededSize the
  // provider asks for; query(buffer) gets a zeroed buffer with dwTotalSize set.
  LONG QueryStructure(const std::function<LONG(void*)>& query, std::vector<uint8_t>& buffer,
                      size_t initialSize = 1024);

  // A fresh request ID for an asynchronous request.
  DRV_REQUESTID NewRequest();
  // Waits up to timeoutMs for the completion of request id; false on time-out.
  bool WaitForReply(DRV_REQUESTID id, uint32_t timeoutMs, LONG& result);

 private:
  struct Provider;
  struct Line;
  struct Call;
  struct Pending {
    bool done = false;
    LONG result = 0;
  };

  static void LineEventThunk(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                             DWORD_PTR p2, DWORD_PTR p3);
  static void LineCreateThunk(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                              DWORD_PTR p2, DWORD_PTR p3);
  static void CompletionThunk(DRV_REQUESTID id, LONG result);

  void OnLineEvent(Line* line, HTAPICALL htCall, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                   DWORD_PTR p3);
  void OnCompletion(DRV_REQUESTID id, LONG result);
  void Enqueue(HostEvent event);
  void DispatchLoop();
  void ForgetCall(Call* call);
  Line* FindLine(uint32_t deviceId) const;

  EventHandler onEvent_;
  mutable std::mutex mutex_;  // providers_, lines_, calls_, pending_, queue_
  std::condition_variable cv_;
  std::vector<std::unique_ptr<Provider>> providers_;
  std::vector<std::unique_ptr<Line>> lines_;  // index = device ID
  std::map<Call*, std::unique_ptr<Call>> calls_;
  std::map<DRV_REQUESTID, Pending> pending_;
  DRV_REQUESTID nextRequest_ = 1;
  std::deque<HostEvent> queue_;
  bool stopping_ = false;
  platform::Thread dispatcher_;
};

}  // namespace qrvn::host
