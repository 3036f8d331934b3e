// Line events and asynchronous completions, with their trace lines.
#include "provider/core/line_events.h"

#include <cinttypes>
#include <new>
#include <span>

#include "platform/clock.h"
#include "platform/thread.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/memory_pool.h"
#include "provider/core/process.h"
#include "provider/core/provider_log.h"

namespace qrvn::provider {
namespace {

struct NamedValue {
  DWORD value;
  const char* name;
};

constexpr NamedValue kDevSpecificNames[] = {
    {QR_SMDR, "QR_SMDR"},
    {QR_REINIT, "QR_REINIT"},
    {QR_NORMAL, "QR_NORMAL"},
    {QR_OGMPLAYEND, "QR_OGMPLAYEND"},
    {QR_SETCOS, "QR_SETCOS"},
    {QR_MESSAGELOST, "QR_MESSAGELOST"},
    {QR_SETREMINDER, "QR_SETREMINDER"},
    {QR_CLOCK, "QR_CLOCK"},
    {QR_DATACHANGE, "QR_DATACHANGE"},
    {QR_SETNAME, "QR_SETNAME"},
    {QR_SETMW, "QR_SETMW"},
    {QR_CLEARMW, "QR_CLEARMW"},
    {QR_CLEARREMINDER, "QR_CLEARREMINDER"},
    {QR_EXECREMINDER, "QR_EXECREMINDER"},
    {QR_UCDLOGIN, "QR_UCDLOGIN"},
    {QR_UCDLOGOUT, "QR_UCDLOGOUT"},
    {QR_AINFOCREATE, "QR_AINFOCREATE"},
    {QR_AINFODELETE, "QR_AINFODELETE"},
    {QR_GROUPKINDCHG, "QR_GROUPKINDCHG"},
    {QR_GROUPMEMBERCHG, "QR_GROUPMEMBERCHG"},
    {QR_DDICLIPDND, "QR_DDICLIPDND"},
    {QR_OVFIRNA, "QR_OVFIRNA"},
    {QR_CONFERENCED, "QR_CONFERENCED"},
};

constexpr NamedValue kConferencedNames[] = {
    {QR_ADDPARTY, "QR_ADDPARTY"},
    {QR_REMOVEPARTY, "QR_REMOVEPARTY"},
};

constexpr NamedValue kMessageNames[] = {
    {0, "LINE_ADDRESSSTATE"}, {1, "LINE_CALLINFO"},     {2, "LINE_CALLSTATE"},
    {4, "LINE_DEVSPECIFIC"},  {6, "LINE_GATHERDIGITS"}, {8, "LINE_LINEDEVSTATE"},
    {12, "LINE_REPLY"},       {500, "LINE_NEWCALL"},
};

constexpr NamedValue kAddressStateNames[] = {
    {0x40, "LINEADDRESSSTATE_FORWARD"},
    {0x100, "LINEADDRESSSTATE_CAPSCHANGE"},
};

constexpr NamedValue kCallInfoStateNames[] = {
    {0x2, "LINECALLINFOSTATE_DEVSPECIFIC"},       {0x40, "LINECALLINFOSTATE_CALLID"},
    {0x80, "LINECALLINFOSTATE_RELATEDCALLID"},    {0x100, "LINECALLINFOSTATE_ORIGIN"},
    {0x200, "LINECALLINFOSTATE_REASON"},          {0x400, "LINECALLINFOSTATE_COMPLETIONID"},
    {0x4000, "LINECALLINFOSTATE_TRUNK"},          {0x8000, "LINECALLINFOSTATE_CALLERID"},
    {0x10000, "LINECALLINFOSTATE_CALLEDID"},      {0x20000, "LINECALLINFOSTATE_CONNECTEDID"},
    {0x40000, "LINECALLINFOSTATE_REDIRECTIONID"}, {0x80000, "LINECALLINFOSTATE_REDIRECTINGID"},
    {0x40000000, "LINECALLINFOSTATE_CALLDATA"},
};

constexpr NamedValue kCallStateNames[] = {
    {0x1, "LINECALLSTATE_IDLE"},
    {0x2, "LINECALLSTATE_OFFERING"},
    {0x4, "LINECALLSTATE_ACCEPTED"},
    {0x8, "LINECALLSTATE_DIALTONE"},
    {0x10, "LINECALLSTATE_DIALING"},
    {0x20, "LINECALLSTATE_RINGBACK"},
    {0x40, "LINECALLSTATE_BUSY"},
    {0x100, "LINECALLSTATE_CONNECTED"},
    {0x200, "LINECALLSTATE_PROCEEDING"},
    {0x400, "LINECALLSTATE_ONHOLD"},
    {0x800, "LINECALLSTATE_CONFERENCED"},
    {0x1000, "LINECALLSTATE_ONHOLDPENDCONF"},
    {0x4000, "LINECALLSTATE_DISCONNECTED"},
    {0x8000, "LINECALLSTATE_UNKNOWN"},
};

constexpr NamedValue kGatherTermNames[] = {
    {0x1, "LINEGATHERTERM_BUFFERFULL"},   {0x2, "LINEGATHERTERM_TERMDIGIT"},
    {0x4, "LINEGATHERTERM_FIRSTTIMEOUT"}, {0x8, "LINEGATHERTERM_INTERTIMEOUT"},
    {0x10, "LINEGATHERTERM_CANCEL"},
};

constexpr NamedValue kLineDevStateNames[] = {
    {0x2, "LINEDEVSTATE_RINGING"},           {0x4, "LINEDEVSTATE_CONNECTED"},
    {0x8, "LINEDEVSTATE_DISCONNECTED"},      {0x10, "LINEDEVSTATE_MSGWAITON"},
    {0x20, "LINEDEVSTATE_MSGWAITOFF"},       {0x40, "LINEDEVSTATE_INSERVICE"},
    {0x80, "LINEDEVSTATE_OUTOFSERVICE"},     {0x1000, "LINEDEVSTATE_NUMCOMPLETIONS"},
    {0x40000, "LINEDEVSTATE_REINIT"},        {0x100000, "LINEDEVSTATE_CAPSCHANGE"},
    {0x200000, "LINEDEVSTATE_CONFIGCHANGE"}, {0x800000, "LINEDEVSTATE_COMPLCANCEL"},
};

const char* Find(std::span<const NamedValue> table, DWORD_PTR value) {
  for (const NamedValue& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return nullptr;
}

std::string Hex(DWORD_PTR value) {
  return LogFormat("%" PRIxPTR, static_cast<uintptr_t>(value));
}

// The name from a table, or the value in hexadecimal.
std::string NameOrHex(std::span<const NamedValue> table, DWORD_PTR value) {
  const char* name = Find(table, value);
  return name != nullptr ? std::string(name) : Hex(value);
}

// Whether a line that is under line control or out of service lets this event through.
bool PassesWhileOutOfService(DWORD msg, DWORD_PTR param1) {
  return msg == LINE_LINEDEVSTATE && param1 == LINEDEVSTATE_OUTOFSERVICE;
}

bool InService(const LineDevice& line) {
  return line.devStatus != nullptr &&
         (line.devStatus->dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0;
}

// Calls the line's callback with the handles given and writes the trace line.
void Deliver(LineDevice* line, HTAPICALL htCall, const void* callTrace, DWORD msg, DWORD_PTR param1,
             DWORD_PTR param2, DWORD_PTR param3) {
  if (line == nullptr) return;
  LINEEVENT eventProc = line->eventProc;
  if (eventProc == nullptr) return;
  if ((line->lineControlFlag != 0 || !InService(*line)) && !PassesWhileOutOfService(msg, param1)) {
    return;
  }
  eventProc(line->htLine, htCall, msg, param1, param2, param3);
  WriteProviderLog(LineEventTrace(line, callTrace, msg, param1, param2));
}

// One asynchronous completion on its way; a pool block freed by the job itself.
struct ReplyJob {
  DRV_REQUESTID requestId;
  LONG result;
  CallRecord* call;
  uint32_t zero;
  CVN2448Driver* instance;
};

// Gives the instance back: the ProviderSemaphore first, then ProviderBusy.
void ReleaseInstance(CVN2448Driver& instance) {
  if (instance.providerBusy.load() == 0) return;
  if (instance.providerSemaphore != nullptr) instance.providerSemaphore->Release();
  instance.providerBusy = 0;
}

void RunReplyJob(ReplyJob* job) {
  CVN2448Driver& instance = *job->instance;
  // A request that concerns no call frees the instance before TAPI hears the result.
  if (job->call == nullptr) ReleaseInstance(instance);
  // Lets the request worker return the request ID before the completion arrives.
  platform::SleepMs(1);
  if (instance.completion != nullptr) instance.completion(job->requestId, job->result);
  WriteProviderLog(LogFormat("LINE_REPLY, RequestID=x%x, Code=x%x", job->requestId,
                             static_cast<uint32_t>(job->result)));
  if (job->call != nullptr) {
    job->call->bCommandPending = 0;
    ReleaseInstance(instance);
  }
  FreeMemory(job);
  // The last touch of the process state: library unload waits for this count.
  Process().outstandingAsyncCount.fetch_sub(1);
}

}  // namespace

const char* DevSpecificName(DWORD code) {
  return Find(kDevSpecificNames, code);
}

std::string LineMessageText(DWORD msg) {
  return NameOrHex(kMessageNames, msg);
}

std::string LineParam1Text(DWORD msg, DWORD_PTR param1) {
  switch (msg) {
    case LINE_CALLINFO:
      return NameOrHex(kCallInfoStateNames, param1);
    case LINE_CALLSTATE:
      return NameOrHex(kCallStateNames, param1);
    case LINE_DEVSPECIFIC:
      return NameOrHex(kDevSpecificNames, param1);
    case LINE_GATHERDIGITS:
      return NameOrHex(kGatherTermNames, param1);
    case LINE_LINEDEVSTATE:
      return NameOrHex(kLineDevStateNames, param1);
    default:
      return {};
  }
}

std::string LineParam2Text(DWORD msg, DWORD_PTR param1, DWORD_PTR param2) {
  if (msg == LINE_ADDRESSSTATE) return NameOrHex(kAddressStateNames, param2);
  if (msg == LINE_DEVSPECIFIC && param1 == QR_CONFERENCED) {
    return NameOrHex(kConferencedNames, param2);
  }
  return {};
}

std::string LineEventTrace(const void* line, const void* call, DWORD msg, DWORD_PTR param1,
                           DWORD_PTR param2) {
  return LogFormat("<<<Message>>> Line=x%" PRIxPTR ", Call=x%" PRIxPTR
                   ", Msg=%s, Param1=%s, Param2=%s",
                   reinterpret_cast<uintptr_t>(line), reinterpret_cast<uintptr_t>(call),
                   LineMessageText(msg).c_str(), LineParam1Text(msg, param1).c_str(),
                   LineParam2Text(msg, param1, param2).c_str());
}

void PostLineEvent(LineDevice* line, CallRecord* call, DWORD msg, DWORD_PTR param1,
                   DWORD_PTR param2, DWORD_PTR param3) {
  Deliver(line, call != nullptr ? call->htCall : nullptr, call, msg, param1, param2, param3);
}

void PostLineEventByIndex(CVN2448Driver& owner, uint32_t lineIndex, HTAPICALL htCall, DWORD msg,
                          DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) {
  if (owner.session == nullptr) return;
  Deliver(owner.session->Line(lineIndex), htCall, nullptr, msg, param1, param2, param3);
}

LONG PostReply(CVN2448Driver& instance, DRV_REQUESTID requestId, LONG result, CallRecord* call) {
  void* block = AllocMemory(kPoolZeroInit, sizeof(ReplyJob));
  if (block == nullptr) return LINEERR_NOMEM;
  auto* job = new (block) ReplyJob{requestId, result, call, 0, &instance};
  // Counted as outstanding until the job is over, so that unloading the library does not
  // free the pool and the instance under a running job.
  Process().outstandingAsyncCount.fetch_add(1);
  if (!platform::StartDetachedThread([job] { RunReplyJob(job); })) {
    Process().outstandingAsyncCount.fetch_sub(1);
    FreeMemory(job);
    return LINEERR_NOMEM;
  }
  return 0;
}

}  // namespace qrvn::provider
