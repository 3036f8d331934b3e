#include "linkdriver/framing.h"

#include <cstring>

namespace qrvn::linkdriver {
namespace {

constexpr uint8_t kEsc = 0x0A;
constexpr uint8_t kBinStart = 0x01;
constexpr uint8_t kBinHeaderEnd = 0x02;
constexpr uint8_t kBinEnd = 0x03;
constexpr uint8_t kBinBlock = 0x04;
constexpr uint8_t kBinReset = 0x05;
constexpr uint8_t kBinAck = 0x06;
constexpr uint8_t kBinNack = 0x0F;
constexpr uint8_t kBinAckAlt = 0x10;

constexpr char kHex[] = "0123456789ABCDEF";

void PutHex(std::vector<uint8_t>& out, uint8_t value) {
  out.push_back(static_cast<uint8_t>(kHex[value >> 4]));
  out.push_back(static_cast<uint8_t>(kHex[value & 0x0F]));
}

// Values of hexadecimal digits (either case); -1 for every other byte.
constexpr std::array<int8_t, 256> kHexValues = [] {
  std::array<int8_t, 256> table{};
  for (size_t c = 0; c < table.size(); ++c) table[c] = -1;
  for (int d = 0; d < 10; ++d)
    table[static_cast<size_t>('0') + static_cast<size_t>(d)] = static_cast<int8_t>(d);
  for (int d = 0; d < 6; ++d) {
    table[static_cast<size_t>('A') + static_cast<size_t>(d)] = static_cast<int8_t>(10 + d);
    table[static_cast<size_t>('a') + static_cast<size_t>(d)] = static_cast<int8_t>(10 + d);
  }
  return table;
}();

int HexValue(uint8_t c) {
  return kHexValues[c];
}

// Two hexadecimal digits as a byte, or -1.
int HexByte(const uint8_t* p) {
  int hi = HexValue(p[0]);
  int lo = HexValue(p[1]);
  return hi < 0 || lo < 0 ? -1 : (hi << 4) | lo;
}

uint8_t Xor(std::span<const uint8_t> bytes) {
  uint8_t x = 0;
  for (uint8_t b : bytes) x ^= b;
  return x;
}

bool HasLineBreak(std::span<const uint8_t> bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if ((bytes[i] == '\r' && bytes[i + 1] == '\n') || (bytes[i] == '\n' && bytes[i + 1] == '\r')) {
      return true;
    }
  }
  return false;
}

void PutEscaped(std::vector<uint8_t>& out, uint8_t b) {
  out.push_back(b);
  if (b == kEsc) out.push_back(kEsc);
}

// Scans a text frame starting with "[" at s.
Token ScanTextFrame(std::span<const uint8_t> bytes, size_t s) {
  Token t;
  t.start = s;
  const void* found = std::memchr(bytes.data() + s + 1, ']', bytes.size() - s - 1);
  if (found == nullptr) {
    t.kind = TokenKind::Incomplete;
    t.end = s;
    return t;
  }
  size_t close = static_cast<size_t>(static_cast<const uint8_t*>(found) - bytes.data());
  if (close + 2 >= bytes.size()) {  // the two check digits are still to come
    t.kind = TokenKind::Incomplete;
    t.end = s;
    return t;
  }
  t.end = close + 3;
  int check = HexByte(bytes.data() + close + 1);
  bool headerOk = close >= s + 3 && bytes[s + 2] == ':';
  if (!headerOk || check < 0 || check != Xor(bytes.subspan(s + 1, close - s))) {
    t.kind = TokenKind::BadFrame;
    return t;
  }
  t.kind = TokenKind::Frame;
  t.seq = static_cast<char>(bytes[s + 1]);
  t.bodyBegin = s + 3;
  t.bodyEnd = close;
  return t;
}

// Scans a binary frame whose 0x0A 0x01 starts at s.
Token ScanBinaryFrame(std::span<const uint8_t> bytes, size_t s) {
  Token t;
  t.start = s;
  size_t n = bytes.size();
  if (s + 5 > n) {
    t.kind = TokenKind::Incomplete;
    t.end = s;
    return t;
  }
  if (bytes[s + 2] == kEsc || bytes[s + 3] != kEsc || bytes[s + 4] != kBinHeaderEnd) {
    // Not a frame header: drop the start sequence and let the rest be scanned again.
    t.kind = TokenKind::BadFrame;
    t.end = s + 2;
    return t;
  }
  size_t i = s + 5;
  while (i < n) {
    const void* esc = std::memchr(bytes.data() + i, kEsc, n - i);
    if (esc == nullptr) break;
    i = static_cast<size_t>(static_cast<const uint8_t*>(esc) - bytes.data());
    if (i + 1 >= n) break;
    uint8_t code = bytes[i + 1];
    if (code == kEsc) {
      i += 2;
      continue;
    }
    if (code == kBinEnd) {
      if (i + 2 >= n) break;  // the check byte is still to come
      t.end = i + 3;
      if (bytes[i + 2] != Xor(bytes.subspan(s + 2, i + 2 - (s + 2)))) {
        t.kind = TokenKind::BadFrame;
        return t;
      }
      t.kind = TokenKind::Frame;
      t.seq = static_cast<char>('0' + bytes[s + 2]);
      t.bodyBegin = s + 5;
      t.bodyEnd = i;
      return t;
    }
    // Any other escape inside a frame means the frame was cut short: answer it as bad and
    // scan the escape sequence again on its own.
    t.kind = TokenKind::BadFrame;
    t.end = i;
    return t;
  }
  t.kind = TokenKind::Incomplete;
  t.end = s;
  return t;
}

// One logical byte of the escaped binary stream at *pos, within [.., end); -1 when malformed.
int UnescapeByte(std::span<const uint8_t> body, size_t* pos, size_t end) {
  if (*pos >= end) return -1;
  uint8_t b = body[*pos];
  if (b != kEsc) {
    ++*pos;
    return b;
  }
  if (*pos + 1 >= end || body[*pos + 1] != kEsc) return -1;
  *pos += 2;
  return kEsc;
}

}  // namespace

std::vector<uint8_t> BuildTextFrame(char seq, std::span<const uint8_t> message) {
  std::vector<uint8_t> out;
  out.reserve(message.size() * 2 + 10);
  out.push_back('[');
  out.push_back(static_cast<uint8_t>(seq));
  out.push_back(':');
  size_t digits = message.size() * 2;
  PutHex(out, static_cast<uint8_t>(digits >> 8));
  PutHex(out, static_cast<uint8_t>(digits & 0xFF));
  for (uint8_t b : message) PutHex(out, b);
  out.push_back(']');
  PutHex(out, Xor(std::span<const uint8_t>(out).subspan(1)));
  return out;
}

std::vector<uint8_t> BuildBinaryFrame(char seq, std::span<const uint8_t> message) {
  std::vector<uint8_t> out;
  out.reserve(message.size() * 2 + 12);
  out.push_back(kEsc);
  out.push_back(kBinStart);
  out.push_back(static_cast<uint8_t>(seq - '0'));
  out.push_back(kEsc);
  out.push_back(kBinHeaderEnd);
  size_t escaped = message.size();
  for (uint8_t b : message) escaped += b == kEsc ? 1 : 0;
  PutEscaped(out, static_cast<uint8_t>(escaped >> 8));
  PutEscaped(out, static_cast<uint8_t>(escaped & 0xFF));
  for (uint8_t b : message) PutEscaped(out, b);
  out.push_back(kEsc);
  out.push_back(kBinEnd);
  out.push_back(Xor(std::span<const uint8_t>(out).subspan(2)));
  return out;
}

std::vector<uint8_t> ControlBytes(Framing framing, Control control) {
  if (framing == Framing::Text) {
    switch (control) {
      case Control::Ack:
        return {'+'};
      case Control::Nack:
        return {'-'};
      case Control::Block:
        return {'!'};
      case Control::Reset:
        return {'?'};
    }
  }
  switch (control) {
    case Control::Ack:
      return {kEsc, kBinAck};
    case Control::Nack:
      return {kEsc, kBinNack};
    case Control::Block:
      return {kEsc, kBinBlock};
    case Control::Reset:
      return {kEsc, kBinReset};
  }
  return {};
}

Token ScanText(std::span<const uint8_t> bytes, bool blocked) {
  Token t;
  size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = bytes[i];
    TokenKind kind;
    if (blocked) {
      if (c != '?') continue;
      kind = TokenKind::Reset;
    } else {
      switch (c) {
        case '!':
          kind = TokenKind::Block;
          break;
        case '+':
        case '/':
          kind = TokenKind::Ack;
          break;
        case '-':
          kind = TokenKind::Nack;
          break;
        case '?':
          kind = TokenKind::Reset;
          break;
        case '[':
          return ScanTextFrame(bytes, i);
        default:
          continue;
      }
    }
    t.kind = kind;
    t.start = i;
    t.end = i + 1;
    return t;
  }
  t.kind = TokenKind::Nothing;
  t.start = n;
  t.end = n;
  t.lineBreak = !blocked && HasLineBreak(bytes);
  return t;
}

Token ScanBinary(std::span<const uint8_t> bytes, bool blocked) {
  Token t;
  size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const void* found = std::memchr(bytes.data() + i, blocked ? kBinReset : kEsc, n - i);
    if (blocked) {
      // While blocked the reset counts both as 0x0A 0x05 and as a lone 0x05.
      if (found == nullptr) break;
      size_t at = static_cast<size_t>(static_cast<const uint8_t*>(found) - bytes.data());
      t.kind = TokenKind::Reset;
      t.start = at > 0 && bytes[at - 1] == kEsc ? at - 1 : at;
      t.end = at + 1;
      return t;
    }
    if (found == nullptr) break;
    size_t at = static_cast<size_t>(static_cast<const uint8_t*>(found) - bytes.data());
    if (at + 1 >= n) {
      // A final 0x0A may start an escape sequence: keep it.
      t.kind = TokenKind::Nothing;
      t.start = at;
      t.end = at;
      return t;
    }
    TokenKind kind;
    switch (bytes[at + 1]) {
      case kBinStart:
        return ScanBinaryFrame(bytes, at);
      case kBinBlock:
        kind = TokenKind::Block;
        break;
      case kBinReset:
        kind = TokenKind::Reset;
        break;
      case kBinAck:
      case kBinAckAlt:
        kind = TokenKind::Ack;
        break;
      case kBinNack:
        kind = TokenKind::Nack;
        break;
      default:
        i = at + 2;  // an escape pair with no meaning outside a frame
        continue;
    }
    t.kind = kind;
    t.start = at;
    t.end = at + 2;
    return t;
  }
  t.kind = TokenKind::Nothing;
  t.start = n;
  t.end = n;
  return t;
}

bool NextMessage(Framing framing, std::span<const uint8_t> body, size_t* pos, Message* out) {
  size_t p = *pos;
  size_t n = body.size();
  if (p >= n) return false;
  if (framing == Framing::Text) {
    if (p + 4 > n) return false;
    int hi = HexByte(body.data() + p);
    int lo = HexByte(body.data() + p + 2);
    if (hi < 0 || lo < 0) return false;
    size_t digits = static_cast<size_t>((hi << 8) | lo);
    p += 4;
    if (digits % 2 != 0 || digits / 2 > kMaxMessage || p + digits > n) return false;
    for (size_t k = 0; k < digits / 2; ++k) {
      int b = HexByte(body.data() + p + 2 * k);
      if (b < 0) return false;
      out->bytes[k] = static_cast<uint8_t>(b);
    }
    out->length = digits / 2;
    *pos = p + digits;
    return true;
  }
  int hi = UnescapeByte(body, &p, n);
  int lo = hi < 0 ? -1 : UnescapeByte(body, &p, n);
  if (lo < 0) return false;
  size_t escaped = static_cast<size_t>((hi << 8) | lo);
  if (p + escaped > n) return false;
  size_t end = p + escaped;
  size_t k = 0;
  while (p < end) {
    int b = UnescapeByte(body, &p, end);
    if (b < 0 || k >= kMaxMessage) return false;
    out->bytes[k++] = static_cast<uint8_t>(b);
  }
  out->length = k;
  *pos = end;
  return true;
}

std::string RenderBinary(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  bool inHeader = false;
  size_t i = 0;
  while (i < bytes.size()) {
    uint8_t b = bytes[i];
    if (b == kEsc && i + 1 < bytes.size()) {
      const char* symbol = nullptr;
      switch (bytes[i + 1]) {
        case kBinStart:
          symbol = "^[";
          break;
        case kBinHeaderEnd:
          symbol = "^:";
          break;
        case kBinEnd:
          symbol = "^]";
          break;
        case kBinBlock:
          symbol = "^!";
          break;
        case kBinReset:
          symbol = "^?";
          break;
        case kBinAck:
          symbol = "^+";
          break;
        case kBinNack:
          symbol = "^-";
          break;
        case kBinAckAlt:
          symbol = "^/";
          break;
        case kEsc:
          symbol = "^0A";
          break;
        default:
          break;
      }
      if (symbol != nullptr) {
        out += symbol;
        inHeader = bytes[i + 1] == kBinStart;
        i += 2;
        continue;
      }
    }
    if (inHeader && b < 10) {
      out.push_back(static_cast<char>('0' + b));
    } else {
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
    ++i;
  }
  return out;
}

}  // namespace qrvn::linkdriver
