// The table of PBX events: for every event code its log name, whether the device gate
// applies, how much of the event its trace shows, and the handler that takes it.
//
// Handlers live with the subsystem that owns the event. Each is a named function (declared
// below) that its subsystem defines and puts into the table with SetEventHandler when the
// subsystem is installed; an event whose handler is not installed is traced and dropped.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "provider/core/message_codec.h"

namespace qrvn::provider {

class CVN2448Driver;

// The build text the provider reports in its start and fault lines.
inline constexpr const char* kTspBuildText = "Build 0177 2003.03.13";

// A queued event record: receive tick (4 bytes), fresh flag (4 bytes), then the CTI message.
inline constexpr int32_t kEventRecordHeader = 8;
inline constexpr int32_t kEventRecordMax = kEventRecordHeader + kMaxMessage;
// Reads and writes of the record's two header words.
uint32_t RecordTick(const uint8_t* record);
uint32_t RecordFresh(const uint8_t* record);
void SetRecordHeader(uint8_t* record, uint32_t tick, uint32_t fresh);

// A handler gets the whole queued record and its length; it returns 1 when the event is
// consumed (also when it is ignored or deferred) and 0 when it cannot be decoded or memory
// runs out.
using EventHandler = int32_t (*)(CVN2448Driver& owner, uint8_t* record, int32_t length);

// The event codes of the table.
enum EventCode : uint8_t {
  kSMDRInfoInform = 6,
  kTimeoutOfProgramMode = 13,
  kSuspended = 14,
  kResumed = 15,
  kServiceBeginInform = 49,
  kDialingInform = 50,
  kRingBackInform = 51,
  kAcceptInform = 52,
  kOfferringInform = 53,
  kConnectInform = 54,
  kClearInform = 55,
  kServiceFailedInform = 56,
  kServiceEndedInform = 57,
  kHeldInform = 58,
  kRetrievedInform = 59,
  kTransferredInform = 60,
  kConferencedInform = 61,
  kConfPartyDroppedInform = 62,
  kDiverted = 63,
  kFeatureStatReportInform = 64,
  kReached = 65,
  kQueued = 66,
  kInService = 67,
  kOutOfService = 68,
  kAgentLoggedOn = 69,
  kAgentLoggedOff = 70,
  kFeatureEventInform = 71,
  kCallerID = 72,
  kCallAccountingInfo = 73,
  kGroupArrived = 75,
  kOGMPlayEndedInform = 120,
  kSysStatEvent = 129,
  kChangeDeviceInfo = 136,
  kResultOfTimedReminder = 177,
  kReportDTMF = 187,
  kRecall = 189,
  kFiveConferenced = 190,
  kFiveConfDropped = 191,
};

// One row of the table. traceTags 0 means the trace shows the name only; otherwise it shows
// every parameter whose tag is at most traceTags.
struct EventSpec {
  uint8_t code;
  const char* logName;  // the log text, trailing blank included where the log has one
  bool gated;
  uint8_t traceTags;
};

// Every row of the table, by code.
std::span<const EventSpec> EventTable();
// The row of a code, or null for a code that is dropped without a log line.
const EventSpec* FindEventSpec(uint8_t code);
// Installs the handler of a code (null removes it); false for a code not in the table.
bool SetEventHandler(uint8_t code, EventHandler handler);
// The installed handler of a code, or null.
EventHandler InstalledEventHandler(uint8_t code);
// Removes every installed handler.
void ClearEventHandlers();

// True when the device the message is about (the first byte of the first parameter's value,
// message offset 7) is of a kind whose events are handled.
bool PassesDeviceGate(const uint8_t* message, int32_t length);
// The event log line announcing a message of this row.
std::string EventTraceLine(const CodecSession* session, const EventSpec& spec,
                           const uint8_t* message, int32_t length);

// What became of one dispatched record.
enum class DispatchOutcome {
  Dropped,    // unknown code, too short, or stopped by the device gate: no log line
  NoHandler,  // traced; no handler installed
  Handled,    // traced and given to its handler
  Faulted,    // traced; the handler failed and the fault was logged
};
// Traces one queued record and hands it to its handler, catching a handler's fault.
DispatchOutcome DispatchEvent(CVN2448Driver& owner, uint8_t* record, int32_t length);

// The handlers, by the event they take. Each is defined by the subsystem that handles the
// event and installed with SetEventHandler(code, &On...).
int32_t OnSMDRInfoInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnTimeoutOfProgramMode(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnSuspended(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnResumed(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnServiceBeginInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnDialingInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnRingBackInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnAcceptInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnOfferringInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnConnectInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnClearInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnServiceFailedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnServiceEndedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnHeldInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnRetrievedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnTransferredInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnConferencedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnConfPartyDroppedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnDiverted(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnFeatureStatReportInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnReached(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnQueued(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnInService(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnOutOfService(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnAgentLoggedOn(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnAgentLoggedOff(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnFeatureEventInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnCallerID(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnCallAccountingInfo(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnGroupArrived(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnOGMPlayEndedInform(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnSysStatEvent(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnChangeDeviceInfo(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnResultOfTimedReminder(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnReportDTMF(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnRecall(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnFiveConferenced(CVN2448Driver& owner, uint8_t* record, int32_t length);
int32_t OnFiveConfDropped(CVN2448Driver& owner, uint8_t* record, int32_t length);

}  // namespace qrvn::provider
