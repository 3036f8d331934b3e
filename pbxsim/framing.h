// The two framings of the serial link (text and binary), their control sequences, and a
// scanner that splits received bytes into frames, acknowledgements and noise. The PBX end
// scans both framings at once: the host may restart a session in text at any time, and it
// acknowledges the answer to a session open with a text "+" even on a binary link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pbxsim/message.h"

namespace qrvn::pbxsim {

enum class Framing { Text, Binary };

enum class Control { Ack, Nak, Block, Reset };

// One message in a frame: sequence '0' or '1' (text) / 0 or 1 (binary, less '0').
Bytes EncodeTextFrame(char sequence, const std::vector<Bytes>& messages);
Bytes EncodeBinaryFrame(char sequence, const std::vector<Bytes>& messages);
// A frame in the given framing; sequence is the character '0' or '1'.
Bytes EncodeFrame(Framing framing, char sequence, const std::vector<Bytes>& messages);
// The wire bytes of a control sequence in the given framing.
Bytes EncodeControl(Framing framing, Control control);

struct Token {
  enum class Type {
    None,      // nothing complete in the buffer yet
    Frame,     // a complete frame with a correct check
    BadFrame,  // a complete frame whose check (or inner layout) is wrong
    Control,   // an acknowledgement, negative acknowledgement, block or reset
    Noise,     // unframed bytes, discarded
  };
  Type type = Type::None;
  Framing framing = Framing::Text;
  char sequence = '0';
  std::vector<Bytes> messages;
  Control control = Control::Ack;
  Bytes raw;  // the bytes the token consumed
};

// Splits a receive buffer; each call consumes one token from its front.
class Scanner {
 public:
  // Appends received bytes.
  void Feed(const uint8_t* data, size_t size);
  // The next token; Type::None when the buffer holds only the start of something.
  Token Next();
  // Bytes waiting in the buffer.
  size_t Pending() const { return buffer_.size(); }
  // Drops everything buffered.
  void Clear() { buffer_.clear(); }

  // A frame that has not ended after this many bytes is noise.
  static constexpr size_t kMaxFrame = 16600;

 private:
  Token TakeNoise(size_t count);
  Token ScanText(size_t start);
  Token ScanBinary(size_t start);
  Bytes buffer_;
};

}  // namespace qrvn::pbxsim
