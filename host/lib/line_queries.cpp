#include "host/lib/line_queries.h"

#include <algorithm>
#include <cctype>

#include "host/lib/tapi_answer.h"
#include "host/lib/tapi_names.h"

namespace qrvn::host {
namespace {

// Big enough for every answer of the usual providers in one call.
constexpr size_t kInitialSize = 2048;

struct KindPrefix {
  std::string_view prefix;
  std::string_view kind;
};

// Line names are a prefix and four digits; the prefix tells the kind.
constexpr KindPrefix kKinds[] = {
    {"SYSTEM", "system"},      {"QO", "queue"},  {"QH", "queue"},      {"QIO", "queue"},
    {"QIH", "queue"},          {"TR", "TR"},     {"RM", "RM"},         {"BV", "BV"},
    {"DOOR", "door"},          {"DISA", "DISA"}, {"OGM", "DISA"},      {"INPAGE", "paging-in"},
    {"OUTPAGE", "paging-out"}, {"CO", "trunk"},  {"EXT", "extension"}, {"VPS", "voice-port"},
};

}  // namespace

LONG QueryDevCaps(TelephonyHost& host, uint32_t deviceId, std::vector<uint8_t>& buffer) {
  const TspiTable* tspi = host.ProviderOf(deviceId);
  if (tspi == nullptr) return LINEERR_BADDEVICEID;
  if (tspi->TSPI_lineGetDevCaps == nullptr) return LINEERR_OPERATIONUNAVAIL;
  const DWORD version = host.LineVersion(deviceId);
  return host.QueryStructure(
      [&](void* caps) {
        return tspi->TSPI_lineGetDevCaps(deviceId, version, 0, static_cast<LPLINEDEVCAPS>(caps));
      },
      buffer, std::max(kInitialSize, sizeof(LINEDEVCAPS)));
}

LONG QueryAddressCaps(TelephonyHost& host, uint32_t deviceId, DWORD addressId,
                      std::vector<uint8_t>& buffer) {
  const TspiTable* tspi = host.ProviderOf(deviceId);
  if (tspi == nullptr) return LINEERR_BADDEVICEID;
  if (tspi->TSPI_lineGetAddressCaps == nullptr) return LINEERR_OPERATIONUNAVAIL;
  const DWORD version = host.LineVersion(deviceId);
  return host.QueryStructure(
      [&](void* caps) {
        return tspi->TSPI_lineGetAddressCaps(deviceId, addressId, version, 0,
                                             static_cast<LPLINEADDRESSCAPS>(caps));
      },
      buffer, std::max(kInitialSize, sizeof(LINEADDRESSCAPS)));
}

LONG QueryLineDevStatus(TelephonyHost& host, uint32_t deviceId, std::vector<uint8_t>& buffer) {
  const TspiTable* tspi = host.ProviderOf(deviceId);
  if (tspi == nullptr) return LINEERR_BADDEVICEID;
  HDRVLINE hdLine = host.DriverLine(deviceId);
  if (hdLine == nullptr) return LINEERR_INVALLINEHANDLE;
  if (tspi->TSPI_lineGetLineDevStatus == nullptr) return LINEERR_OPERATIONUNAVAIL;
  return host.QueryStructure(
      [&](void* status) {
        return tspi->TSPI_lineGetLineDevStatus(hdLine, static_cast<LPLINEDEVSTATUS>(status));
      },
      buffer, std::max(kInitialSize, sizeof(LINEDEVSTATUS)));
}

LONG QueryAddressStatus(TelephonyHost& host, uint32_t deviceId, DWORD addressId,
                        std::vector<uint8_t>& buffer) {
  const TspiTable* tspi = host.ProviderOf(deviceId);
  if (tspi == nullptr) return LINEERR_BADDEVICEID;
  HDRVLINE hdLine = host.DriverLine(deviceId);
  if (hdLine == nullptr) return LINEERR_INVALLINEHANDLE;
  if (tspi->TSPI_lineGetAddressStatus == nullptr) return LINEERR_OPERATIONUNAVAIL;
  return host.QueryStructure(
      [&](void* status) {
        return tspi->TSPI_lineGetAddressStatus(hdLine, addressId,
                                               static_cast<LPLINEADDRESSSTATUS>(status));
      },
      buffer, std::max(kInitialSize, sizeof(LINEADDRESSSTATUS)));
}

LONG WithOpenLine(TelephonyHost& host, uint32_t deviceId, const std::function<void()>& body) {
  const bool wasOpen = host.DriverLine(deviceId) != nullptr;
  if (!wasOpen) {
    if (LONG r = host.OpenLine(deviceId); r != 0) return r;
  }
  body();
  if (!wasOpen) host.CloseLine(deviceId);
  return 0;
}

std::string LineKindFromName(std::string_view name) {
  size_t end = name.size();
  while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
  const std::string_view prefix = name.substr(0, end);
  for (const KindPrefix& entry : kKinds) {
    if (entry.prefix == prefix) return std::string(entry.kind);
  }
  return "-";
}

LineSummary SummarizeLine(TelephonyHost& host, uint32_t deviceId) {
  LineSummary summary;
  summary.deviceId = deviceId;
  auto fail = [&](const char* what, LONG r) {
    if (summary.error.empty()) {
      summary.error =
          std::string(what) + ": " + TapiValueName(TapiFamily::LineError, static_cast<DWORD>(r));
    }
  };

  std::vector<uint8_t> buffer;
  if (LONG r = QueryDevCaps(host, deviceId, buffer); r != 0) {
    fail("TSPI_lineGetDevCaps", r);
  } else {
    TapiAnswer answer(buffer);
    const auto caps = answer.Fixed<LINEDEVCAPS>();
    summary.permanentLineId = caps.dwPermanentLineID;
    summary.name =
        answer.Text(caps.dwLineNameSize, caps.dwLineNameOffset, caps.dwStringFormat).value_or("?");
    summary.kind = LineKindFromName(summary.name);
    if (caps.dwNumAddresses > 0) {
      if (LONG ra = QueryAddressCaps(host, deviceId, 0, buffer); ra != 0) {
        fail("TSPI_lineGetAddressCaps", ra);
      } else {
        TapiAnswer address(buffer);
        const auto addressCaps = address.Fixed<LINEADDRESSCAPS>();
        summary.address =
            address
                .Text(addressCaps.dwAddressSize, addressCaps.dwAddressOffset, caps.dwStringFormat)
                .value_or("?");
      }
    }
  }

  LONG statusResult = 0;
  const LONG openResult = WithOpenLine(host, deviceId, [&] {
    statusResult = QueryLineDevStatus(host, deviceId, buffer);
    if (statusResult == 0) {
      const auto status = TapiAnswer(buffer).Fixed<LINEDEVSTATUS>();
      summary.inService = (status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0;
    }
  });
  if (openResult != 0) {
    fail("TSPI_lineOpen", openResult);
  } else if (statusResult != 0) {
    fail("TSPI_lineGetLineDevStatus", statusResult);
  }
  return summary;
}

}  // namespace qrvn::host
