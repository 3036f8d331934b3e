// CTI messages as the PBX sees them: a four-byte header (code, kind, sequence number,
// fragment flag) and tag-length-value parameters with two-byte big-endian lengths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrvn::pbxsim {

using Bytes = std::vector<uint8_t>;

enum class Kind : uint8_t { Request = 1, Positive = 2, Negative = 3 };

struct Param {
  uint8_t tag = 0;
  Bytes value;
};

struct Message {
  uint8_t code = 0;
  uint8_t kind = 1;
  uint8_t sequence = 0;
  uint8_t fragment = 0;  // nonzero: more fragments of this message follow
  std::vector<Param> params;
  Bytes trailer;  // bytes after the parameters that do not form a parameter (record data)

  // The first parameter with this tag, or nullptr.
  const Param* Find(uint8_t tag) const;
  // The parameter at 1-based position, or nullptr.
  const Param* At(size_t position) const;
};

// Serialises a message: header, parameters, then the trailer bytes.
Bytes Encode(const Message& message);
// Decodes a message; nullopt when it is shorter than the header. Parameters run until the
// end, a tag 0, or a parameter whose value would pass the end (its bytes go to the trailer).
std::optional<Message> Decode(const Bytes& bytes);

// The name of a message code ("DeviceDataRequest"), or an empty view when unknown.
std::string_view CodeName(uint8_t code, bool event);
// The code of a request or event name (case-insensitive), or a decimal/0x number.
std::optional<uint8_t> CodeByName(std::string_view name);
// The written form of a device parameter ("ext 101", "trunk 3"), or empty when the value
// does not look like one.
std::string DescribeDevice(const Bytes& value);
// One line describing a message for people: code, name, kind, sequence, parameters by tag.
std::string Describe(const Bytes& bytes);

// Big-endian helpers used by every builder.
void PutU16(Bytes& out, uint32_t value);
uint32_t GetU16(const uint8_t* p);
// Hexadecimal rendering "0A 01 FF" of some bytes.
std::string Hex(const uint8_t* data, size_t size);
inline std::string Hex(const Bytes& b) {
  return Hex(b.data(), b.size());
}

}  // namespace qrvn::pbxsim
