// The two framings of the PBX link (text and binary): frame building, the scanners that find
// the next control character or frame in received bytes, and the decoding of a frame's
// messages. Pure functions over byte spans, so that they can be tested and fuzzed alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qrvn::linkdriver {

// The longest CTI message a single frame message may carry.
inline constexpr size_t kMaxMessage = 2048;

enum class Framing { Text, Binary };

// The single-character signals of the link.
enum class Control { Ack, Nack, Block, Reset };

// Builds the frame that carries one message; seq is the sequence character '0' or '1'.
std::vector<uint8_t> BuildTextFrame(char seq, std::span<const uint8_t> message);
// Builds the binary frame of one message (0x0A doubled in the length and the body).
std::vector<uint8_t> BuildBinaryFrame(char seq, std::span<const uint8_t> message);
// The bytes of one control signal in a framing ("+" or 0x0A 0x06, ...).
std::vector<uint8_t> ControlBytes(Framing framing, Control control);

enum class TokenKind {
  Nothing,     // no control character: bytes [0, end) are unframed and to be discarded
  Incomplete,  // a frame starts at `start` but has not fully arrived; [0, start) is unframed
  Ack,         // "+" or "/"
  Nack,        // "-"
  Block,       // "!"
  Reset,       // "?" (or, while blocked in binary framing, a single 0x05)
  Frame,       // a complete frame with a correct check
  BadFrame,    // a complete frame with a wrong check, or a malformed frame header
};

// The first token found in received bytes. Bytes [0, start) precede the token and are
// discarded with it; [start, end) is the token itself; [0, end) is consumed.
struct Token {
  TokenKind kind = TokenKind::Nothing;
  size_t start = 0;
  size_t end = 0;
  char seq = 0;            // Frame: the sequence character ('0' + sequence byte in binary)
  size_t bodyBegin = 0;    // Frame: first byte after the header end
  size_t bodyEnd = 0;      // Frame: the frame end sequence
  bool lineBreak = false;  // Nothing: the unframed bytes hold CR LF or LF CR
};

// Finds the first token in text framing; while blocked only "?" counts.
Token ScanText(std::span<const uint8_t> bytes, bool blocked);
// Finds the first token in binary framing; while blocked only 0x0A 0x05 or 0x05 counts.
Token ScanBinary(std::span<const uint8_t> bytes, bool blocked);
// Finds the first token of the given framing.
inline Token Scan(Framing framing, std::span<const uint8_t> bytes, bool blocked) {
  return framing == Framing::Text ? ScanText(bytes, blocked) : ScanBinary(bytes, blocked);
}

// A decoded message of at most kMaxMessage bytes.
struct Message {
  std::array<uint8_t, kMaxMessage> bytes;
  size_t length = 0;
  std::span<const uint8_t> View() const { return {bytes.data(), length}; }
};

// Decodes the next message of a frame body from *pos on; false at the end of the body or at
// the first malformed or over-long message (the rest of the body is then ignored).
bool NextMessage(Framing framing, std::span<const uint8_t> body, size_t* pos, Message* out);

// Renders bytes of the binary framing for the trace log ("^[0^:0003..." style).
std::string RenderBinary(std::span<const uint8_t> bytes);

}  // namespace qrvn::linkdriver
