// The call-accounting queue file.
#include "provider/session/queue_file.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/message_box.h"

namespace qrvn::provider {

QueueFile::QueueFile(std::string folder, uint32_t slots, uint32_t showErrors)
    : slots_(slots), showErrors_(showErrors) {
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  path_ = folder + "/" + kQueueFileName;
}

uint64_t QueueFile::ExpectedSize() const {
  return kQueueHeaderSize + uint64_t{slots_} * kQueueSlotSize;
}

bool QueueFile::OpenAtStartUp() {
  auto file = platform::ExclusiveFile::Open(path_, platform::FileDisposition::OpenAlways);
  if (file == nullptr) return false;
  int64_t size = file->Size();
  if (size >= 0 && static_cast<uint64_t>(size) == ExpectedSize()) {
    uint8_t header[kQueueHeaderSize] = {};
    if (file->ReadAt(0, header, sizeof header) != static_cast<int64_t>(sizeof header)) return false;
    uint32_t next = static_cast<uint32_t>(header[4]) | static_cast<uint32_t>(header[5]) << 8 |
                    static_cast<uint32_t>(header[6]) << 16 | static_cast<uint32_t>(header[7]) << 24;
    nextSequence_ = firstSequence_ = next;
    return true;
  }
  // Missing or of another size (the slot count changed): start again with an empty ring.
  nextSequence_ = firstSequence_ = 0;
  bool filled = file->Truncate(0);
  std::vector<uint8_t> zeros(64 * 1024, 0);
  for (uint64_t at = 0; filled && at < ExpectedSize(); at += zeros.size()) {
    uint64_t left = ExpectedSize() - at;
    filled = file->WriteAt(at, zeros.data(), left < zeros.size() ? left : zeros.size());
  }
  if (filled) return true;
  if (showErrors_ != 0) {
    platform::ShowMessageBox(kQueueFillErrorText, kQueueFillErrorCaption,
                             platform::MessageBoxButtons::Ok);
  }
  return false;
}

}  // namespace qrvn::provider
