// The call-accounting queue file qrvnsmdr.que: a 20-byte header with the next sequence number,
// then a ring of 4104-byte record slots.
#pragma once

#include <cstdint>
#include <string>

namespace qrvn::provider {

inline constexpr const char* kQueueFileName = "qrvnsmdr.que";
inline constexpr uint32_t kQueueHeaderSize = 20;
inline constexpr uint32_t kQueueSlotSize = 4104;
// Texts of the box shown when the file cannot be filled (string resources 105 and 111).
inline constexpr const char* kQueueFillErrorText = "SystemChange.\nPlease Reboot.";
inline constexpr const char* kQueueFillErrorCaption = "\"qrvnsmdr.que\" Create Error.";

class QueueFile {
 public:
  // A queue file in folder with slots record slots; showErrors is INITMSGWAIT.
  QueueFile(std::string folder, uint32_t slots, uint32_t showErrors);

  // Opens the file at start-up: keeps a file of the right size and loads its next sequence
  // number, otherwise (re)creates it zero-filled. False when it cannot be opened or filled.
  bool OpenAtStartUp();
  // The file's path.
  const std::string& Path() const { return path_; }
  // The file's size for the configured number of slots.
  uint64_t ExpectedSize() const;
  // The sequence number the next record gets.
  uint32_t NextSequence() const { return nextSequence_; }
  // The first sequence number of this run.
  uint32_t FirstSequence() const { return firstSequence_; }

 private:
  std::string path_;
  uint32_t slots_;
  uint32_t showErrors_;
  uint32_t nextSequence_ = 0;
  uint32_t firstSequence_ = 0;
};

}  // namespace qrvn::provider
