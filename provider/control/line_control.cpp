// TSPI_lineOpen, TSPI_lineClose and TSPI_lineCloseCall: binding a line to the telephony
// service's handle and callback, unbinding it with all its call records, and releasing one
// call record. They take the instance like every request (ProviderBusy under the
// GlobalSemaphore, then the ProviderSemaphore) and answer directly, without LINE_REPLY.
#include <algorithm>
#include <cinttypes>
#include <functional>
#include <memory>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "provider/control/call_release.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"
#include "provider/core/process.h"
#include "provider/core/provider_log.h"
#include "provider/queries/line_lookup.h"
#include "provider/session/device_model.h"
#include "tapi/tspi.h"

namespace qrvn::provider {
namespace {

constexpr uint32_t kAdmissionTimeoutMs = 50000;
constexpr uint32_t kBusyPollMs = 10;
constexpr uint32_t kCloseWaitStepMs = 50;

// Runs under the GlobalSemaphore: the line to admit, or an error.
using LineCheck = std::function<LONG(LineDevice*& line)>;

struct AdmitRules {
  bool slotInUse = false;  // the line's slot must also be marked in use
  bool lineOpen = false;   // the line must be open
};

bool LineIsOpen(const CVN2448Driver& instance, uint32_t lineIndex) {
  std::vector<uint32_t> flags = instance.LineOpenFlagsSnapshot();
  return lineIndex < flags.size() && flags[lineIndex] != 0;
}

// Waits until the line's instance is free and claims it (ProviderBusy, requestCount); the
// semaphore is released on every path.
LONG Admit(const LineCheck& check, AdmitRules rules, LineDevice*& admitted) {
  platform::ManualResetEvent pause;
  for (;;) {
    if (!Process().globalSemaphore.Wait(kAdmissionTimeoutMs)) return LINEERR_OPERATIONFAILED;
    LineDevice* line = nullptr;
    LONG result = check(line);
    if (result == 0) {
      const ProviderSlot* slot = line->providerSlot < kProviderSlots
                                     ? &Process().providerTable[line->providerSlot]
                                     : nullptr;
      if (slot == nullptr || line->instance == nullptr || slot->instance.load() != line->instance ||
          (rules.slotInUse && slot->inUse.load() == 0) ||
          line->instance->providerSemaphore == nullptr) {
        result = LINEERR_OPERATIONFAILED;
      }
    }
    if (result != 0) {
      Process().globalSemaphore.Release();
      return result;
    }
    CVN2448Driver& instance = *line->instance;
    if (instance.providerBusy.load() == 1) {
      Process().globalSemaphore.Release();
      pause.Reset();
      pause.Wait(kBusyPollMs);
      continue;
    }
    if (rules.lineOpen && !LineIsOpen(instance, line->lineIndex)) {
      Process().globalSemaphore.Release();
      return LINEERR_OPERATIONFAILED;
    }
    RequestCount(*line).fetch_add(1);
    instance.providerBusy = 1;
    Process().globalSemaphore.Release();
    admitted = line;
    return 0;
  }
}

// Gives the instance back after an admitted step: requestCount, ProviderSemaphore, ProviderBusy.
void Leave(LineDevice& line) {
  CVN2448Driver& instance = *line.instance;
  RequestCount(line).fetch_sub(1);
  instance.providerSemaphore->Release();
  instance.providerBusy = 0;
}

LONG OpenStep(LineDevice& target, HTAPILINE htLine, LPHDRVLINE lphdLine, LINEEVENT eventProc) {
  LineDevice* line = nullptr;
  LONG admitted = Admit(
      [&target](LineDevice*& out) {
        out = &target;
        return LONG{0};
      },
      {}, line);
  if (admitted != 0) return admitted;
  CVN2448Driver* instance = line->instance;
  instance->providerSemaphore->Wait();
  line->htLine = htLine;
  line->eventProc = eventProc;
  instance->SetLineOpenFlag(line->lineIndex, 1);
  *lphdLine = reinterpret_cast<HDRVLINE>(line);
  Process().outstandingAsyncCount.fetch_add(1);
  // The lock goes to a release thread that frees it just after the open has returned.
  auto running = std::make_shared<platform::ManualResetEvent>();
  bool started = platform::StartDetachedThread([running, line, instance] {
    running->Set();
    platform::SleepMs(1);
    RequestCount(*line).fetch_sub(1);
    Process().outstandingAsyncCount.fetch_sub(1);
    instance->providerSemaphore->Release();
    instance->providerBusy = 0;
  });
  if (!started) {
    Process().outstandingAsyncCount.fetch_sub(1);
    Leave(*line);
    return LINEERR_NOMEM;
  }
  running->Wait();
  return 0;
}

LONG CloseStep(LineDevice& line) {
  if (!LineBlocksPresent(line)) return LINEERR_OPERATIONFAILED;
  // From here on no event of this line reaches the telephony service.
  line.instance->SetLineOpenFlag(line.lineIndex, 0);
  line.eventProc = nullptr;
  const CallReleaseOps ops = CallRelease();
  const uint32_t addresses = std::min<uint32_t>(line.devCaps->dwNumAddresses, 4);
  for (uint32_t i = 0; i < addresses; ++i) {
    AddressRecord* address = line.addressTable[i];
    if (address == nullptr || address->callList == nullptr) continue;
    for (CallRecord* call = ops.firstCall(*address); call != nullptr;) {
      if (IsBadBlock(call, sizeof(CallRecord)) != 0) break;
      CallRecord* next = ops.nextCall(call);
      ops.releaseAtClose(*address, call);
      call = next;
    }
  }
  // Requests still counted on the line finish before the line is given back closed.
  while (RequestCount(line).load() > 1) platform::SleepMs(kCloseWaitStepMs);
  return 0;
}

LONG CloseWorker(HDRVLINE hdLine) {
  LineDevice* line = nullptr;
  LONG admitted = Admit(
      [hdLine](LineDevice*& out) {
        out = CheckedLine(hdLine);
        return out != nullptr && LineBlocksPresent(*out) ? LONG{0} : LINEERR_INVALLINEHANDLE;
      },
      {.slotInUse = true}, line);
  if (admitted != 0) return admitted;
  line->instance->providerSemaphore->Wait();
  LONG result = CloseStep(*line);
  Leave(*line);
  return result;
}

LONG CloseCallWorker(HDRVCALL hdCall) {
  auto* call = reinterpret_cast<CallRecord*>(hdCall);
  LineDevice* line = nullptr;
  LONG admitted = Admit(
      [call](LineDevice*& out) {
        // A stale handle is refused from the pool's table, never followed.
        if (call == nullptr || IsBadBlock(call, sizeof(CallRecord)) != 0)
          return LINEERR_INVALCALLHANDLE;
        out = CallRelease().lineOfCall(call);
        return out != nullptr ? LONG{0} : LINEERR_INVALCALLHANDLE;
      },
      {.slotInUse = true, .lineOpen = true}, line);
  if (admitted != 0) return admitted;
  line->instance->providerSemaphore->Wait();
  LONG result = CallRelease().releaseCall(call);
  Leave(*line);
  return result;
}

// Runs a worker on a thread of its own and waits for it; LINEERR_NOMEM without a thread.
LONG OnWorkerThread(const std::function<LONG()>& worker) {
  LONG result = LINEERR_NOMEM;
  platform::Thread thread;
  if (!thread.Start([&result, &worker] { result = worker(); })) return LINEERR_NOMEM;
  thread.Join();
  return result;
}

}  // namespace
}  // namespace qrvn::provider

using namespace qrvn::provider;

extern "C" {

LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD dwTSPIVersion,
                   LINEEVENT lpfnEventProc) {
  WriteProviderLog(
      LogFormat("TSPI_lineOpen( dwDeviceID=x%x dwTSPIVersion=x%x )", dwDeviceID, dwTSPIVersion));
  if (lpfnEventProc == nullptr || lphdLine == nullptr) return LINEERR_INVALPOINTER;
  if (dwDeviceID == 0xFFFFFFFF) return LINEERR_BADDEVICEID;
  FoundLine found = LineOfDevice(dwDeviceID);
  if (found.line == nullptr) return LINEERR_BADDEVICEID;
  return OpenStep(*found.line, htLine, lphdLine, lpfnEventProc);
}

LONG TSPI_lineClose(HDRVLINE hdLine) {
  return OnWorkerThread([hdLine] { return CloseWorker(hdLine); });
}

LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
  WriteProviderLog(
      LogFormat("TSPI_lineCloseCall( hdCall=x%" PRIxPTR " )", reinterpret_cast<uintptr_t>(hdCall)));
  LONG result = OnWorkerThread([hdCall] { return CloseCallWorker(hdCall); });
  if (result == LINEERR_NOMEM) {
    WriteProviderLog("TSPI_lineCloseCall = LINEERR_NOMEM");
  } else {
    WriteProviderLog(LogFormat("TSPI_lineCloseCall = x%x", static_cast<uint32_t>(result)));
  }
  return result;
}

}  // extern "C"
