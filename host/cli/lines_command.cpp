// `qrvn lines`: starts the installed providers and lists their line devices, one row each.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string_view>

#include "host/cli/cli.h"
#include "host/cli/host_session.h"
#include "host/lib/line_queries.h"
#include "host/lib/tapi_names.h"

namespace qrvn::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: qrvn lines [--json]\n"
    "\n"
    "Starts every installed provider, lists its line devices and shuts the providers down:\n"
    "device ID, line name, permanent line ID, the address of the line's first address, the\n"
    "kind of line (read from its name: EXT0101 is an extension, CO0001 a trunk) and whether\n"
    "the line is in service. A provider that fails to start is reported on standard error and\n"
    "the others are still listed; the exit status is then 1.\n";

std::string InService(const host::LineSummary& line) {
  if (!line.inService) return "?";
  return *line.inService ? "yes" : "no";
}

void PrintTable(const std::vector<host::LineSummary>& lines, std::ostream& out) {
  const std::vector<std::string> header = {"ID",      "NAME", "PERMANENT-ID",
                                           "ADDRESS", "KIND", "IN-SERVICE"};
  std::vector<std::vector<std::string>> rows;
  rows.reserve(lines.size());
  for (const host::LineSummary& line : lines) {
    rows.push_back({std::to_string(line.deviceId), line.name, host::TapiHex(line.permanentLineId),
                    line.address, line.kind, InService(line)});
  }
  std::vector<size_t> widths;
  widths.reserve(header.size());
  for (const std::string& h : header) widths.push_back(h.size());
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  auto print = [&](const std::vector<std::string>& row) {
    std::string text;
    for (size_t i = 0; i < row.size(); ++i) {
      text += row[i];
      if (i + 1 < row.size()) text += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out << text << "\n";
  };
  print(header);
  for (const auto& row : rows) print(row);
}

}  // namespace

int RunLinesCommand(std::span<const std::string> args, CommandIo& io) {
  const HostArgs parsed = ParseHostArgs(args);
  if (parsed.help) {
    io.out << kUsage;
    return 0;
  }
  if (!parsed.badOption.empty() || !parsed.positional.empty()) {
    io.err << "qrvn lines: unexpected argument\n" << kUsage;
    return 1;
  }

  host::TelephonyHost host;
  const std::vector<host::ProviderStatus> statuses = StartProviders(host, io.err);
  if (statuses.empty()) io.err << "qrvn lines: no providers installed (qrvn provider add FILE)\n";
  std::vector<host::LineSummary> lines;
  for (uint32_t id = 0; id < host.LineCount(); ++id) {
    lines.push_back(host::SummarizeLine(host, id));
    if (!lines.back().error.empty()) {
      io.err << "qrvn lines: line " << id << ": " << lines.back().error << "\n";
    }
  }
  host.Shutdown();

  if (parsed.json) {
    nlohmann::ordered_json providers = nlohmann::ordered_json::array();
    for (const host::ProviderStatus& s : statuses) {
      nlohmann::ordered_json p = {{"id", s.entry.permanentId}, {"file", s.entry.fileName}};
      if (s.result == 0) {
        p["started"] = true;
        p["lineBase"] = s.lineBase;
        p["lines"] = s.numLines;
      } else {
        p["started"] = false;
        p["result"] =
            host::TapiValueName(host::TapiFamily::LineError, static_cast<DWORD>(s.result));
        p["error"] = s.error;
      }
      providers.push_back(std::move(p));
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const host::LineSummary& line : lines) {
      nlohmann::ordered_json row = {{"deviceId", line.deviceId},
                                    {"name", line.name},
                                    {"permanentLineId", line.permanentLineId},
                                    {"address", line.address},
                                    {"kind", line.kind}};
      row["inService"] = line.inService ? nlohmann::ordered_json(*line.inService) : nullptr;
      if (!line.error.empty()) row["error"] = line.error;
      list.push_back(std::move(row));
    }
    nlohmann::ordered_json doc = {{"providers", providers}, {"lines", list}};
    // Texts from a provider may be anything: never let a bad byte stop the output.
    io.out << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    PrintTable(lines, io.out);
  }
  return AnyFailed(statuses) ? 1 : 0;
}

}  // namespace qrvn::cli
