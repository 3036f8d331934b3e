#include "linkdriver/reassembly.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qrvn::linkdriver {
namespace {

bool MoreFollow(std::span<const uint8_t> m) {
  return m.size() > 3 && m[3] != 0;
}

uint16_t ReadBe16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

void ReplyCollector::Begin(uint8_t* dest, size_t size) {
  dest_ = dest;
  size_ = dest == nullptr ? 0 : size;
  received_ = 0;
  started_ = false;
  complete_ = false;
}

bool ReplyCollector::Add(std::span<const uint8_t> message) {
  if (message.size() < 3) return false;
  // A fragment that does not continue the reply begun so far starts it again.
  if (!started_ || complete_ || message[0] != code_ || message[2] != seq_) {
    started_ = true;
    complete_ = false;
    code_ = message[0];
    seq_ = message[2];
    received_ = 0;
  }
  std::span<const uint8_t> part = message;
  if (received_ > 0) {
    if (message.size() < 10) {
      part = {};
    } else {
      part = message.subspan(kFragmentDataOffset);
    }
  }
  if (!part.empty() && received_ + part.size() <= size_) {
    std::memcpy(dest_ + received_, part.data(), part.size());
  }
  // Bounded so that an endless reply can never wrap the count.
  received_ = std::min<uint64_t>(received_ + part.size(), uint64_t{1} << 40);
  complete_ = !MoreFollow(message);
  return complete_;
}

int32_t ReplyCollector::Length() const {
  if (received_ > size_) return -1;
  return static_cast<int32_t>(received_);
}

EventAssembler::EventAssembler(size_t maxBytes) : maxBytes_(maxBytes) {}

void EventAssembler::Clear() {
  used_ = 0;
  collecting_ = false;
  tooLong_ = false;
  // Give back what a long event made the area grow to.
  if (area_.size() > kInitialBytes) std::vector<uint8_t>().swap(area_);
}

bool EventAssembler::Append(std::span<const uint8_t> bytes) {
  if (used_ + bytes.size() > maxBytes_) {
    tooLong_ = true;
    return true;
  }
  try {
    if (area_.empty()) area_.resize(kInitialBytes);
    while (area_.size() - used_ < kGrowBytes || area_.size() - used_ < bytes.size()) {
      area_.resize(area_.size() + kGrowBytes);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!bytes.empty()) std::memcpy(area_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return true;
}

bool EventAssembler::AddLater(std::span<const uint8_t> fragment) {
  if (fragment.size() < 10 || tooLong_) return true;
  size_t before = used_;
  if (!Append(fragment.subspan(kFragmentDataOffset))) return false;
  if (tooLong_) return true;
  // The joined event's record count sits first-parameter-length + 18 bytes in; it grows by
  // the count of each later fragment (its first parameter's value at offset 7).
  if (before < 7) return true;
  size_t at = static_cast<size_t>(ReadBe16(area_.data() + 5)) + 18;
  if (at + 2 > before) return true;
  uint16_t sum = static_cast<uint16_t>(ReadBe16(area_.data() + at) + ReadBe16(fragment.data() + 7));
  area_[at] = static_cast<uint8_t>(sum >> 8);
  area_[at + 1] = static_cast<uint8_t>(sum & 0xFF);
  return true;
}

EventAssembler::Result EventAssembler::Add(std::span<const uint8_t> message) {
  bool more = MoreFollow(message);
  if (!collecting_) {
    if (!more) {
      event_ = message;
      return Result::Complete;
    }
    used_ = 0;
    tooLong_ = false;
    if (!Append(message)) {
      Clear();
      return Result::NoMemory;
    }
    collecting_ = true;
  } else {
    if (!AddLater(message)) {
      Clear();
      return Result::NoMemory;
    }
  }
  if (tooLong_) {
    if (!more) Clear();
    return more ? Result::Collecting : Result::TooLong;
  }
  if (more) return Result::Collecting;
  collecting_ = false;
  event_ = std::span<const uint8_t>(area_.data(), used_);
  used_ = 0;
  return Result::Complete;
}

}  // namespace qrvn::linkdriver
