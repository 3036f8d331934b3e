// CTI messages: a four-byte header (code, kind, sequence, fragment flag) followed by
// parameters of tag (1 byte), length (2 bytes, most significant first) and value.
#pragma once

#include <cstdint>

namespace qrvn::provider {

// Message kinds (byte 1).
inline constexpr uint8_t kKindRequest = 1;  // every request we build and every PBX event
inline constexpr uint8_t kKindPositiveReply = 2;
inline constexpr uint8_t kKindNegativeReply = 3;
// The largest request the link driver carries, and the size of a reply buffer.
inline constexpr int32_t kMaxMessage = 2048;

// Codec results.
inline constexpr int32_t kCodecNoRoom = -1;        // buffer below 4 bytes or a parameter too big
inline constexpr int32_t kCodecBadTag = -2;        // a parameter tag below 1
inline constexpr int32_t kCodecNoVersion = -9998;  // the session has no CTI version reference
inline constexpr int32_t kCodecTooShort = -9999;   // a message shorter than its header

// What the codec needs of a PBX session: a reference to its instance's CTI version word.
class CodecSession {
 public:
  explicit CodecSession(const uint32_t* ctiVersion) : ctiVersion_(ctiVersion) {}
  virtual ~CodecSession() = default;
  // The instance's CTI version word, or null when the session has none.
  const uint32_t* CtiVersionRef() const { return ctiVersion_; }

 private:
  const uint32_t* ctiVersion_;
};

// One parameter to build: only the low byte of tag is written; tag must be at least 1.
struct MessageParam {
  int32_t tag;
  const void* value;
  uint32_t length;
};

// One decoded parameter: the value stays in the message at offset, length bytes long.
struct ParsedParam {
  uint32_t tag;
  uint32_t offset;
  uint32_t length;
};

// Builds a request into buffer (cleared first); the total length or a negative codec result.
int32_t BuildMessage(const CodecSession* session, uint32_t code, uint8_t* buffer,
                     uint32_t bufferSize, const MessageParam* params, int32_t count);
// Decodes the parameters of a message; their count, negated for a negative reply, or a
// negative codec result.
int32_t ParseMessage(const CodecSession* session, ParsedParam* entries, int32_t maxEntries,
                     const uint8_t* message, int32_t length);

}  // namespace qrvn::provider
