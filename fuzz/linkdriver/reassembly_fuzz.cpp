// A stream of messages (each a length byte and that many bytes) through reply and event
// reassembly, with a small reply buffer and a small event limit so that every bound is hit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "linkdriver/reassembly.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qrvn::linkdriver;
  uint8_t guarded[64 + 16];
  std::memset(guarded, 0xA5, sizeof guarded);
  ReplyCollector reply;
  reply.Begin(guarded, 64);
  EventAssembler events(4096);
  size_t pos = 0;
  while (pos < size) {
    size_t length = data[pos++];
    if (length > size - pos) length = size - pos;
    std::span<const uint8_t> message(data + pos, length);
    pos += length;
    if (reply.Add(message)) {
      if (reply.Length() > 64) std::abort();
      reply.Begin(guarded, 64);
    }
    if (events.Add(message) == EventAssembler::Result::Complete && events.Event().size() > 4096) {
      std::abort();
    }
  }
  for (size_t i = 64; i < sizeof guarded; ++i) {
    if (guarded[i] != 0xA5) std::abort();
  }
  return 0;
}
