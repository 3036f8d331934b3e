// Payload blocks appended to a file: the payload bytes, then a 32-bit little-endian length
// that counts the payload plus its own four bytes. Blocks chain towards the front of the
// file: block 1 ends at the end of the file, block 2 ends where block 1 begins, and so on.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qrvn::installer {

enum class PayloadStatus {
  Ok,
  OpenFailed,         // the file could not be opened or created
  ReadFailed,         // a seek or read failed
  WriteFailed,        // a write failed
  NoLengthField,      // fewer than four bytes left in front of the block's end
  LengthBelowFour,    // a length that cannot even hold itself
  LengthBeforeStart,  // a length reaching before the start of the file
  TooLarge,           // a payload that a 32-bit length cannot describe
};

// The result of a payload operation: Ok, or what went wrong in words for people.
struct PayloadOutcome {
  PayloadStatus status = PayloadStatus::Ok;
  std::string message;
  bool Ok() const { return status == PayloadStatus::Ok; }
};

// Where one block's payload lies in its file (its length field follows it).
struct PayloadBlock {
  uint64_t offset = 0;  // first payload byte
  uint64_t size = 0;    // payload bytes, without the length field
};

// Finds block n (1 is the one ending at the end of the file); nothing is read beyond lengths.
PayloadOutcome LocateBlock(const std::string& file, uint32_t n, PayloadBlock& block);
// Reads block n's payload.
PayloadOutcome ReadBlock(const std::string& file, uint32_t n, std::vector<uint8_t>& payload);
// Walks the chain from the end while the lengths are sound; front is what is left before the
// last block found (the program image, or bytes that hold no sound length).
PayloadOutcome ListBlocks(const std::string& file, std::vector<PayloadBlock>& blocks,
                          uint64_t& front);
// Appends payload as a new block 1 of file (created when missing).
PayloadOutcome AppendBlock(const std::string& file, std::span<const uint8_t> payload);

// Reads a whole file.
PayloadOutcome ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
// Creates or replaces path with exactly bytes.
PayloadOutcome WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace qrvn::installer
