// A telephony service provider for the host's tests: three lines per instance (a SYSTEM line,
// an extension and a trunk, answered the way the real provider answers them), events and
// completions on the test's command through the FakeProvider_ exports. Several instances of the
// module (one per provider entry) share the device table below.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "tapi/tspi.h"

namespace {

constexpr DWORD kLines = 3;        // per instance
constexpr DWORD kMaxDevices = 16;  // over all instances

// What a line of an instance looks like; tests may change names, addresses and flags.
struct LineModel {
  std::u16string name;
  std::u16string address;
  DWORD deviceNumber;
  DWORD devStatusFlags;
  DWORD lineStates;
  DWORD lineFeatures;
  DWORD addressStates;
  DWORD callStates;
};

LineModel lineModels[kLines] = {
    {u"SYSTEM", u"", 1, LINEDEVSTATUSFLAGS_INSERVICE, 0x14606C0, LINEFEATURE_DEVSPECIFIC, 0, 0},
    {u"EXT0101", u"101", 12288, LINEDEVSTATUSFLAGS_INSERVICE, 0x4616F0, 0x4C, 0x142, 0x5D7B},
    {u"CO0001", u"1", 4096, LINEDEVSTATUSFLAGS_CONNECTED, 0x4606C0, 0, 4, 0x4943},
};

struct Device {
  bool present = false;
  DWORD permanentProviderId = 0;
  DWORD index = 0;  // line index within its instance
  HTAPILINE htLine = nullptr;
};

std::mutex mutex;
Device devices[kMaxDevices];
LINEEVENT lineEvent = nullptr;
ASYNC_COMPLETION completion = nullptr;
std::atomic<int> shutdowns{0};
std::atomic<int> closedCalls{0};
std::atomic<HDRVCALL> lastClosedCall{nullptr};

const Device* FindDevice(DWORD deviceId) {
  return deviceId < kMaxDevices && devices[deviceId].present ? &devices[deviceId] : nullptr;
}

HDRVLINE DriverLine(DWORD deviceId) {
  return reinterpret_cast<HDRVLINE>(uintptr_t{0x100} + deviceId);
}

// The device of an open line's handle, or kMaxDevices.
DWORD DeviceOfLine(HDRVLINE hdLine) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(hdLine);
  if (value < 0x100 || value - 0x100 >= kMaxDevices) return kMaxDevices;
  const DWORD deviceId = static_cast<DWORD>(value - 0x100);
  return devices[deviceId].present && devices[deviceId].htLine != nullptr ? deviceId : kMaxDevices;
}

// Lays out the variable parts of a TAPI structure after its fixed part, in order, each at a
// multiple of 4. When the caller's structure is too small nothing variable is written and
// dwUsedSize is the fixed size, as a provider answers a partial request.
class Layout {
 public:
  Layout(void* structure, DWORD fixedSize)
      : base_(static_cast<uint8_t*>(structure)), fixed_(fixedSize), next_(fixedSize) {}
  // Reserves a part; its size and offset are written by Finish.
  void Add(DWORD* size, DWORD* offset, const void* data, DWORD bytes) {
    parts_[count_++] = {size, offset, data, bytes, next_};
    next_ += (bytes + 3) & ~DWORD{3};
  }
  // Where the next part will start.
  DWORD Next() const { return next_; }
  void Finish() {
    DWORD total = 0;
    std::memcpy(&total, base_, sizeof total);
    const DWORD needed = count_ > 0 ? parts_[count_ - 1].at + parts_[count_ - 1].bytes : fixed_;
    std::memcpy(base_ + 4, &needed, sizeof needed);
    const bool fits = needed <= total;
    for (int i = 0; i < count_; ++i) {
      const Part& part = parts_[i];
      *part.size = fits ? part.bytes : 0;
      *part.offset = fits ? part.at : 0;
      if (fits) std::memcpy(base_ + part.at, part.data, part.bytes);
    }
    const DWORD used = fits ? needed : fixed_;
    std::memcpy(base_ + 8, &used, sizeof used);
  }

 private:
  struct Part {
    DWORD* size;
    DWORD* offset;
    const void* data;
    DWORD bytes;
    DWORD at;
  };
  uint8_t* base_;
  DWORD fixed_;
  DWORD next_;
  Part parts_[8];
  int count_ = 0;
};

// Bytes of a UTF-16 text with its terminator.
DWORD TextBytes(const std::u16string& text) {
  return static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
}

// Keeps the caller's dwTotalSize and clears the rest of the fixed part.
template <typename T>
void ClearFixed(T* structure) {
  const DWORD total = structure->dwTotalSize;
  std::memset(structure, 0, sizeof(T));
  structure->dwTotalSize = total;
}

const char16_t kProviderInfo[] = u"Fake provider";
const char16_t kDeviceClasses[] = u"tapi/line";

}  // namespace

extern "C" {

TSPIAPI LONG TSPI_lineNegotiateTSPIVersion(DWORD dwDeviceID, DWORD dwLowVersion,
                                           DWORD dwHighVersion, LPDWORD lpdwTSPIVersion) {
  if (dwDeviceID != INITIALIZE_NEGOTIATION && FindDevice(dwDeviceID) == nullptr) {
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

// FAKE_PROVIDER_FAIL_INIT set to a permanent provider ID fails that instance's init; set to
// anything else it fails every instance.
TSPIAPI LONG TSPI_providerInit(DWORD dwTSPIVersion, DWORD dwPermanentProviderID,
                               DWORD dwLineDeviceIDBase, DWORD, DWORD_PTR dwNumLines, DWORD_PTR,
                               ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
  if (const char* fail = std::getenv("FAKE_PROVIDER_FAIL_INIT")) {
    const unsigned long id = std::strtoul(fail, nullptr, 10);
    if (id == 0 || id == dwPermanentProviderID) return LINEERR_NOMEM;
  }
  if (dwTSPIVersion < TAPI_VERSION2_1 || dwNumLines != kLines ||
      dwLineDeviceIDBase + kLines > kMaxDevices) {
    return LINEERR_OPERATIONFAILED;
  }
  std::lock_guard guard(mutex);
  for (DWORD i = 0; i < kLines; ++i) {
    devices[dwLineDeviceIDBase + i] = {true, dwPermanentProviderID, i, nullptr};
  }
  completion = lpfnCompletionProc;
  *lpdwTSPIOptions = 0;
  return 0;
}

TSPIAPI LONG TSPI_providerShutdown(DWORD, DWORD dwPermanentProviderID) {
  std::lock_guard guard(mutex);
  for (Device& device : devices) {
    if (device.present && device.permanentProviderId == dwPermanentProviderID) device = Device{};
  }
  ++shutdowns;
  return 0;
}

TSPIAPI LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD,
                           LINEEVENT lpfnEventProc) {
  std::lock_guard guard(mutex);
  if (FindDevice(dwDeviceID) == nullptr) return LINEERR_BADDEVICEID;
  devices[dwDeviceID].htLine = htLine;
  lineEvent = lpfnEventProc;
  *lphdLine = DriverLine(dwDeviceID);
  return 0;
}

TSPIAPI LONG TSPI_lineClose(HDRVLINE hdLine) {
  std::lock_guard guard(mutex);
  const DWORD deviceId = DeviceOfLine(hdLine);
  if (deviceId == kMaxDevices) return LINEERR_INVALLINEHANDLE;
  devices[deviceId].htLine = nullptr;
  return 0;
}

TSPIAPI LONG TSPI_lineCloseCall(HDRVCALL hdCall) {
  lastClosedCall = hdCall;
  ++closedCalls;
  return 0;
}

TSPIAPI LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD, DWORD, LPLINEDEVCAPS caps) {
  std::lock_guard guard(mutex);
  const Device* device = FindDevice(dwDeviceID);
  if (device == nullptr) return LINEERR_OPERATIONFAILED;
  if (caps->dwTotalSize < 12) return LINEERR_STRUCTURETOOSMALL;
  const LineModel& model = lineModels[device->index];
  ClearFixed(caps);
  caps->dwPermanentLineID = (device->permanentProviderId << 16) | model.deviceNumber;
  caps->dwStringFormat = STRINGFORMAT_UNICODE;
  caps->dwAddressModes = device->index == 0 ? 0 : LINEADDRESSMODE_DIALABLEADDR;
  caps->dwNumAddresses = 1;
  caps->dwBearerModes = LINEBEARERMODE_VOICE;
  caps->dwMaxRate = 19200;
  caps->dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  caps->dwMaxNumActiveCalls = device->index == 0 ? 0 : 1;
  caps->dwAnswerMode = LINEANSWERMODE_NONE;
  caps->dwRingModes = 1;
  caps->dwLineStates = model.lineStates;
  caps->dwLineFeatures = model.lineFeatures;
  caps->dwSettableDevStatus = 7;
  // The SYSTEM line's six words: model and country, then the counts of the PBX's devices.
  const DWORD system[6] = {1 | (49u << 16), 2, 1, 4, 8, 40};
  Layout layout(caps, sizeof(LINEDEVCAPS));
  layout.Add(&caps->dwProviderInfoSize, &caps->dwProviderInfoOffset, kProviderInfo,
             sizeof kProviderInfo);
  layout.Add(&caps->dwLineNameSize, &caps->dwLineNameOffset, model.name.c_str(),
             TextBytes(model.name));
  layout.Add(&caps->dwDeviceClassesSize, &caps->dwDeviceClassesOffset, kDeviceClasses,
             sizeof kDeviceClasses);
  if (device->index == 0) {
    layout.Add(&caps->dwDevSpecificSize, &caps->dwDevSpecificOffset, system, sizeof system);
  }
  layout.Finish();
  return 0;
}

TSPIAPI LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS status) {
  std::lock_guard guard(mutex);
  const DWORD deviceId = DeviceOfLine(hdLine);
  if (deviceId == kMaxDevices) return LINEERR_INVALLINEHANDLE;
  if (status->dwTotalSize < 12) return LINEERR_STRUCTURETOOSMALL;
  const Device& device = devices[deviceId];
  const LineModel& model = lineModels[device.index];
  ClearFixed(status);
  status->dwNumOpens = 1;
  status->dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  status->dwLineFeatures = model.lineFeatures & 0xD;
  status->dwDevStatusFlags = model.devStatusFlags;
  const DWORD system[2] = {1, 0};  // notify flag, system status
  Layout layout(status, sizeof(LINEDEVSTATUS));
  if (device.index == 0) {
    layout.Add(&status->dwDevSpecificSize, &status->dwDevSpecificOffset, system, sizeof system);
  }
  layout.Finish();
  return 0;
}

TSPIAPI LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD, DWORD,
                                     LPLINEADDRESSCAPS caps) {
  std::lock_guard guard(mutex);
  const Device* device = FindDevice(dwDeviceID);
  if (device == nullptr || dwAddressID != 0) return LINEERR_INVALADDRESSID;
  if (caps->dwTotalSize < 12) return LINEERR_STRUCTURETOOSMALL;
  const LineModel& model = lineModels[device->index];
  ClearFixed(caps);
  caps->dwLineDeviceID = device->index;
  caps->dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  caps->dwAddressStates = model.addressStates;
  caps->dwCallStates = model.callStates;
  caps->dwDisconnectModes = LINEDISCONNECTMODE_NORMAL;
  caps->dwCallFeatures = device->index == 1 ? 0x8F0789FE : 0;
  // Trunks: trunk number and type; extensions: device number and extension type.
  const DWORD devSpecific[2] = {device->index == 1 ? model.deviceNumber : 1,
                                device->index == 1 ? 1u : 0u};
  Layout layout(caps, sizeof(LINEADDRESSCAPS));
  if (device->index != 0) {
    layout.Add(&caps->dwAddressSize, &caps->dwAddressOffset, model.address.c_str(),
               TextBytes(model.address));
    layout.Add(&caps->dwDevSpecificSize, &caps->dwDevSpecificOffset, devSpecific,
               sizeof devSpecific);
  }
  // Extensions: two call treatments, their names in ANSI after the entries (offsets count
  // from the start of the structure).
  uint8_t treatments[24 + 8 + 8] = {};
  if (device->index == 1) {
    const DWORD at = layout.Next();
    const DWORD entries[6] = {LINECALLTREATMENT_SILENCE, 8, at + 24, 0x211, 6, at + 32};
    std::memcpy(treatments, entries, sizeof entries);
    std::memcpy(treatments + 24, "SILENCE", 8);
    std::memcpy(treatments + 32, "OGM01", 6);
    caps->dwNumCallTreatments = 2;
    layout.Add(&caps->dwCallTreatmentListSize, &caps->dwCallTreatmentListOffset, treatments,
               sizeof treatments);
  }
  layout.Add(&caps->dwDeviceClassesSize, &caps->dwDeviceClassesOffset, kDeviceClasses,
             sizeof kDeviceClasses);
  layout.Finish();
  return 0;
}

TSPIAPI LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                                       LPLINEADDRESSSTATUS status) {
  std::lock_guard guard(mutex);
  const DWORD deviceId = DeviceOfLine(hdLine);
  if (deviceId == kMaxDevices) return LINEERR_INVALLINEHANDLE;
  if (dwAddressID != 0) return LINEERR_INVALADDRESSID;
  if (status->dwTotalSize < 12) return LINEERR_STRUCTURETOOSMALL;
  ClearFixed(status);
  status->dwNumInUse = 1;
  status->dwAddressFeatures = devices[deviceId].index == 1 ? 0xE7 : 0;
  Layout layout(status, sizeof(LINEADDRESSSTATUS));
  layout.Finish();
  return 0;
}

// Test control: posts an event on an open line (by device ID); returns the htCall the host
// wrote for a LINE_NEWCALL (dwParam2 points at it), null otherwise or when the line is closed.
TSPIAPI HTAPICALL FakeProvider_Post(DWORD deviceId, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                                    DWORD_PTR p3) {
  HTAPILINE htLine = nullptr;
  LINEEVENT event = nullptr;
  {
    std::lock_guard guard(mutex);
    if (deviceId >= kMaxDevices) return nullptr;
    htLine = devices[deviceId].htLine;
    event = lineEvent;
  }
  if (htLine == nullptr || event == nullptr) return nullptr;
  HTAPICALL written = nullptr;
  DWORD_PTR p2 = msg == LINE_NEWCALL ? reinterpret_cast<DWORD_PTR>(&written) : 0;
  event(htLine, htCall, msg, p1, p2, p3);
  return written;
}

// Test control: posts an event with all three parameters as given.
TSPIAPI void FakeProvider_PostRaw(DWORD deviceId, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                                  DWORD_PTR p2, DWORD_PTR p3) {
  HTAPILINE htLine = nullptr;
  LINEEVENT event = nullptr;
  {
    std::lock_guard guard(mutex);
    if (deviceId >= kMaxDevices) return;
    htLine = devices[deviceId].htLine;
    event = lineEvent;
  }
  if (htLine != nullptr && event != nullptr) event(htLine, htCall, msg, p1, p2, p3);
}

// Test control: whether a device is open now.
TSPIAPI int FakeProvider_IsOpen(DWORD deviceId) {
  std::lock_guard guard(mutex);
  return deviceId < kMaxDevices && devices[deviceId].htLine != nullptr ? 1 : 0;
}

// Test control: changes line index `index` of every instance (name and address in UTF-16).
TSPIAPI void FakeProvider_SetLine(DWORD index, const char16_t* name, const char16_t* address,
                                  DWORD devStatusFlags) {
  std::lock_guard guard(mutex);
  if (index >= kLines) return;
  lineModels[index].name = name;
  lineModels[index].address = address;
  lineModels[index].devStatusFlags = devStatusFlags;
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
