// Finding line-device records from the telephony service's device IDs and line handles,
// without ever following a handle that is not one of the live model's records.
#pragma once

#include <atomic>
#include <cstdint>

#include "provider/core/instance_parts.h"
#include "tapi/tspi.h"

namespace qrvn::provider {

// A line found by device ID, with its instance.
struct FoundLine {
  LineDevice* line = nullptr;
  CVN2448Driver* instance = nullptr;
};

// The line of a TAPI line device ID: the first provider slot whose range holds the ID, and
// the entry (ID - base) of its instance's line table; line null when there is none.
FoundLine LineOfDevice(uint32_t deviceId);
// The instance of the first provider slot whose line range holds the ID, or null.
CVN2448Driver* InstanceOfDevice(uint32_t deviceId);
// The record hdLine names when it is a line of a running instance's live line table (the
// table's pool block is checked; hdLine is compared, never read); otherwise null.
LineDevice* CheckedLine(HDRVLINE hdLine);
// True when the line's prepared blocks and its address table are present.
bool LineBlocksPresent(const LineDevice& line);

// The line's count of TSPI requests in progress, shared with the request threads.
inline std::atomic_ref<uint32_t> RequestCount(LineDevice& line) {
  return std::atomic_ref<uint32_t>(line.requestCount);
}

// Raises a line's requestCount for a scope.
class RequestCountHold {
 public:
  explicit RequestCountHold(LineDevice& line) : line_(line) { RequestCount(line_).fetch_add(1); }
  ~RequestCountHold() { RequestCount(line_).fetch_sub(1); }
  RequestCountHold(const RequestCountHold&) = delete;
  RequestCountHold& operator=(const RequestCountHold&) = delete;

 private:
  LineDevice& line_;
};

}  // namespace qrvn::provider
