#include "pbxsim/framing.h"

#include <cstdio>

namespace qrvn::pbxsim {

namespace {

constexpr uint8_t kEsc = 0x0A;

void PutHexByte(Bytes& out, uint8_t b) {
  static const char kDigits[] = "0123456789ABCDEF";
  out.push_back(static_cast<uint8_t>(kDigits[b >> 4]));
  out.push_back(static_cast<uint8_t>(kDigits[b & 0x0F]));
}

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void PutEscaped(Bytes& out, uint8_t b) {
  out.push_back(b);
  if (b == kEsc) out.push_back(kEsc);
}

size_t EscapedSize(const Bytes& message) {
  size_t n = message.size();
  for (uint8_t b : message) n += b == kEsc ? 1 : 0;
  return n;
}

bool IsControlStart(uint8_t b) {
  return b == '[' || b == '+' || b == '/' || b == '-' || b == '!' || b == '?' || b == kEsc;
}

}  // namespace

Bytes EncodeTextFrame(char sequence, const std::vector<Bytes>& messages) {
  Bytes out = {'[', static_cast<uint8_t>(sequence), ':'};
  for (const Bytes& m : messages) {
    size_t digits = m.size() * 2;
    PutHexByte(out, static_cast<uint8_t>((digits >> 8) & 0xFF));
    PutHexByte(out, static_cast<uint8_t>(digits & 0xFF));
    for (uint8_t b : m) PutHexByte(out, b);
  }
  out.push_back(']');
  uint8_t check = 0;
  for (size_t i = 1; i < out.size(); ++i) check ^= out[i];
  PutHexByte(out, check);
  return out;
}

Bytes EncodeBinaryFrame(char sequence, const std::vector<Bytes>& messages) {
  Bytes out = {kEsc, 0x01, static_cast<uint8_t>(sequence - '0'), kEsc, 0x02};
  for (const Bytes& m : messages) {
    size_t length = EscapedSize(m);
    PutEscaped(out, static_cast<uint8_t>((length >> 8) & 0xFF));
    PutEscaped(out, static_cast<uint8_t>(length & 0xFF));
    for (uint8_t b : m) PutEscaped(out, b);
  }
  out.push_back(kEsc);
  out.push_back(0x03);
  uint8_t check = 0;
  for (size_t i = 2; i < out.size(); ++i) check ^= out[i];
  out.push_back(check);
  return out;
}

Bytes EncodeFrame(Framing framing, char sequence, const std::vector<Bytes>& messages) {
  return framing == Framing::Text ? EncodeTextFrame(sequence, messages)
                                  : EncodeBinaryFrame(sequence, messages);
}

Bytes EncodeControl(Framing framing, Control control) {
  if (framing == Framing::Text) {
    switch (control) {
      case Control::Ack:
        return {'+'};
      case Control::Nak:
        return {'-'};
      case Control::Block:
        return {'!'};
      case Control::Reset:
        return {'?'};
    }
  }
  switch (control) {
    case Control::Ack:
      return {kEsc, 0x06};
    case Control::Nak:
      return {kEsc, 0x0F};
    case Control::Block:
      return {kEsc, 0x04};
    case Control::Reset:
      return {kEsc, 0x05};
  }
  return {};
}

void Scanner::Feed(const uint8_t* data, size_t size) {
  buffer_.insert(buffer_.end(), data, data + size);
}

Token Scanner::TakeNoise(size_t count) {
  Token t;
  t.type = Token::Type::Noise;
  t.raw.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
  return t;
}

Token Scanner::Next() {
  if (buffer_.empty()) return {};
  size_t i = 0;
  while (i < buffer_.size() && !IsControlStart(buffer_[i])) ++i;
  if (i > 0) return TakeNoise(i);
  uint8_t b = buffer_[0];
  Token t;
  t.type = Token::Type::Control;
  t.framing = Framing::Text;
  switch (b) {
    case '[':
      return ScanText(0);
    case '+':
    case '/':
      t.control = Control::Ack;
      break;
    case '-':
      t.control = Control::Nak;
      break;
    case '!':
      t.control = Control::Block;
      break;
    case '?':
      t.control = Control::Reset;
      break;
    default: {  // the escape byte
      if (buffer_.size() < 2) return {};
      t.framing = Framing::Binary;
      switch (buffer_[1]) {
        case 0x01:
          return ScanBinary(0);
        case 0x06:
        case 0x10:
          t.control = Control::Ack;
          break;
        case 0x0F:
          t.control = Control::Nak;
          break;
        case 0x04:
          t.control = Control::Block;
          break;
        case 0x05:
          t.control = Control::Reset;
          break;
        default:
          return TakeNoise(1);
      }
      t.raw.assign(buffer_.begin(), buffer_.begin() + 2);
      buffer_.erase(buffer_.begin(), buffer_.begin() + 2);
      return t;
    }
  }
  t.raw = {b};
  buffer_.erase(buffer_.begin());
  return t;
}

Token Scanner::ScanText(size_t start) {
  size_t close = start + 1;
  while (close < buffer_.size() && buffer_[close] != ']') {
    // A second frame start before the end: the first frame was cut off.
    if (buffer_[close] == '[') return TakeNoise(close);
    ++close;
  }
  if (close >= buffer_.size()) {
    if (buffer_.size() > kMaxFrame) return TakeNoise(buffer_.size());
    return {};
  }
  if (close + 2 >= buffer_.size()) return {};
  size_t end = close + 3;
  Token t;
  t.framing = Framing::Text;
  t.raw.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(end));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(end));
  const Bytes& r = t.raw;
  uint8_t check = 0;
  for (size_t k = 1; k <= close; ++k) check ^= r[k];
  int hi = HexValue(r[close + 1]);
  int lo = HexValue(r[close + 2]);
  t.type = Token::Type::BadFrame;
  t.sequence = close > 1 ? static_cast<char>(r[1]) : '0';
  if (hi < 0 || lo < 0 || check != static_cast<uint8_t>(hi * 16 + lo)) return t;
  if (close < 3 || (r[1] != '0' && r[1] != '1') || r[2] != ':') return t;
  size_t p = 3;
  while (p < close) {
    if (p + 4 > close) return t;
    int digits = 0;
    for (size_t k = 0; k < 4; ++k) {
      int v = HexValue(r[p + k]);
      if (v < 0) return t;
      digits = digits * 16 + v;
    }
    p += 4;
    if (digits % 2 != 0 || p + static_cast<size_t>(digits) > close) return t;
    Bytes message;
    for (int k = 0; k < digits; k += 2) {
      int h = HexValue(r[p + static_cast<size_t>(k)]);
      int l = HexValue(r[p + static_cast<size_t>(k) + 1]);
      if (h < 0 || l < 0) return t;
      message.push_back(static_cast<uint8_t>(h * 16 + l));
    }
    p += static_cast<size_t>(digits);
    t.messages.push_back(std::move(message));
  }
  t.type = Token::Type::Frame;
  return t;
}

Token Scanner::ScanBinary(size_t start) {
  const Bytes& b = buffer_;
  size_t n = b.size();
  size_t p = start + 2;
  if (p >= n) return {};
  uint8_t sequence = b[p];
  if (sequence > 1) return TakeNoise(2);
  ++p;
  if (p + 1 >= n) return {};
  if (b[p] != kEsc || b[p + 1] != 0x02) return TakeNoise(2);
  p += 2;
  std::vector<Bytes> messages;
  bool layoutOk = true;
  // Reads one data byte at p (a doubled escape is one 0x0A); false when a control
  // sequence interrupts the data, 0 when more input is needed.
  auto readByte = [&](uint8_t& out, size_t& wire) -> int {
    if (p >= n) return 0;
    if (b[p] != kEsc) {
      out = b[p++];
      wire = 1;
      return 1;
    }
    if (p + 1 >= n) return 0;
    if (b[p + 1] != kEsc) return -1;
    out = kEsc;
    p += 2;
    wire = 2;
    return 1;
  };
  for (;;) {
    if (p + 1 >= n) {
      if (n > kMaxFrame) return TakeNoise(n);
      return {};
    }
    if (b[p] == kEsc && b[p + 1] == 0x03) break;
    uint8_t hi = 0, lo = 0;
    size_t wire = 0;
    int r = readByte(hi, wire);
    if (r == 0) return n > kMaxFrame ? TakeNoise(n) : Token{};
    if (r < 0) return TakeNoise(p);
    r = readByte(lo, wire);
    if (r == 0) return n > kMaxFrame ? TakeNoise(n) : Token{};
    if (r < 0) return TakeNoise(p);
    size_t length = (static_cast<size_t>(hi) << 8) | lo;
    size_t consumed = 0;
    Bytes message;
    while (consumed < length) {
      uint8_t v = 0;
      r = readByte(v, wire);
      if (r == 0) return n > kMaxFrame ? TakeNoise(n) : Token{};
      if (r < 0) return TakeNoise(p);
      consumed += wire;
      message.push_back(v);
    }
    if (consumed != length) layoutOk = false;
    messages.push_back(std::move(message));
  }
  // p is at the closing escape; the check byte follows the 0x03.
  if (p + 2 >= n) return {};
  size_t end = p + 3;
  uint8_t check = 0;
  for (size_t k = start + 2; k < p + 2; ++k) check ^= b[k];
  Token t;
  t.framing = Framing::Binary;
  t.sequence = static_cast<char>('0' + sequence);
  t.raw.assign(b.begin() + static_cast<std::ptrdiff_t>(start),
               b.begin() + static_cast<std::ptrdiff_t>(end));
  t.type = (check == b[p + 2] && layoutOk) ? Token::Type::Frame : Token::Type::BadFrame;
  if (t.type == Token::Type::Frame) t.messages = std::move(messages);
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(end));
  return t;
}

}  // namespace qrvn::pbxsim
