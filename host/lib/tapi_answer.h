// Reading what a provider wrote into a TAPI structure: the fixed part and the variable parts
// named by size and offset. A provider's sizes and offsets are not trusted: a part that does
// not lie inside the answer is refused, never read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tapi/tapi.h"

namespace qrvn::host {

// Converts UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// A provider's answer: a TAPI structure at the start of a buffer.
class TapiAnswer {
 public:
  explicit TapiAnswer(std::span<const uint8_t> buffer);

  // A copy of the fixed part of T; fields beyond the buffer read as 0.
  template <typename T>
  T Fixed() const {
    T value{};
    std::memcpy(&value, buffer_.data(), std::min(sizeof(T), buffer_.size()));
    return value;
  }
  // The bytes [offset, offset + size), or nullopt when they do not lie within the used part of
  // the answer. A part of size 0 is an empty span.
  std::optional<std::span<const uint8_t>> Part(DWORD size, DWORD offset) const;
  // A text part in the structure's string format (dwStringFormat), as UTF-8 without its
  // terminator; nullopt when the part is outside the answer.
  std::optional<std::string> Text(DWORD size, DWORD offset, DWORD stringFormat) const;
  // A list of texts each ended by a zero (as dwDeviceClasses holds them).
  std::optional<std::vector<std::string>> TextList(DWORD size, DWORD offset,
                                                   DWORD stringFormat) const;
  // A part as its 32-bit words (a trailing partial word is dropped).
  std::optional<std::vector<DWORD>> Words(DWORD size, DWORD offset) const;
  // The bytes the answer says it used (dwUsedSize, cut to the buffer).
  size_t UsedSize() const { return used_; }

 private:
  std::span<const uint8_t> buffer_;
  size_t used_ = 0;
};

}  // namespace qrvn::host
