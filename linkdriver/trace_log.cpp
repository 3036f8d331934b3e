#include "linkdriver/trace_log.h"

#include <cstdio>
#include <memory>
#include <string>

#include "linkdriver/framing.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace qrvn::linkdriver {
namespace {

constexpr size_t kHeaderBytes = 10;
// Another process may hold the day's file for a moment; after this many 1 ms retries the
// line is dropped rather than stalling the link's threads for ever.
constexpr int kOpenAttempts = 5000;

std::unique_ptr<platform::ExclusiveFile> OpenWithRetry(const std::string& path) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    auto file = platform::ExclusiveFile::Open(path, platform::FileDisposition::OpenAlways);
    if (file) return file;
    platform::SleepMs(1);
  }
  return nullptr;
}

std::string Header(uint64_t offset) {
  char text[16];
  std::snprintf(text, sizeof text, "%08llu\r\n", static_cast<unsigned long long>(offset));
  return text;
}

// The next write offset kept in an existing file's header, or 0 when it is unreadable.
uint64_t ReadNextOffset(platform::ExclusiveFile& file) {
  char digits[8];
  if (file.ReadAt(0, digits, sizeof digits) != static_cast<int64_t>(sizeof digits)) return 0;
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::string TraceFilePath(int dayOfMonth) {
  char name[32];
  std::snprintf(name, sizeof name, "qrvnsdrv%02d.log", dayOfMonth);
  return platform::SystemFolder() + "/" + name;
}

bool WriteTraceLine(TraceShared& shared, std::string_view text) {
  platform::LocalTime t = platform::LocalNow();
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "[%02d/%02d %02d:%02d:%02d:%03d] ", t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
  std::string line = stamp;
  line.append(text);
  line += "\r\n";

  std::lock_guard lock(shared.mutex);
  auto file = OpenWithRetry(TraceFilePath(t.day));
  if (!file) return false;
  int64_t size = file->Size();
  if (size < 0) return false;
  uint64_t limit = shared.limitBytes.load();
  if (limit == 0) return file->WriteAt(static_cast<uint64_t>(size), line.data(), line.size());

  uint64_t next = kHeaderBytes;
  if (static_cast<uint64_t>(size) >= kHeaderBytes) {
    uint64_t kept = ReadNextOffset(*file);
    // A damaged header must neither overwrite itself nor leave a hole in the file.
    if (kept >= kHeaderBytes && kept <= static_cast<uint64_t>(size)) next = kept;
  } else {
    std::string fresh = Header(0);
    if (!file->WriteAt(0, fresh.data(), fresh.size())) return false;
  }
  if (next + line.size() > limit) {
    std::string wrapped = Header(kHeaderBytes);
    if (!file->WriteAt(0, wrapped.data(), wrapped.size())) return false;
    next = kHeaderBytes;
  }
  if (!file->WriteAt(next, line.data(), line.size())) return false;
  std::string header = Header(next + line.size());
  return file->WriteAt(0, header.data(), 8);
}

void TraceText(TraceShared& shared, bool send, std::span<const uint8_t> bytes) {
  std::string text = send ? "SENDDATA(TXT):" : "RECVDATA(TXT):";
  for (uint8_t b : bytes) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  WriteTraceLine(shared, text);
}

void TraceBinary(TraceShared& shared, bool send, std::span<const uint8_t> bytes) {
  std::string text = send ? "SENDDATA(BIN):" : "RECVDATA(BIN):";
  text += RenderBinary(bytes);
  WriteTraceLine(shared, text);
}

}  // namespace qrvn::linkdriver
