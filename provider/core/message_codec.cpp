// The CTI message codec.
#include "provider/core/message_codec.h"

#include <cstring>

namespace qrvn::provider {

int32_t BuildMessage(const CodecSession* session, uint32_t code, uint8_t* buffer,
                     uint32_t bufferSize, const MessageParam* params, int32_t count) {
  if (session == nullptr || session->CtiVersionRef() == nullptr) return kCodecNoVersion;
  if (buffer == nullptr || bufferSize < 4) return kCodecNoRoom;
  std::memset(buffer, 0, bufferSize);
  buffer[0] = static_cast<uint8_t>(code);
  buffer[1] = kKindRequest;
  if (count < 1) return 4;
  if (params == nullptr) return kCodecNoRoom;
  uint64_t p = 4;
  for (int32_t i = 0; i < count; ++i) {
    const MessageParam& param = params[i];
    // Three bytes are reserved for tag and length; the sum is taken in 64 bits so that a
    // huge length cannot wrap round and pass.
    if (p + 3 + param.length >= bufferSize) return kCodecNoRoom;
    // The length field holds 16 bits; a longer value cannot be written faithfully.
    if (param.length > 0xFFFF || (param.length > 0 && param.value == nullptr)) return kCodecNoRoom;
    if (param.tag < 1) return kCodecBadTag;
    buffer[p] = static_cast<uint8_t>(param.tag);
    buffer[p + 1] = static_cast<uint8_t>(param.length >> 8);
    buffer[p + 2] = static_cast<uint8_t>(param.length);
    if (param.length > 0) std::memcpy(buffer + p + 3, param.value, param.length);
    p += 3 + param.length;
  }
  return static_cast<int32_t>(p);
}

int32_t ParseMessage(const CodecSession* session, ParsedParam* entries, int32_t maxEntries,
                     const uint8_t* message, int32_t length) {
  if (session == nullptr || session->CtiVersionRef() == nullptr) return kCodecNoVersion;
  if (message == nullptr || length < 4) return kCodecTooShort;
  const uint32_t end = static_cast<uint32_t>(length);
  int32_t n = 0;
  uint32_t p = 4;
  while (p < end && n < maxEntries && entries != nullptr) {
    uint32_t tag = message[p++];
    if (tag == 0 || p >= end) break;
    if (p + 2 > end) {
      // Only one byte of the length is left: the header is cut short.
      entries[n] = {tag, end, 0};
      break;
    }
    uint32_t valueLength = (static_cast<uint32_t>(message[p]) << 8) | message[p + 1];
    p += 2;
    if (p >= end) {
      // A parameter header with no value bytes left: written but not counted.
      entries[n] = {tag, p, 0};
      break;
    }
    // A length that claims more bytes than the message holds is cut to what is there, so
    // that no caller reads past the message.
    if (valueLength > end - p) valueLength = end - p;
    entries[n++] = {tag, p, valueLength};
    p += valueLength;
  }
  return message[1] == kKindNegativeReply ? -n : n;
}

}  // namespace qrvn::provider
