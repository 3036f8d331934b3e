// The only ways the provider reports to the telephony service: line and call events through
// the line's event callback (PostLineEvent) and completions of asynchronous requests
// (PostReply), each with its trace line in the provider log.
#pragma once

#include <cstdint>
#include <string>

#include "provider/calls/call_record.h"
#include "provider/core/instance_parts.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

class CVN2448Driver;

// First parameter of LINE_DEVSPECIFIC: what the device-specific event reports.
enum DevSpecificCode : DWORD {
  QR_SMDR = 0,
  QR_REINIT = 1,
  QR_NORMAL = 2,
  QR_OGMPLAYEND = 3,
  QR_SETCOS = 4,
  QR_MESSAGELOST = 5,
  QR_SETREMINDER = 6,
  QR_CLOCK = 7,
  QR_DATACHANGE = 8,
  QR_SETNAME = 13,
  QR_SETMW = 14,
  QR_CLEARMW = 15,
  QR_CLEARREMINDER = 16,
  QR_EXECREMINDER = 17,
  QR_UCDLOGIN = 20,
  QR_UCDLOGOUT = 21,
  QR_AINFOCREATE = 22,
  QR_AINFODELETE = 23,
  QR_GROUPKINDCHG = 24,
  QR_GROUPMEMBERCHG = 25,
  QR_DDICLIPDND = 26,
  QR_OVFIRNA = 27,
  QR_CONFERENCED = 28,
};
// Second parameter of LINE_DEVSPECIFIC QR_CONFERENCED.
enum ConferencedChange : DWORD {
  QR_ADDPARTY = 1,
  QR_REMOVEPARTY = 2,
};

// The name of a device-specific code ("QR_SETCOS"), or null for a value without a name.
const char* DevSpecificName(DWORD code);
// The trace texts of a line message: its name, and the texts of its first two parameters.
std::string LineMessageText(DWORD msg);
std::string LineParam1Text(DWORD msg, DWORD_PTR param1);
std::string LineParam2Text(DWORD msg, DWORD_PTR param1, DWORD_PTR param2);
// The "<<<Message>>>" trace line of one posted event.
std::string LineEventTrace(const void* line, const void* call, DWORD msg, DWORD_PTR param1,
                           DWORD_PTR param2);

// Reports one line or call event to the line's callback and traces it; dropped silently when
// the line is not open, and, except LINEDEVSTATE_OUTOFSERVICE, when the line is under line
// control or not in service.
void PostLineEvent(LineDevice* line, CallRecord* call, DWORD msg, DWORD_PTR param1,
                   DWORD_PTR param2, DWORD_PTR param3);
// PostLineEvent for a line named by its index in an instance, with TAPI's call handle as is
// (the instance's part used by the lifecycle and the link driver's status callback).
void PostLineEventByIndex(CVN2448Driver& owner, uint32_t lineIndex, HTAPICALL htCall, DWORD msg,
                          DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);

// Reports the result of an asynchronous request from a reply job thread of its own, which
// also releases the instance's request lock; 0 when the job was started, LINEERR_NOMEM when
// no memory or no thread could be had (the caller then reports the failure itself).
LONG PostReply(CVN2448Driver& instance, DRV_REQUESTID requestId, LONG result, CallRecord* call);

}  // namespace qrvn::provider
