// Joining of replies and events that the PBX sends in several fragments. A message whose
// byte 3 is nonzero is followed by more fragments; every later fragment repeats a 9-byte
// head (header and a two-byte count parameter) and contributes its bytes from offset 9 on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qrvn::linkdriver {

// Offset of the first byte a later fragment contributes.
inline constexpr size_t kFragmentDataOffset = 9;

// Collects one reply into the caller's buffer; bytes that do not fit are counted, not copied.
class ReplyCollector {
 public:
  // Starts a reply into dest (may be null with size 0: the reply is only counted).
  void Begin(uint8_t* dest, size_t size);
  // Forgets the destination so that nothing is written to it any more.
  void Forget() { Begin(nullptr, 0); }
  // Adds one reply message; true when it completed the reply (byte 3 zero).
  bool Add(std::span<const uint8_t> message);
  // The reply length: the bytes received, or -1 when they did not fit the destination.
  int32_t Length() const;
  // True once the last fragment has arrived.
  bool Complete() const { return complete_; }

 private:
  uint8_t* dest_ = nullptr;
  size_t size_ = 0;
  uint64_t received_ = 0;
  bool started_ = false;
  bool complete_ = false;
  uint8_t code_ = 0;
  uint8_t seq_ = 0;
};

// Joins the fragments of one event and keeps its record count up to date.
class EventAssembler {
 public:
  enum class Result {
    Collecting,  // a fragment was stored; more follow
    Complete,    // Event() is the whole event
    NoMemory,    // the area could not grow; the collected event was dropped
    TooLong,     // the event passed the length limit; the collected event was dropped
  };
  // maxBytes bounds the joined event, so that a flood of fragments cannot eat all memory.
  explicit EventAssembler(size_t maxBytes = kDefaultMaxBytes);
  // Adds one event message (kind 1).
  Result Add(std::span<const uint8_t> message);
  // The complete event (valid until the next Add).
  std::span<const uint8_t> Event() const { return event_; }
  // True while fragments are being collected.
  bool Collecting() const { return collecting_; }
  // Drops whatever was collected.
  void Clear();

  static constexpr size_t kInitialBytes = 8300;
  static constexpr size_t kGrowBytes = 16600;
  static constexpr size_t kDefaultMaxBytes = 1 << 20;

 private:
  bool Append(std::span<const uint8_t> bytes);
  // Adds a later fragment and updates the count; false when the area could not grow.
  bool AddLater(std::span<const uint8_t> fragment);

  std::vector<uint8_t> area_;
  size_t used_ = 0;
  size_t maxBytes_;
  bool collecting_ = false;
  bool tooLong_ = false;
  std::span<const uint8_t> event_;
};

}  // namespace qrvn::linkdriver
