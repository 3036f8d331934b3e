// The provider's two day-rotated log files in the system folder: the provider log
// ("Qrvntapi" + day + ".log") and the event log ("Qrvntsp" + day + ".log").
// Each file starts with a 10-byte header holding the offset of the next line ("%08d" CR LF)
// and starts again at offset 10 when a line would pass the size limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qrvn::provider {

// Offset of the first line, right behind the header.
inline constexpr uint32_t kLogFirstLine = 10;

// The logging settings of one instance: its DEBUG value and its size limit in bytes.
struct LogSettings {
  uint32_t debug = 0;
  uint32_t sizeLimit = 0;
};

// Sets the process-wide copies used by the provider log (the instance started last).
void SetProviderLogSettings(LogSettings settings);
// The process-wide copies of DEBUG and the size limit.
LogSettings ProviderLogSettings();

// printf-style formatting into a std::string, for log lines.
std::string LogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The path of a log file for a day of the month: base + "%02d" + ".log" in the system folder.
std::string LogFilePath(const char* base, int day);

// One stamped line in the provider log, when the process-wide DEBUG and size are nonzero.
void WriteProviderLog(std::string_view text);
// One stamped line in the event log, when the instance's DEBUG is nonzero.
void WriteEventLog(const LogSettings& instance, std::string_view text);
// Text as given (no stamp, no line end, no size check) in the event log, when DEBUG is nonzero.
void WriteEventLogRaw(const LogSettings& instance, std::string_view text);
// One stamped line of the memory pool in today's event log, only when that file exists.
void WritePoolError(std::string_view text);

}  // namespace qrvn::provider
