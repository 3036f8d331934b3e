// The provider log and the event log.
#include "provider/core/provider_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "platform/clock.h"
#include "platform/files.h"

namespace qrvn::provider {
namespace {

std::atomic<uint32_t> g_processDebug{0};
std::atomic<uint32_t> g_processSizeLimit{0};

constexpr const char* kProviderLogBase = "Qrvntapi";
constexpr const char* kEventLogBase = "Qrvntsp";

enum class Placement {
  Limited,  // at the next offset, or at offset 10 when the line would pass the limit
  Append,   // always at the next offset
};

std::string StampedLine(std::string_view text) {
  platform::LocalTime now = platform::LocalNow();
  std::string line = LogFormat("[%02d/%02d %02d:%02d:%02d:%03d] ", now.month, now.day, now.hour,
                               now.minute, now.second, now.millisecond);
  line.append(text);
  line.append("\r\n");
  return line;
}

// Reads the next-line offset from the header; a damaged header is read as 10 so that a
// line never lands on top of the header.
uint64_t ReadNextOffset(platform::ExclusiveFile& file) {
  char header[8];
  int64_t got = file.ReadAt(0, header, sizeof header);
  uint64_t offset = 0;
  for (int64_t i = 0; i < got; ++i) {
    if (header[i] < '0' || header[i] > '9') break;
    offset = offset * 10 + static_cast<uint64_t>(header[i] - '0');
  }
  return offset < kLogFirstLine ? kLogFirstLine : offset;
}

bool WriteHeader(platform::ExclusiveFile& file, uint64_t nextOffset) {
  char header[16];
  int n = std::snprintf(header, sizeof header, "%08llu\r\n",
                        static_cast<unsigned long long>(nextOffset));
  return file.WriteAt(0, header, static_cast<size_t>(n));
}

// Writes one piece of text into a log file; the line is dropped when the file is held by
// another writer or cannot be made.
void WriteToLog(const std::string& path, const std::string& text, Placement placement,
                uint64_t sizeLimit, bool createIfMissing) {
  auto file = platform::ExclusiveFile::Open(path, createIfMissing
                                                      ? platform::FileDisposition::OpenAlways
                                                      : platform::FileDisposition::OpenExisting);
  if (file == nullptr) return;
  uint64_t offset = kLogFirstLine;
  if (file->Size() == 0) {
    // Freshly made: give it its header first.
    if (!WriteHeader(*file, kLogFirstLine)) return;
  } else {
    offset = ReadNextOffset(*file);
  }
  if (placement == Placement::Limited && offset + text.size() > sizeLimit) offset = kLogFirstLine;
  if (!file->WriteAt(offset, text.data(), text.size())) return;
  WriteHeader(*file, offset + text.size());
}

std::string TodaysLog(const char* base) {
  return LogFilePath(base, platform::LocalNow().day);
}

}  // namespace

void SetProviderLogSettings(LogSettings settings) {
  g_processDebug = settings.debug;
  g_processSizeLimit = settings.sizeLimit;
}

LogSettings ProviderLogSettings() {
  return {g_processDebug.load(), g_processSizeLimit.load()};
}

std::string LogFormat(const char* format, ...) {
  // Most lines fit the stack buffer; a longer one is formatted a second time at its size.
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof buffer) {
    return std::string(buffer, static_cast<size_t>(needed));
  }
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(static_cast<size_t>(needed));
  return text;
}

std::string LogFilePath(const char* base, int day) {
  return platform::SystemFolder() + "/" + LogFormat("%s%02d.log", base, day);
}

void WriteProviderLog(std::string_view text) {
  LogSettings settings = ProviderLogSettings();
  if (settings.debug == 0 || settings.sizeLimit == 0) return;
  WriteToLog(TodaysLog(kProviderLogBase), StampedLine(text), Placement::Limited, settings.sizeLimit,
             true);
}

void WriteEventLog(const LogSettings& instance, std::string_view text) {
  if (instance.debug == 0) return;
  WriteToLog(TodaysLog(kEventLogBase), StampedLine(text), Placement::Limited, instance.sizeLimit,
             true);
}

void WriteEventLogRaw(const LogSettings& instance, std::string_view text) {
  if (instance.debug == 0) return;
  WriteToLog(TodaysLog(kEventLogBase), std::string(text), Placement::Append, 0, true);
}

void WritePoolError(std::string_view text) {
  WriteToLog(TodaysLog(kEventLogBase), StampedLine(text), Placement::Append, 0, false);
}

}  // namespace qrvn::provider
