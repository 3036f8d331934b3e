// The link trace log: one file per day of the month in the system folder, a 10-byte header
// with the next write offset, and wrap-around to offset 10 at the size limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace qrvn::linkdriver {

// The trace state shared by every link of the driver.
struct TraceShared {
  std::atomic<uint64_t> limitBytes{0};  // 0: no limit set yet (append without a header)
  std::mutex mutex;                     // orders this process's own writers
};

// The trace file of a day of the month ("qrvnsdrv07.log") in the system folder.
std::string TraceFilePath(int dayOfMonth);
// Appends one line (time stamp and CR LF added) to today's trace file; false when the file
// could not be written.
bool WriteTraceLine(TraceShared& shared, std::string_view text);
// Writes "SENDDATA(TXT):" / "RECVDATA(TXT):" and the bytes as text (up to the first NUL).
void TraceText(TraceShared& shared, bool send, std::span<const uint8_t> bytes);
// Writes "SENDDATA(BIN):" / "RECVDATA(BIN):" and the rendered bytes.
void TraceBinary(TraceShared& shared, bool send, std::span<const uint8_t> bytes);

}  // namespace qrvn::linkdriver
