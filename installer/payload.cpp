// Payload blocks: located by walking the length fields from the end of the file.
#include "installer/payload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace qrvn::installer {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

PayloadOutcome Fail(PayloadStatus status, std::string message) {
  return PayloadOutcome{status, std::move(message)};
}

std::string SystemReason() {
  return std::strerror(errno);
}

PayloadOutcome OpenFile(const std::string& path, const char* mode, File& file) {
  errno = 0;
  file.reset(std::fopen(path.c_str(), mode));
  if (!file) {
    return Fail(PayloadStatus::OpenFailed, "cannot open \"" + path + "\": " + SystemReason());
  }
  return {};
}

PayloadOutcome FileSize(std::FILE* file, const std::string& path, uint64_t& size) {
  if (std::fseek(file, 0, SEEK_END) != 0) {
    return Fail(PayloadStatus::ReadFailed, "cannot seek in \"" + path + "\": " + SystemReason());
  }
  long end = std::ftell(file);
  if (end < 0) {
    return Fail(PayloadStatus::ReadFailed, "cannot seek in \"" + path + "\": " + SystemReason());
  }
  size = static_cast<uint64_t>(end);
  return {};
}

PayloadOutcome ReadAt(std::FILE* file, const std::string& path, uint64_t offset, void* buffer,
                      size_t size) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<long>::max()) ||
      std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
    return Fail(PayloadStatus::ReadFailed, "cannot seek in \"" + path + "\": " + SystemReason());
  }
  if (size != 0 && std::fread(buffer, 1, size, file) != size) {
    return Fail(PayloadStatus::ReadFailed, "cannot read \"" + path + "\"");
  }
  return {};
}

// Reads the length field that ends `end` bytes into the file and checks that the block it
// describes lies wholly between the start of the file and `end`.
PayloadOutcome ReadLength(std::FILE* file, const std::string& path, uint64_t end,
                          uint32_t blockNumber, uint32_t& length) {
  std::string block = "block " + std::to_string(blockNumber) + " of \"" + path + "\"";
  if (end < 4) {
    return Fail(PayloadStatus::NoLengthField,
                block + ": only " + std::to_string(end) + " bytes left for its 4-byte length");
  }
  uint8_t bytes[4];
  PayloadOutcome read = ReadAt(file, path, end - 4, bytes, sizeof bytes);
  if (!read.Ok()) return read;
  length = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  if (length < 4) {
    return Fail(PayloadStatus::LengthBelowFour,
                block + ": length " + std::to_string(length) + " is below 4");
  }
  if (length > end) {
    return Fail(PayloadStatus::LengthBeforeStart, block + ": length " + std::to_string(length) +
                                                      " reaches " + std::to_string(length - end) +
                                                      " bytes before the start of the file");
  }
  return {};
}

PayloadOutcome Locate(std::FILE* file, const std::string& path, uint32_t n, PayloadBlock& block) {
  if (n == 0) return Fail(PayloadStatus::ReadFailed, "blocks are numbered from 1");
  uint64_t size = 0;
  PayloadOutcome sized = FileSize(file, path, size);
  if (!sized.Ok()) return sized;
  uint64_t walked = 0;
  uint32_t length = 0;
  for (uint32_t i = 1; i <= n; ++i) {
    PayloadOutcome read = ReadLength(file, path, size - walked, i, length);
    if (!read.Ok()) return read;
    walked += length;
  }
  block.offset = size - walked;
  block.size = length - 4;
  return {};
}

}  // namespace

PayloadOutcome LocateBlock(const std::string& file, uint32_t n, PayloadBlock& block) {
  File handle;
  PayloadOutcome opened = OpenFile(file, "rb", handle);
  if (!opened.Ok()) return opened;
  return Locate(handle.get(), file, n, block);
}

PayloadOutcome ReadBlock(const std::string& file, uint32_t n, std::vector<uint8_t>& payload) {
  File handle;
  PayloadOutcome opened = OpenFile(file, "rb", handle);
  if (!opened.Ok()) return opened;
  PayloadBlock block;
  PayloadOutcome located = Locate(handle.get(), file, n, block);
  if (!located.Ok()) return located;
  // The size is bounded by the file's own size, so this never asks for more than exists.
  std::vector<uint8_t> bytes(block.size);
  PayloadOutcome read = ReadAt(handle.get(), file, block.offset, bytes.data(), bytes.size());
  if (!read.Ok()) return read;
  payload = std::move(bytes);
  return {};
}

PayloadOutcome ListBlocks(const std::string& file, std::vector<PayloadBlock>& blocks,
                          uint64_t& front) {
  File handle;
  PayloadOutcome opened = OpenFile(file, "rb", handle);
  if (!opened.Ok()) return opened;
  uint64_t size = 0;
  PayloadOutcome sized = FileSize(handle.get(), file, size);
  if (!sized.Ok()) return sized;
  blocks.clear();
  uint64_t end = size;
  // A front part that happens to end in a sound-looking length cannot be told from a block;
  // the walk stops at the first length that is not sound, or at the start of the file.
  while (end > 0) {
    uint32_t length = 0;
    PayloadOutcome read =
        ReadLength(handle.get(), file, end, static_cast<uint32_t>(blocks.size() + 1), length);
    if (read.status == PayloadStatus::ReadFailed) return read;
    if (!read.Ok()) break;
    blocks.push_back(PayloadBlock{end - length, length - 4u});
    end -= length;
  }
  front = end;
  return {};
}

PayloadOutcome AppendBlock(const std::string& file, std::span<const uint8_t> payload) {
  if (payload.size() > std::numeric_limits<uint32_t>::max() - 4u) {
    return Fail(PayloadStatus::TooLarge, "a payload of " + std::to_string(payload.size()) +
                                             " bytes does not fit a 32-bit length");
  }
  uint32_t length = static_cast<uint32_t>(payload.size()) + 4u;
  const uint8_t field[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                            static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  File handle;
  PayloadOutcome opened = OpenFile(file, "ab", handle);
  if (!opened.Ok()) return opened;
  bool written = (payload.empty() ||
                  std::fwrite(payload.data(), 1, payload.size(), handle.get()) == payload.size()) &&
                 std::fwrite(field, 1, sizeof field, handle.get()) == sizeof field;
  if (!written || std::fclose(handle.release()) != 0) {
    return Fail(PayloadStatus::WriteFailed, "cannot write \"" + file + "\": " + SystemReason());
  }
  return {};
}

PayloadOutcome ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  File handle;
  PayloadOutcome opened = OpenFile(path, "rb", handle);
  if (!opened.Ok()) return opened;
  uint64_t size = 0;
  PayloadOutcome sized = FileSize(handle.get(), path, size);
  if (!sized.Ok()) return sized;
  std::vector<uint8_t> read(size);
  PayloadOutcome got = ReadAt(handle.get(), path, 0, read.data(), read.size());
  if (!got.Ok()) return got;
  bytes = std::move(read);
  return {};
}

PayloadOutcome WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  File handle;
  errno = 0;
  handle.reset(std::fopen(path.c_str(), "wb"));
  if (!handle) {
    return Fail(PayloadStatus::OpenFailed, "cannot create \"" + path + "\": " + SystemReason());
  }
  bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), handle.get()) == bytes.size();
  if (!written || std::fclose(handle.release()) != 0) {
    return Fail(PayloadStatus::WriteFailed, "cannot write \"" + path + "\": " + SystemReason());
  }
  return {};
}

}  // namespace qrvn::installer
