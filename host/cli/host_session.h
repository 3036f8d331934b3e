// What the commands that start the telephony host share: starting the providers with their
// failures reported, arguments, and finding a line by device ID or name.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/lib/telephony_host.h"

namespace qrvn::cli {

// Starts every installed provider; each one that failed is reported on err by its ID, module
// and error, and the others go on. Returns the statuses in list order.
std::vector<host::ProviderStatus> StartProviders(host::TelephonyHost& host, std::ostream& err);
// True when a provider of the list did not start.
bool AnyFailed(const std::vector<host::ProviderStatus>& statuses);

// The name (dwLineName) of every line device, indexed by device ID; "" when unreadable.
std::vector<std::string> LineNames(host::TelephonyHost& host);
// The device ID that arg names: a decimal device ID or a line name in any case.
std::optional<uint32_t> ResolveLine(const std::string& arg, const std::vector<std::string>& names);

// A command line of the host commands: --json, --help and positional arguments.
struct HostArgs {
  bool json = false;
  bool help = false;
  std::vector<std::string> positional;
  std::string badOption;  // the first unknown option, if any
};
// Splits args into options and positional arguments.
HostArgs ParseHostArgs(std::span<const std::string> args);

}  // namespace qrvn::cli
