// The host's questions to a provider about one line: its capabilities and status structures,
// grown to the size the provider asks for, and the one-row summary `qrvn lines` shows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/lib/telephony_host.h"

namespace qrvn::host {

// Fills buffer with the line's LINEDEVCAPS; 0 or the provider's LINEERR_ code.
LONG QueryDevCaps(TelephonyHost& host, uint32_t deviceId, std::vector<uint8_t>& buffer);
// Fills buffer with an address's LINEADDRESSCAPS.
LONG QueryAddressCaps(TelephonyHost& host, uint32_t deviceId, DWORD addressId,
                      std::vector<uint8_t>& buffer);
// Fills buffer with the LINEDEVSTATUS of an open line.
LONG QueryLineDevStatus(TelephonyHost& host, uint32_t deviceId, std::vector<uint8_t>& buffer);
// Fills buffer with an address's LINEADDRESSSTATUS; the line must be open.
LONG QueryAddressStatus(TelephonyHost& host, uint32_t deviceId, DWORD addressId,
                        std::vector<uint8_t>& buffer);

// Runs body with the line open: opens it first when it is not, and closes it afterwards only
// then. Returns the result of opening (0 when it was open already); body runs only on 0.
LONG WithOpenLine(TelephonyHost& host, uint32_t deviceId, const std::function<void()>& body);

// The kind of line a provider's line name shows ("extension" for EXT0101, "trunk" for CO0001);
// "-" for a name of no known kind. The provider's answers carry no kind field of their own.
std::string LineKindFromName(std::string_view name);

// One line as `qrvn lines` shows it.
struct LineSummary {
  uint32_t deviceId = 0;
  std::string name;               // dwLineName, UTF-8
  DWORD permanentLineId = 0;      // dwPermanentLineID
  std::string address;            // address 0's dwAddress, UTF-8
  std::string kind;               // LineKindFromName(name)
  std::optional<bool> inService;  // LINEDEVSTATUSFLAGS_INSERVICE; unknown when unreadable
  std::string error;              // the first query that failed, for people; empty when none
};

// Queries one line's capabilities, address and status (opening the line for the status).
LineSummary SummarizeLine(TelephonyHost& host, uint32_t deviceId);

}  // namespace qrvn::host
