#include "pbxsim/link.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"

namespace qrvn::pbxsim {

namespace {

uint64_t Now() {
  return platform::CurrentClock().NowMs();
}

// Text bytes shown as they are, anything else as hex.
std::string Show(const Bytes& bytes) {
  bool text =
      std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
  if (text) return "\"" + std::string(bytes.begin(), bytes.end()) + "\"";
  return Hex(bytes);
}

const char* ControlName(Control c) {
  switch (c) {
    case Control::Ack:
      return "acknowledgement";
    case Control::Nak:
      return "negative acknowledgement";
    case Control::Block:
      return "block (!)";
    case Control::Reset:
      return "reset (?)";
  }
  return "?";
}

// The host gives the blocked state a moment to settle before the reset clears it.
constexpr uint32_t kResetDelayMs = 200;

}  // namespace

std::vector<Bytes> Fragment(const Bytes& message, size_t size) {
  size = std::max<size_t>(size, 16);
  if (message.size() <= size) return {message};
  std::vector<Bytes> out;
  Bytes header(message.begin(), message.begin() + 4);
  size_t pos = 4;
  Bytes first = header;
  first[3] = 1;
  first.insert(first.end(), message.begin() + 4,
               message.begin() + static_cast<std::ptrdiff_t>(size));
  out.push_back(first);
  pos = size;
  while (pos < message.size()) {
    size_t take = std::min(size - 9, message.size() - pos);
    Bytes piece = header;
    piece[3] = pos + take < message.size() ? 1 : 0;
    piece.insert(piece.end(), {0x01, 0x00, 0x02, 0x00, 0x00});
    piece.insert(piece.end(), message.begin() + static_cast<std::ptrdiff_t>(pos),
                 message.begin() + static_cast<std::ptrdiff_t>(pos + take));
    out.push_back(piece);
    pos += take;
  }
  return out;
}

Link::Link(ByteLine& line, Pbx& pbx, LinkOptions options, LogSink log)
    : line_(line), pbx_(pbx), options_(options), log_(std::move(log)) {}

Link::~Link() {
  Stop();
}

void Link::Note(const std::string& text) {
  Log(text);
}

void Link::Log(const std::string& text) {
  if (!log_) return;
  uint64_t ms = Now() - startMs_;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%6llu.%03llu] ", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  std::lock_guard lock(logMutex_);
  log_(stamp + text);
}

bool Link::Start() {
  {
    std::lock_guard lock(mutex_);
    if (running_) return true;
    running_ = true;
  }
  startMs_ = Now();
  if (!receiver_.Start([this] { ReceiveLoop(); }, platform::ThreadPriority::AboveNormal) ||
      !sender_.Start([this] { SendLoop(); })) {
    Stop();
    return false;
  }
  return true;
}

void Link::Stop() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  cv_.notify_all();
  line_.WakeUp();
  receiver_.Join();
  sender_.Join();
}

void Link::WriteWire(const Bytes& bytes, const char* what) {
  std::lock_guard lock(writeMutex_);
  if (options_.baud > 0) {
    // Ten bits a byte (start, eight data, stop): the bytes arrive after their wire time.
    uint64_t us = bytes.size() * 10ull * 1000000ull / options_.baud + paceRemainderUs_;
    paceRemainderUs_ = us % 1000;
    if (us / 1000 > 0) platform::SleepMs(static_cast<uint32_t>(us / 1000));
  }
  if (options_.traceWire) Log(std::string("wire out (") + what + "): " + Show(bytes));
  if (line_.Write(bytes.data(), bytes.size()) < 0) Log(std::string("write failed: ") + what);
}

void Link::SendRaw(const Bytes& bytes) {
  Log("noise out: " + Show(bytes));
  WriteWire(bytes, "noise");
}

void Link::SendControl(Control control) {
  Framing f;
  {
    std::lock_guard lock(mutex_);
    f = sendFraming_;
    if (control == Control::Reset) {
      sendSequence_ = '0';
      receiveSequence_ = '0';
    }
  }
  Log(std::string("control out: ") + ControlName(control));
  WriteWire(EncodeControl(f, control), "control");
}

void Link::NakNextFrames(int count) {
  std::lock_guard lock(mutex_);
  nakFrames_ = count;
}
void Link::IgnoreNextFrames(int count) {
  std::lock_guard lock(mutex_);
  ignoreFrames_ = count;
}
void Link::BlockNextFrames(int count) {
  std::lock_guard lock(mutex_);
  blockFrames_ = count;
}
void Link::CorruptNextSends(int count) {
  std::lock_guard lock(mutex_);
  corruptSends_ = count;
}
void Link::NoiseBeforeFrames(const Bytes& noise) {
  std::lock_guard lock(mutex_);
  noiseBeforeFrames_ = noise;
}
void Link::AnswerOpenWithNoise(const Bytes& noise, int count) {
  std::lock_guard lock(mutex_);
  openNoise_ = noise;
  openNoiseCount_ = count;
}
void Link::SilenceCode(uint8_t code, bool silent) {
  std::lock_guard lock(mutex_);
  if (silent) {
    silentCodes_.insert(code);
  } else {
    silentCodes_.erase(code);
  }
}
void Link::SetFragmentSize(size_t size) {
  std::lock_guard lock(mutex_);
  options_.fragmentSize = size;
}

uint32_t Link::RequestCount(uint8_t code) {
  std::lock_guard lock(mutex_);
  return requestCounts_[code];
}

bool Link::WaitForRequests(uint8_t code, uint32_t count, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  uint64_t deadline = timeoutMs == platform::kInfinite ? UINT64_MAX : Now() + timeoutMs;
  return platform::CurrentClock().WaitUntil(lock, cv_, deadline, [&] {
    return requestCounts_[code] >= count || !running_;
  }) && requestCounts_[code] >= count;
}

bool Link::WaitIdle(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  uint64_t deadline = timeoutMs == platform::kInfinite ? UINT64_MAX : Now() + timeoutMs;
  return platform::CurrentClock().WaitUntil(lock, cv_, deadline,
                                            [&] { return queue_.empty() && !sending_; });
}

Framing Link::SendFraming() {
  std::lock_guard lock(mutex_);
  return sendFraming_;
}

Link::Counters Link::GetCounters() {
  std::lock_guard lock(mutex_);
  return counters_;
}

void Link::SendEvent(const Bytes& message) {
  Log("event queued");
  Queue(message, false, false);
}

void Link::Queue(const Bytes& message, bool openReply, bool switchToBinary) {
  std::vector<Bytes> pieces;
  bool oneFrame;
  {
    std::lock_guard lock(mutex_);
    size_t size =
        options_.fragmentSize ? std::min(options_.fragmentSize, kMaxMessage) : kMaxMessage;
    pieces = Fragment(message, size);
    oneFrame = options_.fragmentsInOneFrame;
    if (oneFrame) {
      queue_.push_back({pieces, openReply, switchToBinary});
    } else {
      for (Bytes& p : pieces) queue_.push_back({{std::move(p)}, openReply, switchToBinary});
    }
  }
  cv_.notify_all();
}

void Link::ReceiveLoop() {
  uint8_t buffer[1024];
  for (;;) {
    uint64_t resetDue;
    {
      std::lock_guard lock(mutex_);
      if (!running_) break;
      resetDue = resetDueMs_;
    }
    if (resetDue != 0 && Now() >= resetDue) {
      {
        std::lock_guard lock(mutex_);
        resetDueMs_ = 0;
      }
      SendControl(Control::Reset);
    }
    line_.WaitReadable(resetDue != 0 ? 5 : 50);
    for (;;) {
      int32_t n = line_.Read(buffer, sizeof buffer);
      if (n < 0) {
        Log("read failed");
        platform::SleepMs(10);
        break;
      }
      if (n == 0) break;
      if (options_.baud > 0) {
        // The host's bytes arrive at the line's speed too.
        uint64_t us =
            static_cast<uint64_t>(n) * 10ull * 1000000ull / options_.baud + receivePaceUs_;
        receivePaceUs_ = us % 1000;
        if (us / 1000 > 0) platform::SleepMs(static_cast<uint32_t>(us / 1000));
      }
      if (options_.traceWire) Log("wire in: " + Show(Bytes(buffer, buffer + n)));
      scanner_.Feed(buffer, static_cast<size_t>(n));
    }
    for (;;) {
      Token t = scanner_.Next();
      if (t.type == Token::Type::None) break;
      HandleToken(t);
    }
  }
}

void Link::HandleToken(Token& t) {
  switch (t.type) {
    case Token::Type::None:
      return;
    case Token::Type::Noise: {
      {
        std::lock_guard lock(mutex_);
        ++counters_.noiseIn;
      }
      Log("noise in (discarded): " + Show(t.raw));
      return;
    }
    case Token::Type::BadFrame: {
      {
        std::lock_guard lock(mutex_);
        ++counters_.badFrames;
        ++counters_.naksOut;
      }
      Log("frame with a bad check or layout, answered negatively: " + Show(t.raw));
      WriteWire(EncodeControl(t.framing, Control::Nak), "negative acknowledgement");
      return;
    }
    case Token::Type::Control: {
      Log(std::string("control in: ") + ControlName(t.control));
      std::lock_guard lock(mutex_);
      switch (t.control) {
        case Control::Ack:
          if (ack_ == AckState::Waiting) ack_ = AckState::Ack;
          break;
        case Control::Nak:
          if (ack_ == AckState::Waiting) ack_ = AckState::Nak;
          break;
        case Control::Block:
          if (ack_ == AckState::Waiting) ack_ = AckState::Block;
          if (options_.answerBlockWithReset) resetDueMs_ = Now() + kResetDelayMs;
          break;
        case Control::Reset:
          sendSequence_ = '0';
          receiveSequence_ = '0';
          break;
      }
      cv_.notify_all();
      return;
    }
    case Token::Type::Frame:
      HandleFrame(t);
      return;
  }
}

void Link::HandleFrame(Token& t) {
  bool open = std::any_of(t.messages.begin(), t.messages.end(),
                          [](const Bytes& m) { return m.size() >= 2 && m[0] == 1 && m[1] == 1; });
  Bytes openNoise;
  enum class Action { Deliver, Repeat, Ignore, Nak, Block, Noise } action = Action::Deliver;
  {
    std::lock_guard lock(mutex_);
    ++counters_.framesIn;
    if (ignoreFrames_ > 0) {
      --ignoreFrames_;
      action = Action::Ignore;
    } else if (nakFrames_ > 0) {
      --nakFrames_;
      action = Action::Nak;
    } else if (blockFrames_ > 0) {
      --blockFrames_;
      action = Action::Block;
    } else if (open && openNoiseCount_ > 0) {
      --openNoiseCount_;
      openNoise = openNoise_;
      action = Action::Noise;
    } else if (open) {
      // A session open starts the link afresh (in text framing, unless the host is binary
      // already); the host leaves both its sequence characters at "0" once it is answered.
      sendSequence_ = '0';
      receiveSequence_ = '0';
      sendFraming_ = t.framing;
    } else if (t.sequence == receiveSequence_) {
      receiveSequence_ = receiveSequence_ == '0' ? '1' : '0';
    } else {
      action = Action::Repeat;
      ++counters_.repeats;
    }
    if (action == Action::Deliver || action == Action::Repeat) ++counters_.acksOut;
    if (action == Action::Nak) ++counters_.naksOut;
  }
  switch (action) {
    case Action::Ignore:
      Log("fault: frame neither acknowledged nor answered");
      return;
    case Action::Nak:
      Log("fault: frame answered negatively");
      WriteWire(EncodeControl(t.framing, Control::Nak), "negative acknowledgement");
      return;
    case Action::Block:
      Log("fault: frame answered with a block");
      WriteWire(EncodeControl(t.framing, Control::Block), "block");
      return;
    case Action::Noise:
      Log("fault: session open answered with line noise " + Show(openNoise));
      WriteWire(openNoise, "noise");
      return;
    case Action::Repeat:
      WriteWire(EncodeControl(t.framing, Control::Ack), "acknowledgement");
      Log(std::string("repeated frame (sequence ") + t.sequence + ") acknowledged, not delivered");
      return;
    case Action::Deliver:
      WriteWire(EncodeControl(t.framing, Control::Ack), "acknowledgement");
      break;
  }
  for (const Bytes& m : t.messages) Deliver(m);
}

void Link::Deliver(const Bytes& message) {
  Log("<- " + Describe(message));
  if (message.size() < 4) {
    Log("   message shorter than its header, ignored");
    return;
  }
  bool silent;
  {
    std::lock_guard lock(mutex_);
    ++requestCounts_[message[0]];
    silent = silentCodes_.count(message[0]) > 0;
    if (options_.replyDelayMs) notBeforeMs_ = Now() + options_.replyDelayMs;
  }
  cv_.notify_all();
  if (message[1] != 1) {
    Log("   not a request, ignored");
    return;
  }
  if (silent) {
    Log("   fault: no answer to this code");
    return;
  }
  Answer a = pbx_.Handle(message);
  if (a.silent) {
    Log("   (no reply)");
    return;
  }
  for (const Bytes& r : a.replies) Queue(r, a.sessionOpen, a.switchToBinary);
}

void Link::SendLoop() {
  for (;;) {
    OutItem item;
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return !running_ || !queue_.empty(); });
      if (!running_) return;
      item = std::move(queue_.front());
      queue_.pop_front();
      sending_ = true;
    }
    uint64_t notBefore;
    {
      std::lock_guard lock(mutex_);
      notBefore = notBeforeMs_;
    }
    uint64_t now = Now();
    if (notBefore > now) platform::SleepMs(static_cast<uint32_t>(notBefore - now));
    SendItem(item);
    {
      std::lock_guard lock(mutex_);
      sending_ = false;
    }
    cv_.notify_all();
  }
}

bool Link::SendItem(const OutItem& item) {
  uint32_t naks = 0;
  uint32_t timeouts = 0;
  bool first = true;
  for (;;) {
    Framing framing;
    char sequence;
    Bytes noise;
    bool corrupt = false;
    {
      std::lock_guard lock(mutex_);
      if (!running_) return false;
      framing = sendFraming_;
      sequence = sendSequence_;
      noise = noiseBeforeFrames_;
      if (corruptSends_ > 0) {
        --corruptSends_;
        corrupt = true;
      }
      ack_ = AckState::Waiting;
      ++counters_.framesOut;
      if (!first) ++counters_.resends;
    }
    Bytes frame = EncodeFrame(framing, sequence, item.messages);
    if (corrupt) {
      if (framing == Framing::Binary) {
        frame.back() ^= 0x01;
      } else {
        frame.back() = frame.back() == '0' ? '1' : '0';
      }
    }
    for (const Bytes& m : item.messages) {
      Log(std::string(first ? "-> " : "-> again: ") + Describe(m) +
          (framing == Framing::Binary ? " (binary" : " (text") + ", sequence " + sequence + ")" +
          (corrupt ? " fault: wrong check" : ""));
    }
    first = false;
    if (!noise.empty()) {
      Log("fault: noise before the frame " + Show(noise));
      WriteWire(noise, "noise");
    }
    WriteWire(frame, "frame");
    AckState state;
    {
      std::unique_lock lock(mutex_);
      platform::CurrentClock().WaitUntil(lock, cv_, Now() + options_.ackTimeoutMs,
                                         [&] { return ack_ != AckState::Waiting || !running_; });
      state = ack_;
      ack_ = AckState::None;
      if (!running_) return false;
      if (state == AckState::Ack) {
        if (!item.openReply) sendSequence_ = sendSequence_ == '0' ? '1' : '0';
        if (item.switchToBinary) sendFraming_ = Framing::Binary;
      }
    }
    switch (state) {
      case AckState::Ack:
        if (item.switchToBinary) Log("binary framing from now on");
        return true;
      case AckState::Nak:
        if (++naks < options_.nakRetry) continue;
        break;
      case AckState::Waiting:
      case AckState::None:
        Log("no acknowledgement");
        if (++timeouts < options_.timeoutRetry) continue;
        break;
      case AckState::Block:
        break;
    }
    {
      std::lock_guard lock(mutex_);
      ++counters_.givenUp;
    }
    Log("gave up sending the frame");
    return false;
  }
}

}  // namespace qrvn::pbxsim
