// `qrvn monitor`: opens lines and prints every event the providers send, decoded, one line per
// event, until SIGINT or SIGTERM (or the caller's stop request); then closes the lines and
// shuts the providers down on this thread, never inside a signal handler.
#include <nlohmann/json.hpp>

#include <mutex>
#include <ostream>
#include <string_view>

#include "host/cli/cli.h"
#include "host/cli/host_session.h"
#include "host/lib/event_decoder.h"
#include "host/lib/stop_request.h"
#include "host/lib/tapi_names.h"

namespace qrvn::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: qrvn monitor [LINE...] [--json]\n"
    "\n"
    "Starts the installed providers, opens the given lines (device IDs or names; all lines\n"
    "when none is given) and prints each event as it arrives, one line per event: the message,\n"
    "the line, the call handle and the decoded parameters. --json prints one JSON object per\n"
    "line instead. Ctrl+C (SIGINT) or SIGTERM closes the lines and shuts the providers down.\n"
    "A provider that fails to start is reported on standard error; the exit status is then 1.\n";

std::string JsonEvent(const host::HostEvent& event, const host::DecodedEvent& decoded) {
  nlohmann::ordered_json object = {{"message", decoded.message}, {"msg", event.message}};
  for (const auto& [name, value] : decoded.fields) {
    if (name == "line") {
      object[name] = event.deviceId;
    } else {
      object[name] = value;
    }
  }
  object["params"] = {event.param1, event.param2, event.param3};
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

int RunMonitorCommand(std::span<const std::string> args, CommandIo& io) {
  const HostArgs parsed = ParseHostArgs(args);
  if (parsed.help) {
    io.out << kUsage;
    return 0;
  }
  if (!parsed.badOption.empty()) {
    io.err << "qrvn monitor: unknown option " << parsed.badOption << "\n" << kUsage;
    return 1;
  }

  // Signals are watched from before the providers start, so that an early Ctrl+C still ends
  // in a clean shutdown.
  host::StopRequest ownStop;
  host::StopRequest& stop = io.stop != nullptr ? *io.stop : ownStop;
  host::StopOnSignals signals(stop);

  std::mutex mutex;                // the output and names
  std::vector<std::string> names;  // by device ID, known once the providers have started
  host::TelephonyHost host([&](const host::HostEvent& event) {
    std::lock_guard guard(mutex);
    const std::string name = event.deviceId < names.size() ? names[event.deviceId] : "";
    const host::DecodedEvent decoded = host::DecodeEvent(event, name);
    io.out << (parsed.json ? JsonEvent(event, decoded) : host::EventLine(decoded)) << "\n"
           << std::flush;
  });
  const std::vector<host::ProviderStatus> statuses = StartProviders(host, io.err);
  {
    std::vector<std::string> known = LineNames(host);
    std::lock_guard guard(mutex);
    names = std::move(known);
  }

  std::vector<uint32_t> wanted;
  for (const std::string& arg : parsed.positional) {
    std::optional<uint32_t> id = ResolveLine(arg, names);
    if (!id) {
      io.err << "qrvn monitor: no line \"" << arg << "\" (qrvn lines lists them)\n";
      return 1;
    }
    wanted.push_back(*id);
  }
  if (parsed.positional.empty()) {
    for (uint32_t id = 0; id < names.size(); ++id) wanted.push_back(id);
  }
  uint32_t opened = 0;
  for (uint32_t id : wanted) {
    if (host.DriverLine(id) != nullptr) continue;  // named twice
    if (LONG r = host.OpenLine(id); r != 0) {
      io.err << "qrvn monitor: line " << id << " " << names[id] << " cannot be opened: "
             << host::TapiValueName(host::TapiFamily::LineError, static_cast<DWORD>(r)) << "\n";
    } else {
      ++opened;
    }
  }
  if (opened == 0) {
    io.err << "qrvn monitor: no line is open, nothing to monitor\n";
    return 1;
  }
  io.err << "Monitoring " << opened << (opened == 1 ? " line" : " lines") << "; Ctrl+C stops.\n"
         << std::flush;

  stop.Wait();
  host.Shutdown();
  io.err << "Stopped: lines closed, providers shut down.\n" << std::flush;
  return AnyFailed(statuses) ? 1 : 0;
}

}  // namespace qrvn::cli
