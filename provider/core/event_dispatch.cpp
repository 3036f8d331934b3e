// The event table, the device gate, the event trace and the guarded call of a handler.
#include "provider/core/event_dispatch.h"

#include "platform/fault_guard.h"

#include <array>
#include <atomic>
#include <cstring>
#include <exception>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/provider_log.h"

namespace qrvn::provider {
namespace {

constexpr EventSpec kEventTable[] = {
    {kSMDRInfoInform, "SMDRInfoInform", false, 0},
    {kTimeoutOfProgramMode, "TimeoutOfProgramMode", false, 0},
    {kSuspended, "Suspended", false, 0},
    {kResumed, "Resumed", false, 0},
    {kServiceBeginInform, "ServiceBeginInform ", true, 1},
    {kDialingInform, "DialingInform ", true, 2},
    {kRingBackInform, "RingBackInform ", true, 2},
    {kAcceptInform, "AcceptInform ", true, 3},
    {kOfferringInform, "OfferringInform", true, 0},
    {kConnectInform, "ConnectInform ", true, 3},
    {kClearInform, "ClearInform ", true, 3},
    {kServiceFailedInform, "ServiceFailedInform ", true, 3},
    {kServiceEndedInform, "ServiceEndedInform ", true, 1},
    {kHeldInform, "HeldInform ", true, 3},
    {kRetrievedInform, "RetrievedInform ", true, 2},
    {kTransferredInform, "TransferredInform ", true, 4},
    {kConferencedInform, "ConferencedInform ", true, 5},
    {kConfPartyDroppedInform, "ConfPartyDroppedInform ", true, 6},
    {kDiverted, "Diverted ", false, 3},
    {kFeatureStatReportInform, "FeatureStatReportInform ", true, 3},
    {kReached, "Reached ", true, 3},
    {kQueued, "Queued ", true, 3},
    {kInService, "InService", true, 0},
    {kOutOfService, "OutOfService", true, 0},
    {kAgentLoggedOn, "AgentLoggedOn", true, 0},
    {kAgentLoggedOff, "AgentLoggedOff", true, 0},
    {kFeatureEventInform, "FeatureEventInform ", true, 3},
    {kCallerID, "CallerID ", true, 4},
    {kCallAccountingInfo, "CallAccountingInfo", true, 0},
    {kGroupArrived, "GroupArrived ", true, 2},
    {kOGMPlayEndedInform, "OGMPlayEndedInform ", false, 2},
    {kSysStatEvent, "SysStatEvent", false, 0},
    {kChangeDeviceInfo, "ChangeDeviceInfo ", false, 3},
    {kResultOfTimedReminder, "ResultOfTimedReminder", true, 0},
    {kReportDTMF, "ReportDTMF", true, 0},
    {kRecall, "Recall ", true, 4},
    {kFiveConferenced, "FiveConferenced ", true, 5},
    {kFiveConfDropped, "FiveConfDropped ", true, 5},
};

// Codes outside this range are never dispatched.
constexpr uint8_t kFirstEventCode = 6;
constexpr uint8_t kLastEventCode = 191;
// Offset of the device kind byte: the first value byte of the first parameter.
constexpr int32_t kGateOffset = 7;
// Parameters an event trace decodes at most.
constexpr int32_t kTraceParams = 32;

std::array<std::atomic<EventHandler>, 256> g_handlers{};

uint32_t ReadWord(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The fault lines of the event log: what was running, the processor state, and the code
// bytes at the fault. A C++ exception carries no processor state, so its register line reads
// all zero and it has no code line.
void LogHandlerFault(const CVN2448Driver& owner, const platform::FaultContext* fault) {
  WriteEventLog(owner, "***== Try-Except ==***");
  WriteEventLog(owner, LogFormat("PBXType[%s] CTIVersion[%X] ROMVersion[%s] TSPVersion[%s]",
                                 PbxModelName(owner.pbxType), owner.ctiVersion, owner.romVersion,
                                 kTspBuildText));
  uint32_t r[9] = {};
  if (fault != nullptr) {
    for (int i = 0; i < 9; ++i) r[i] = static_cast<uint32_t>(fault->registers[i]);
  }
  // Registers in the order ax bx cx dx si di ip sp bp, as the fault context gives them.
  WriteEventLog(owner, LogFormat("eax=%08x ebx=%08x ecx=%08x  edx=%08x esi=%08x edi=%08x "
                                 "eip=%08x esp=%08x ebp=%08x",
                                 r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]));
  if (fault != nullptr && fault->codeBytes > 0) {
    std::string code;
    for (size_t i = 0; i < fault->codeBytes; ++i) code += LogFormat("%02X ", fault->code[i]);
    WriteEventLog(owner, code);
  }
}

}  // namespace

uint32_t RecordTick(const uint8_t* record) {
  return ReadWord(record);
}

uint32_t RecordFresh(const uint8_t* record) {
  return ReadWord(record + 4);
}

void SetRecordHeader(uint8_t* record, uint32_t tick, uint32_t fresh) {
  std::memcpy(record, &tick, sizeof tick);
  std::memcpy(record + 4, &fresh, sizeof fresh);
}

std::span<const EventSpec> EventTable() {
  return kEventTable;
}

const EventSpec* FindEventSpec(uint8_t code) {
  if (code < kFirstEventCode || code > kLastEventCode) return nullptr;
  for (const EventSpec& spec : kEventTable) {
    if (spec.code == code) return &spec;
  }
  return nullptr;
}

bool SetEventHandler(uint8_t code, EventHandler handler) {
  if (FindEventSpec(code) == nullptr) return false;
  g_handlers[code] = handler;
  return true;
}

EventHandler InstalledEventHandler(uint8_t code) {
  return g_handlers[code].load();
}

void ClearEventHandlers() {
  for (auto& handler : g_handlers) handler = nullptr;
}

bool PassesDeviceGate(const uint8_t* message, int32_t length) {
  if (length <= kGateOffset) return false;
  switch (message[kGateOffset]) {
    case 1:
    case 2:
    case 10:
    case 11:
    case 12:
    case 14:
    case 33:
    case 34:
    case 35:
      return true;
    default:
      return false;
  }
}

std::string EventTraceLine(const CodecSession* session, const EventSpec& spec,
                           const uint8_t* message, int32_t length) {
  std::string line = spec.logName;
  if (spec.traceTags == 0) return line;
  ParsedParam params[kTraceParams];
  int32_t count = ParseMessage(session, params, kTraceParams, message, length);
  for (int32_t i = 0; i < count; ++i) {
    if (params[i].tag > spec.traceTags) continue;
    line += LogFormat("[%02X:", params[i].tag);
    for (uint32_t b = 0; b < params[i].length; ++b) {
      line += LogFormat("%02X", message[params[i].offset + b]);
    }
    line += "] ";
  }
  return line;
}

DispatchOutcome DispatchEvent(CVN2448Driver& owner, uint8_t* record, int32_t length) {
  // A message shorter than its own header names no event.
  if (record == nullptr || length < kEventRecordHeader + 4) return DispatchOutcome::Dropped;
  const uint8_t* message = record + kEventRecordHeader;
  const int32_t messageLength = length - kEventRecordHeader;
  const EventSpec* spec = FindEventSpec(message[0]);
  if (spec == nullptr) return DispatchOutcome::Dropped;
  if (spec->gated && !PassesDeviceGate(message, messageLength)) return DispatchOutcome::Dropped;
  WriteEventLog(owner, EventTraceLine(owner.session.get(), *spec, message, messageLength));
  EventHandler handler = InstalledEventHandler(spec->code);
  if (handler == nullptr) return DispatchOutcome::NoHandler;
  platform::FaultContext fault;
  bool completed = false;
  try {
    completed = platform::RunGuarded([&] { handler(owner, record, length); }, &fault);
  } catch (...) {
    LogHandlerFault(owner, nullptr);
    return DispatchOutcome::Faulted;
  }
  if (!completed) {
    LogHandlerFault(owner, &fault);
    return DispatchOutcome::Faulted;
  }
  return DispatchOutcome::Handled;
}

}  // namespace qrvn::provider
