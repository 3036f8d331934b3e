// `qrvn provider`: the list of installed telephony providers, kept in the registry the way the
// Windows telephony service keeps it.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string_view>

#include "host/cli/cli.h"
#include "host/cli/host_session.h"
#include "host/lib/provider_list.h"

namespace qrvn::cli {
namespace {

using platform::RegResult;

constexpr std::string_view kUsage =
    "Usage:\n"
    "  qrvn provider add FILE      install a provider module (e.g. qrvntapi.tsp)\n"
    "  qrvn provider remove ID     remove the provider with permanent provider ID\n"
    "  qrvn provider list [--json] list the installed providers in start order\n"
    "\n"
    "add writes the provider's entry (ProviderIDn, ProviderFilenamen) with the next permanent\n"
    "provider ID. It does not yet run the provider's own installation, so the instance's\n"
    "default values are not written by this command.\n";

int Add(const HostArgs& args, CommandIo& io) {
  if (args.positional.size() != 2 || args.positional[1].empty()) {
    io.err << "qrvn provider add: give one provider module file\n" << kUsage;
    return 1;
  }
  uint32_t id = 0;
  if (host::AddProvider(args.positional[1], id) != RegResult::Ok) {
    io.err << "qrvn provider add: " << platform::RegistryLastError() << "\n";
    return 1;
  }
  io.out << "Provider " << id << " added: " << args.positional[1] << "\n";
  return 0;
}

int Remove(const HostArgs& args, CommandIo& io) {
  const std::string text = args.positional.size() == 2 ? args.positional[1] : "";
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
    io.err << "qrvn provider remove: give one permanent provider ID (qrvn provider list)\n";
    return 1;
  }
  const auto id = static_cast<uint32_t>(std::stoul(text));
  const RegResult r = host::RemoveProvider(id);
  if (r == RegResult::NotFound) {
    io.err << "qrvn provider remove: no provider has ID " << id << "\n";
    return 1;
  }
  if (r != RegResult::Ok) {
    io.err << "qrvn provider remove: " << platform::RegistryLastError() << "\n";
    return 1;
  }
  io.out << "Provider " << id << " removed.\n";
  return 0;
}

int List(const HostArgs& args, CommandIo& io) {
  std::vector<host::ProviderEntry> providers;
  if (host::ReadProviderList(providers) != RegResult::Ok) {
    io.err << "qrvn provider list: " << platform::RegistryLastError() << "\n";
    return 1;
  }
  if (args.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const host::ProviderEntry& p : providers) {
      list.push_back({{"id", p.permanentId}, {"file", p.fileName}});
    }
    io.out << list.dump(2) << "\n";
    return 0;
  }
  if (providers.empty()) {
    io.out << "No providers installed.\n";
    return 0;
  }
  io.out << "ID    FILE\n";
  for (const host::ProviderEntry& p : providers) {
    std::string id = std::to_string(p.permanentId);
    io.out << id << std::string(id.size() < 6 ? 6 - id.size() : 1, ' ') << p.fileName << "\n";
  }
  return 0;
}

}  // namespace

int RunProviderCommand(std::span<const std::string> args, CommandIo& io) {
  const HostArgs parsed = ParseHostArgs(args);
  if (parsed.help) {
    io.out << kUsage;
    return 0;
  }
  if (!parsed.badOption.empty()) {
    io.err << "qrvn provider: unknown option " << parsed.badOption << "\n" << kUsage;
    return 1;
  }
  const std::string verb = parsed.positional.empty() ? "" : parsed.positional.front();
  if (verb == "add") return Add(parsed, io);
  if (verb == "remove") return Remove(parsed, io);
  if (verb == "list" && parsed.positional.size() == 1) return List(parsed, io);
  io.err << kUsage;
  return 1;
}

}  // namespace qrvn::cli
