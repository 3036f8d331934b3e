// The text view of the link monitor area that qrvn-monitor prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qrvn::tools {

// Renders the area (512 bytes) as a table of the COM ports in use and the two counters.
std::string RenderMonitor(const uint8_t* area, const std::string& name);
// The line printed when no driver has created the area.
std::string NoAreaMessage(const std::string& name);

}  // namespace qrvn::tools
