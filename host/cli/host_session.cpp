#include "host/cli/host_session.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "host/lib/line_queries.h"
#include "host/lib/tapi_answer.h"
#include "host/lib/tapi_names.h"

namespace qrvn::cli {

std::vector<host::ProviderStatus> StartProviders(host::TelephonyHost& host, std::ostream& err) {
  std::vector<host::ProviderStatus> statuses = host.Start();
  for (const host::ProviderStatus& status : statuses) {
    if (status.result == 0) continue;
    if (status.entry.fileName.empty()) {
      err << "qrvn: " << status.error << "\n";
    } else {
      err << "qrvn: provider " << status.entry.permanentId << " (" << status.entry.fileName
          << ") failed: " << status.error << " ["
          << host::TapiValueName(host::TapiFamily::LineError, static_cast<DWORD>(status.result))
          << "]\n";
    }
  }
  return statuses;
}

bool AnyFailed(const std::vector<host::ProviderStatus>& statuses) {
  return std::any_of(statuses.begin(), statuses.end(),
                     [](const host::ProviderStatus& s) { return s.result != 0; });
}

std::vector<std::string> LineNames(host::TelephonyHost& host) {
  std::vector<std::string> names;
  std::vector<uint8_t> buffer;
  for (uint32_t id = 0; id < host.LineCount(); ++id) {
    std::string name;
    if (host::QueryDevCaps(host, id, buffer) == 0) {
      host::TapiAnswer answer(buffer);
      const auto caps = answer.Fixed<LINEDEVCAPS>();
      name =
          answer.Text(caps.dwLineNameSize, caps.dwLineNameOffset, caps.dwStringFormat).value_or("");
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::optional<uint32_t> ResolveLine(const std::string& arg, const std::vector<std::string>& names) {
  if (!arg.empty() && arg.size() <= 9 &&
      std::all_of(arg.begin(), arg.end(), [](unsigned char c) { return std::isdigit(c); })) {
    const auto id = static_cast<uint32_t>(std::stoul(arg));
    if (id < names.size()) return id;
    return std::nullopt;
  }
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (uint32_t id = 0; id < names.size(); ++id) {
    if (!names[id].empty() && lower(names[id]) == lower(arg)) return id;
  }
  return std::nullopt;
}

HostArgs ParseHostArgs(std::span<const std::string> args) {
  HostArgs parsed;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      parsed.json = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      parsed.help = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      if (parsed.badOption.empty()) parsed.badOption = arg;
    } else {
      parsed.positional.push_back(arg);
    }
  }
  return parsed;
}

}  // namespace qrvn::cli
