// Received bytes through the text and binary scanners and the message decoder, token by
// token as the receive loop consumes them, blocked and not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "linkdriver/framing.h"

namespace {

using namespace qrvn::linkdriver;

void Consume(Framing framing, bool blocked, std::span<const uint8_t> bytes) {
  static Message message;
  size_t pos = 0;
  while (pos < bytes.size()) {
    std::span<const uint8_t> rest = bytes.subspan(pos);
    Token t = Scan(framing, rest, blocked);
    if (t.start > t.end || t.end > rest.size()) std::abort();
    if (t.kind == TokenKind::Frame) {
      if (t.bodyBegin > t.bodyEnd || t.bodyEnd > t.end) std::abort();
      std::span<const uint8_t> body = rest.subspan(t.bodyBegin, t.bodyEnd - t.bodyBegin);
      size_t at = 0;
      while (NextMessage(framing, body, &at, &message)) {
        if (message.length > kMaxMessage || at > body.size()) std::abort();
      }
    }
    if (t.kind == TokenKind::Incomplete) {
      if (t.start == 0) return;  // waits for more bytes
      pos += t.start;
      continue;
    }
    if (t.end == 0) return;  // a final escape byte kept for later
    pos += t.end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  for (Framing framing : {Framing::Text, Framing::Binary}) {
    Consume(framing, false, bytes);
    Consume(framing, true, bytes);
  }
  (void)RenderBinary(bytes);
  return 0;
}
