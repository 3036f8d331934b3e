#include "pbx_peer.h"

#include <chrono>
#include <cstdio>

namespace qrvn::testing {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void Hex(Bytes& out, uint8_t b) {
  out.push_back(static_cast<uint8_t>(kHex[b >> 4]));
  out.push_back(static_cast<uint8_t>(kHex[b & 15]));
}

int Digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int HexAt(const Bytes& b, size_t i) {
  int hi = Digit(b[i]);
  int lo = Digit(b[i + 1]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

void Escaped(Bytes& out, uint8_t b) {
  out.push_back(b);
  if (b == 0x0A) out.push_back(0x0A);
}

}  // namespace

Bytes TextFrame(char seq, const std::vector<Bytes>& messages) {
  Bytes out{'[', static_cast<uint8_t>(seq), ':'};
  for (const Bytes& m : messages) {
    size_t digits = m.size() * 2;
    Hex(out, static_cast<uint8_t>(digits >> 8));
    Hex(out, static_cast<uint8_t>(digits));
    for (uint8_t b : m) Hex(out, b);
  }
  out.push_back(']');
  uint8_t x = 0;
  for (size_t i = 1; i < out.size(); ++i) x ^= out[i];
  Hex(out, x);
  return out;
}

Bytes BinaryFrame(char seq, const std::vector<Bytes>& messages) {
  Bytes out{0x0A, 0x01, static_cast<uint8_t>(seq - '0'), 0x0A, 0x02};
  for (const Bytes& m : messages) {
    size_t length = m.size();
    for (uint8_t b : m) length += b == 0x0A ? 1 : 0;
    Escaped(out, static_cast<uint8_t>(length >> 8));
    Escaped(out, static_cast<uint8_t>(length));
    for (uint8_t b : m) Escaped(out, b);
  }
  out.push_back(0x0A);
  out.push_back(0x03);
  uint8_t x = 0;
  for (size_t i = 2; i < out.size(); ++i) x ^= out[i];
  out.push_back(x);
  return out;
}

std::string AsText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

void PbxPeer::OnBytes(std::span<const uint8_t> bytes) {
  std::vector<PeerItem> fresh;
  {
    std::lock_guard lock(mutex_);
    raw_.insert(raw_.end(), bytes.begin(), bytes.end());
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    size_t before = items_.size();
    Parse();
    fresh.assign(items_.begin() + static_cast<std::ptrdiff_t>(before), items_.end());
  }
  cv_.notify_all();
  for (const PeerItem& item : fresh) Handle(item);
}

void PbxPeer::Parse() {
  size_t pos = 0;
  while (pos < pending_.size()) {
    uint8_t c = pending_[pos];
    PeerItem item{PeerItem::Ack};
    if (c == '+' || c == '/' || c == '-' || c == '!' || c == '?') {
      item.kind = c == '-'   ? PeerItem::Nack
                  : c == '!' ? PeerItem::Block
                  : c == '?' ? PeerItem::Reset
                             : PeerItem::Ack;
      items_.push_back(item);
      ++pos;
    } else if (c == '[') {
      if (!ParseText(pos)) break;
    } else if (c == 0x0A) {
      if (pos + 1 >= pending_.size()) break;
      uint8_t code = pending_[pos + 1];
      if (code == 0x01) {
        if (!ParseBinary(pos)) break;
        continue;
      }
      item.binary = true;
      item.kind = code == 0x0F   ? PeerItem::Nack
                  : code == 0x04 ? PeerItem::Block
                  : code == 0x05 ? PeerItem::Reset
                                 : PeerItem::Ack;
      items_.push_back(item);
      pos += 2;
    } else {
      ++pos;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
}

bool PbxPeer::ParseText(size_t& pos) {
  size_t close = pos + 1;
  while (close < pending_.size() && pending_[close] != ']') ++close;
  if (close + 2 >= pending_.size()) return false;
  PeerItem item{PeerItem::Frame};
  uint8_t x = 0;
  for (size_t i = pos + 1; i <= close; ++i) x ^= pending_[i];
  item.seq = static_cast<char>(pending_[pos + 1]);
  if (HexAt(pending_, close + 1) != x || pending_[pos + 2] != ':') item.kind = PeerItem::BadFrame;
  size_t p = pos + 3;
  while (item.kind == PeerItem::Frame && p + 4 <= close) {
    size_t digits = static_cast<size_t>(HexAt(pending_, p) * 256 + HexAt(pending_, p + 2));
    p += 4;
    Bytes m;
    for (size_t k = 0; k < digits / 2 && p + 2 * k + 1 < close; ++k) {
      m.push_back(static_cast<uint8_t>(HexAt(pending_, p + 2 * k)));
    }
    item.messages.push_back(m);
    p += digits;
  }
  items_.push_back(item);
  pos = close + 3;
  return true;
}

bool PbxPeer::ParseBinary(size_t& pos) {
  // Unescape the body up to 0x0A 0x03, keeping for each logical byte its escaped width.
  size_t i = pos + 5;
  Bytes body;
  std::vector<int> width;
  while (true) {
    if (i + 1 >= pending_.size()) return false;
    if (pending_[i] == 0x0A && pending_[i + 1] == 0x03) break;
    if (pending_[i] == 0x0A && pending_[i + 1] == 0x0A) {
      body.push_back(0x0A);
      width.push_back(2);
      i += 2;
    } else {
      body.push_back(pending_[i]);
      width.push_back(1);
      i += 1;
    }
  }
  if (i + 2 >= pending_.size()) return false;
  PeerItem item{PeerItem::Frame};
  item.binary = true;
  item.seq = static_cast<char>('0' + pending_[pos + 2]);
  uint8_t x = 0;
  for (size_t k = pos + 2; k <= i + 1; ++k) x ^= pending_[k];
  if (x != pending_[i + 2]) item.kind = PeerItem::BadFrame;
  size_t p = 0;
  while (item.kind == PeerItem::Frame && p + 2 <= body.size()) {
    size_t escaped = static_cast<size_t>(body[p] * 256 + body[p + 1]);
    p += 2;
    Bytes m;
    size_t counted = 0;
    while (counted < escaped && p < body.size()) {
      counted += static_cast<size_t>(width[p]);
      m.push_back(body[p++]);
    }
    item.messages.push_back(m);
  }
  items_.push_back(item);
  pos = i + 3;
  return true;
}

void PbxPeer::Handle(const PeerItem& item) {
  if (item.kind != PeerItem::Frame) return;
  Bytes control;
  std::vector<std::vector<Bytes>> replies;
  bool advance = true;
  {
    std::lock_guard lock(mutex_);
    ++frameCount_;
    if (script_.block) {
      control = item.binary ? Bytes{0x0A, 0x04} : Bytes{'!'};
    } else if (script_.nacks > 0) {
      --script_.nacks;
      control = item.binary ? Bytes{0x0A, 0x0F} : Bytes{'-'};
    } else if (script_.silent > 0) {
      --script_.silent;
      return;
    } else {
      control = item.binary ? Bytes{0x0A, 0x06} : Bytes{'+'};
      const Bytes& m = item.messages.empty() ? Bytes{} : item.messages[0];
      if (script_.reply && m.size() >= 4 && m[1] == 1) {
        if (m[0] == 1 && !item.binary) {
          // The session open: the answer stands for an acknowledgement and takes no
          // sequence step of its own.
          advance = false;
          bool proposesBinary = m.size() >= 8 && m[7] == 1;
          if (proposesBinary && !script_.acceptBinary) {
            replies.push_back({{1, 3, m[2], 0, 1, 0, 2, 9, 18}});
          } else {
            replies.push_back({{1, 2, m[2], 0}});
          }
        } else {
          size_t n = script_.replyFragments;
          for (size_t f = 0; f < n; ++f) {
            Bytes r{m[0], 2, m[2], static_cast<uint8_t>(f + 1 < n ? 1 : 0)};
            if (f > 0) r.insert(r.end(), {1, 0, 2, 0, static_cast<uint8_t>(f)});
            r.insert(r.end(), script_.replyPayload.begin(), script_.replyPayload.end());
            replies.push_back({r});
          }
        }
      }
    }
  }
  send_(control);
  for (const auto& reply : replies) {
    std::lock_guard lock(mutex_);
    send_(item.binary ? BinaryFrame(seq_, reply) : TextFrame(seq_, reply));
    if (advance) seq_ = seq_ == '0' ? '1' : '0';
  }
}

void PbxPeer::SetScript(const Script& script) {
  std::lock_guard lock(mutex_);
  script_ = script;
}

void PbxPeer::SendFrame(const std::vector<Bytes>& messages, bool binary) {
  std::lock_guard lock(mutex_);
  send_(binary ? BinaryFrame(seq_, messages) : TextFrame(seq_, messages));
  seq_ = seq_ == '0' ? '1' : '0';
}

void PbxPeer::SendReset(bool binary) {
  std::lock_guard lock(mutex_);
  seq_ = '0';
  send_(binary ? Bytes{0x0A, 0x05} : Bytes{'?'});
}

void PbxPeer::SendRaw(const Bytes& bytes) {
  send_(bytes);
}

Bytes PbxPeer::Raw() {
  std::lock_guard lock(mutex_);
  return raw_;
}

std::vector<PeerItem> PbxPeer::Items() {
  std::lock_guard lock(mutex_);
  return items_;
}

bool PbxPeer::WaitItems(size_t count, int realMs) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(realMs),
                      [&] { return items_.size() >= count; });
}

size_t PbxPeer::Frames() {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(frameCount_);
}

}  // namespace qrvn::testing
