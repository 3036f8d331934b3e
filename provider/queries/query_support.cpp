// Shared pieces of the query entry points.
#include "provider/queries/query_support.h"

#include <cstring>

#include "platform/text.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/provider_log.h"
#include "provider/session/pbx_session.h"

namespace qrvn::provider {
namespace {

struct ErrorName {
  LONG code;
  const char* name;
};

constexpr ErrorName kErrorNames[] = {
    {LINEERR_BADDEVICEID, "LINEERR_BADDEVICEID"},
    {LINEERR_INCOMPATIBLEAPIVERSION, "LINEERR_INCOMPATIBLEAPIVERSION"},
    {LINEERR_INCOMPATIBLEEXTVERSION, "LINEERR_INCOMPATIBLEEXTVERSION"},
    {LINEERR_INVALADDRESS, "LINEERR_INVALADDRESS"},
    {LINEERR_INVALADDRESSID, "LINEERR_INVALADDRESSID"},
    {LINEERR_INVALCALLHANDLE, "LINEERR_INVALCALLHANDLE"},
    {LINEERR_INVALLINEHANDLE, "LINEERR_INVALLINEHANDLE"},
    {LINEERR_INVALPOINTER, "LINEERR_INVALPOINTER"},
    {LINEERR_NOMEM, "LINEERR_NOMEM"},
    {LINEERR_OPERATIONFAILED, "LINEERR_OPERATIONFAILED"},
    {LINEERR_STRUCTURETOOSMALL, "LINEERR_STRUCTURETOOSMALL"},
};

}  // namespace

std::string ResultName(LONG result) {
  if (result == 0) return "0";
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == result) return entry.name;
  }
  return LogFormat("x%x", static_cast<uint32_t>(result));
}

LONG LogResult(const char* function, LONG result) {
  WriteProviderLog(std::string(function) + " = " + ResultName(result));
  return result;
}

uint32_t ProviderExtVersion(CVN2448Driver& instance) {
  if (CtiPbxSession* session = SessionOf(instance); session != nullptr) {
    if (uint32_t offered = session->ProviderExtVersion(); offered != 0) return offered;
  }
  const uint32_t cti = instance.ctiVersion;
  return (cti == 0x12000 || cti == 0x13000 || (cti >= 0x13130 && cti <= 0x13190 && cti % 0x10 == 0))
             ? 0x10002
             : 0x10003;
}

bool ToUtf16Limited(std::string_view ansi, uint32_t limitUnits, std::u16string& out) {
  out.clear();
  if (!ansi.empty() && !platform::AnsiToUtf16(ansi, out)) return false;
  out.push_back(u'\0');
  return out.size() <= limitUnits;
}

bool HeadWritable(const void* structure) {
  if (structure == nullptr) return false;
  DWORD total = 0;
  std::memcpy(&total, structure, sizeof total);
  return total >= 12;
}

}  // namespace qrvn::provider
