#include "tools/monitor/monitor_view.h"

#include <cstdio>
#include <cstring>

#include "linkdriver/monitor_layout.h"

namespace qrvn::tools {
namespace {

namespace layout = linkdriver::monitor;

uint16_t Read16(const uint8_t* area, size_t offset) {
  uint16_t v;
  std::memcpy(&v, area + offset, sizeof v);
  return v;
}

uint32_t Read32(const uint8_t* area, size_t offset) {
  uint32_t v;
  std::memcpy(&v, area + offset, sizeof v);
  return v;
}

const char* OnOff(uint16_t v) {
  return v != 0 ? "on" : "off";
}

}  // namespace

std::string RenderMonitor(const uint8_t* area, const std::string& name) {
  std::string out = "Link monitor /" + name + "\n";
  std::string rows;
  for (uint32_t port = layout::kFirstPort; port <= layout::kLastPort; ++port) {
    if (Read16(area, layout::PortEntry(layout::kPortOpenBase, port)) == 0) continue;
    char row[128];
    std::snprintf(row, sizeof row, "%-6s %-5s %-5s %-5s %-8s %s\n",
                  ("COM" + std::to_string(port)).c_str(), "yes",
                  OnOff(Read16(area, layout::PortEntry(layout::kModemLinesBase, port))),
                  OnOff(Read16(area, layout::PortEntry(layout::kDsrBase, port))),
                  Read16(area, layout::PortEntry(layout::kReceiveBase, port)) ? "active" : "idle",
                  Read16(area, layout::PortEntry(layout::kSendBase, port)) ? "active" : "idle");
    rows += row;
  }
  if (rows.empty()) {
    out += "No COM port in use.\n";
  } else {
    char header[128];
    std::snprintf(header, sizeof header, "%-6s %-5s %-5s %-5s %-8s %s\n", "Port", "Open", "DTR",
                  "DSR", "Receive", "Send");
    out += header + rows;
  }
  out += "Provider memory pool blocks: " + std::to_string(Read32(area, layout::kAllocCountOffset)) +
         "\n";
  out += "Provider event queue length: " + std::to_string(Read32(area, layout::kQueCountOffset)) +
         "\n";
  return out;
}

std::string NoAreaMessage(const std::string& name) {
  return "No link driver has created the monitor area /" + name + ".\n";
}

}  // namespace qrvn::tools
