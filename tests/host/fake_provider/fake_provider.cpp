// A telephony service provider for the host's tests: three lines, events and completions on
// the test's command through the FakeProvider_ exports.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "tapi/tspi.h"

namespace {

constexpr DWORD kLines = 3;
LINEEVENT lineEvent = nullptr;
ASYNC_COMPLETION completion = nullptr;
HTAPILINE htLines[kLines] = {};
DWORD lineBase = 0;
std::atomic<int> shutdowns{0};
std::atomic<int> closedCalls{0};
HDRVCALL lastClosedCall = nullptr;

HDRVLINE DriverLine(DWORD index) {
  return reinterpret_cast<HDRVLINE>(uintptr_t{0x100} + index);
}

}  // namespace

extern "C" {

TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                           DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
  if (dwDeviceID != INITIALIZE_NEGOTIATION && dwDeviceID - lineBase >= kLines) {
    return LINEERR_OPERATIONFAILED;
  }
  if (dwLowVersion > TAPI_VERSION2_1 || dwHighVersion < TAPI_VERSION2_1) {
    return LINEERR_INCOMPATIBLEAPIVERSION;
  }
  *lpdwTSPIVersion = TAPI_VERSION2_1;
  return 0;
}

TSPIAPI LONG TSPI_providerEnumDevices(DWORD, LPDWORD lpdwNumLines, LPDWORD lpdwNumPhones, HPROVIDER,
                                      LINEEVENT, PHONEEVENT) {
  *lpdwNumLines = kLines;
  *lpdwNumPhones = 0;
  return 0;
}

TSPIAPI LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD, DWORD dwLineDeviceIDBase, DWORD,
                               DWORD_PTR dwNumLines, DWORD_PTR, ASYNC_COMPLETION lpfnCompletionProc,
                               LPDWORD lpdwTSPIOptions) {
  if (std::getenv("FAKE_PROVIDER_FAIL_INIT") != nullptr) return LINEERR_OPERATIONFAILED;
  if (dwTSPIVersion < TAPI_VERSION2_1 || dwNumLines != kLines) return LINEERR_OPERATIONFAILED;
  lineBase = dwLineDeviceIDBase;
  completion = lpfnCompletionProc;
  *lpdwTSPIOptions = 0;
  return 0;
}

TSPIAPI LONG TSPI_providerShutdown(DWORD, DWORD) {
  ++shutdowns;
  return 0;
}

TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD,
                           LINEEVENT lpfnEventProc) {
  DWORD index = dwDeviceID - lineBase;
  if (index >= kLines) return LINEERR_BADDEVICEID;
  htLines[index] = htLine;
  lineEvent = lpfnEventProc;
  *lphdLine = DriverLine(index);
  return 0;
}

TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine) {
  for (DWORD i = 0; i < kLines; ++i) {
    if (DriverLine(i) == hdLine) {
      htLines[i] = nullptr;
      return 0;
    }
  }
  return LINEERR_INVALLINEHANDLE;
}

TSPIAPI LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
  lastClosedCall = hdCall;
  ++closedCalls;
  return 0;
}

// Answers 40 bytes of device-specific data after the fixed part, so small buffers get a
// partial answer with dwNeededSize.
TSPIAPI LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD, DWORD, LPLINEDEVCAPS lpLineDevCaps) {
  if (dwDeviceID - lineBase >= kLines) return LINEERR_BADDEVICEID;
  const DWORD needed = sizeof(LINEDEVCAPS) + 40;
  lpLineDevCaps->dwNeededSize = needed;
  if (lpLineDevCaps->dwTotalSize < needed) {
    lpLineDevCaps->dwUsedSize = sizeof(LINEDEVCAPS);
  } else {
    lpLineDevCaps->dwUsedSize = needed;
    lpLineDevCaps->dwDevSpecificSize = 40;
    lpLineDevCaps->dwDevSpecificOffset = sizeof(LINEDEVCAPS);
  }
  lpLineDevCaps->dwPermanentLineID = 0x500 + dwDeviceID - lineBase;
  return 0;
}

// Test control: posts an event on an open line; returns the htCall the host wrote for a
// LINE_NEWCALL (dwParam2 points at it), null otherwise.
TSPIAPI HTAPICALL FakeProvider_Post(DWORD index, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                                    DWORD_PTR p3) {
  HTAPICALL written = nullptr;
  DWORD_PTR p2 = msg == LINE_NEWCALL ? reinterpret_cast<DWORD_PTR>(&written) : 0;
  lineEvent(htLines[index], htCall, msg, p1, p2, p3);
  return written;
}

// Test control: completes an asynchronous request.
TSPIAPI void FakeProvider_Complete(DRV_REQUESTID id, LONG result) {
  completion(id, result);
}

// Test control: counters of what the host called.
TSPIAPI int FakeProvider_Shutdowns() {
  return shutdowns;
}
TSPIAPI int FakeProvider_ClosedCalls() {
  return closedCalls;
}
TSPIAPI HDRVCALL FakeProvider_LastClosedCall() {
  return lastClosedCall;
}

}  // extern "C"
