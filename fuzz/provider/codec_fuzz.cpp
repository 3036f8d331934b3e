// The CTI message codec never reads or writes outside its buffers, whatever the bytes:
// decode the input as a message, check every entry lies inside it, and build it back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "provider/core/message_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrvn::provider;
  uint32_t version = 0x13200;
  CodecSession session(&version);
  // An exactly sized copy, so that the sanitizer sees any read past the message.
  std::vector<uint8_t> message(data, data + size);
  const int32_t length = static_cast<int32_t>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
  ParsedParam entries[32];
  int32_t maxEntries = size > 0 ? 1 + data[0] % 32 : 32;
  int32_t n = ParseMessage(&session, entries, maxEntries, message.data(), length);
  if (n == kCodecTooShort) return 0;
  int32_t count = n < 0 ? -n : n;
  if (count > maxEntries) std::abort();
  std::vector<MessageParam> params;
  for (int32_t i = 0; i < count; ++i) {
    if (entries[i].offset + static_cast<uint64_t>(entries[i].length) > size) std::abort();
    params.push_back({static_cast<int32_t>(entries[i].tag), message.data() + entries[i].offset,
                      entries[i].length});
  }
  // Build into a buffer sized from the input, so that the fit test meets every edge.
  uint32_t bufferSize = size > 1 ? data[1] * 8u : 0u;
  std::vector<uint8_t> buffer(bufferSize);
  int32_t built = BuildMessage(&session, message.empty() ? 0 : message[0], buffer.data(),
                               bufferSize, params.data(), count);
  if (built > static_cast<int32_t>(bufferSize)) std::abort();
  return 0;
}
