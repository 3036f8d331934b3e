#include "linkdriver/link.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/clock.h"

namespace qrvn::linkdriver {
namespace {

constexpr size_t kReceiveBufferBytes = 16600;
constexpr size_t kReadChunk = 1000;
constexpr uint32_t kWriteTimeoutMs = 30000;
constexpr uint32_t kDrainQuietMs = 1000;
constexpr uint32_t kLinesDownMs = 3000;
constexpr uint32_t kLinesUpMs = 1000;
constexpr uint32_t kBinarySettleMs = 1000;
constexpr uint32_t kWatchSliceMs = 100;
constexpr uint32_t kThreadEndMs = 10000;
// The receive thread sleeps in the port's wait, woken by data or by a stop; the slice only
// bounds how long a lost wake-up can delay a stop.
constexpr uint32_t kIdleSliceMs = 1000;
constexpr uint8_t kOpenCode = 1;
// A refusal of binary framing: a negative reply whose bytes 7 and 8 are 9 and 18.
constexpr uint8_t kRefusalByte7 = 9;
constexpr uint8_t kRefusalByte8 = 18;

char Toggled(char c) {
  return c == '0' ? '1' : '0';
}

// Flips a sequence character that two threads may flip at the same moment.
void Toggle(std::atomic<char>& c) {
  char seen = c.load();
  while (!c.compare_exchange_weak(seen, Toggled(seen))) {
  }
}

}  // namespace

Link::Link(const LinkConfig& config, LinkEnvironment environment, uint32_t providerSlot,
           ReceiveCallback onReceive, StatusCallback onStatus)
    : config_(config),
      env_(std::move(environment)),
      slot_(providerSlot),
      onReceive_(onReceive),
      onStatus_(onStatus),
      rx_(kReceiveBufferBytes) {}

Link::~Link() {
  // Threads hold the link alive while they run, so none is running here unless it was left
  // running by a stop that gave up waiting: let it go rather than join ourselves.
  if (receiveThread_.IsRunning()) receiveThread_.Detach();
  if (watchThread_.IsRunning()) watchThread_.Detach();
}

bool Link::Start() {
  startEvent_.Reset();
  sendLock_.Wait();
  std::shared_ptr<Link> self = shared_from_this();
  if (!receiveThread_.Start([self] { self->ReceiveThread(); },
                            platform::ThreadPriority::AboveNormal)) {
    sendLock_.Release();
    return false;
  }
  startEvent_.Wait();
  if (running_.load()) return true;
  receiveThread_.Join();
  return false;
}

void Link::Stop() {
  stopping_ = true;
  running_ = false;
  stopEvent_.Set();
  ackEvent_.Set();
  replyEvent_.Set();
  // A wake-up may be taken by the modem-status wait instead: repeat it until the receive
  // thread is gone, but never longer than the threads are given to end.
  uint32_t start = platform::TickCount();
  while (receiveThread_.IsRunning()) {
    if (port_) port_->WakeUp();
    if (receiveThread_.Join(20)) break;
    if (platform::TicksSince(start, platform::TickCount()) >= kThreadEndMs) {
      receiveThread_.Detach();
      break;
    }
  }
  receiveThread_.Join(0);
  startEvent_.Wait(1000);
}

int32_t Link::SendData(const uint8_t* message, int32_t length) {
  return RunSender(message, length, nullptr, 0, false);
}

int32_t Link::DataComm(const uint8_t* request, int32_t length, uint8_t* reply, int32_t replySize) {
  return RunSender(request, length, reply, replySize, true);
}

int32_t Link::RunSender(const uint8_t* message, int32_t length, uint8_t* reply, int32_t replySize,
                        bool wantReply) {
  if (blocked_.load()) return result::kBlockedOrLineDown;
  int32_t outcome = 0;
  int32_t replyLength = 0;
  std::shared_ptr<Link> self = shared_from_this();
  platform::Thread sender;
  // The caller waits for the send thread, so the locals it writes outlive it.
  bool started = sender.Start(
      [&, self] {
        outcome = self->SendBody(message, length, reply, replySize, wantReply, &replyLength);
      },
      platform::ThreadPriority::Normal);
  if (!started) return wantReply ? result::kDataCommNoThread : result::kSendDataNoThread;
  sender.Join();
  if (outcome != 0) return outcome;
  return wantReply ? replyLength : length;
}

int32_t Link::SendBody(const uint8_t* message, int32_t length, uint8_t* reply, int32_t replySize,
                       bool wantReply, int32_t* replyLength) {
  platform::SemaphoreLock sendLock(sendLock_);
  if (!portOpen_.load() || !running_.load()) return result::kNotConnected;
  if (length < 0 || length > static_cast<int32_t>(kMaxMessage) ||
      (message == nullptr && length > 0)) {
    return result::kBadLength;
  }
  // The caller's message is not ours to change: the sequence number goes into a copy.
  std::vector<uint8_t> copy(message, message + length);
  if (copy.size() > 2) {
    copy[2] = messageSeq_;
    messageSeq_ = messageSeq_ >= 127 ? 1 : static_cast<uint8_t>(messageSeq_ + 1);
  }
  int32_t outcome = Attempts(copy, reply, replySize, wantReply, replyLength);
  // Once the exchange is over, a late reply must not be written into the caller's buffer.
  std::lock_guard lock(stateMutex_);
  outstanding_.active = false;
  collector_.Forget();
  return outcome;
}

int32_t Link::Attempts(std::vector<uint8_t>& m, uint8_t* reply, int32_t replySize, bool wantReply,
                       int32_t* replyLength) {
  const uint8_t code = m.empty() ? 0 : m[0];
  const uint8_t seq = m.size() > 2 ? m[2] : 0;
  uint32_t timeouts = 0;
  uint32_t nacks = 0;
  uint8_t propose = 1;
  size_t destSize = reply != nullptr && replySize > 0 ? static_cast<size_t>(replySize) : 0;
  int32_t outcome = 0;
  for (;;) {
    if (!running_.load()) return result::kNotConnected;
    Framing framing = framing_.load();
    std::vector<uint8_t> frame;
    if (framing == Framing::Binary) {
      frame = BuildBinaryFrame(txSeq_.load(), m);
    } else if (code == kOpenCode && !m.empty()) {
      // The session-open proposal: the request's header and a one-byte parameter asking
      // for binary framing.
      std::vector<uint8_t> proposal(m.begin(), m.begin() + std::min<size_t>(4, m.size()));
      proposal.insert(proposal.end(), {1, 0, 1, propose});
      frame = BuildTextFrame(txSeq_.load(), proposal);
    } else {
      frame = BuildTextFrame(txSeq_.load(), m);
    }
    {
      std::lock_guard lock(stateMutex_);
      outstanding_ = {true, code, seq};
      replyProgress_ = false;
      collector_.Begin(wantReply ? reply : nullptr, wantReply ? destSize : 0);
    }
    TraceSent(framing, frame);
    lastAck_ = '+';
    ackEvent_.Reset();
    replyEvent_.Reset();
    if (!running_.load()) return result::kNotConnected;

    if (!dsr_.load()) {
      TraceNote("**** sendthreaddata->commdata->m_dsr == FALSE ****");
      return result::kBlockedOrLineDown;
    }
    WriteOutcome written = WriteBytes(frame);
    if (written == WriteOutcome::TimedOut) {
      TraceNote("**** rc == WAIT_TIMEOUT ****");
      port_->Purge();
      return result::kBlockedOrLineDown;
    }
    if (written == WriteOutcome::Failed) {
      TraceNote("**** GetLastError(-1) ****");
      return result::kBlockedOrLineDown;
    }

    bool giveUp = false;
    if (!ackEvent_.Wait(config_.nackTimeoutMs)) {
      if (timeouts == 0 && code == kOpenCode) LineReset();
      ++timeouts;
      if (timeouts < config_.timeoutRetry) continue;
      outcome = result::kNoAcknowledgement;
      giveUp = true;
    } else {
      if (!running_.load()) return result::kNotConnected;
      char ack = lastAck_.load();
      if (ack == '*') {
        LineReset();
        continue;
      }
      if (ack == '!') return result::kPeerBlocked;
      if (ack == '+') Toggle(txSeq_);
      if (ack != '+') {
        ++nacks;
        if (nacks < config_.nackRetry) continue;
        outcome = result::kRefused;
        giveUp = true;
      }
    }
    if (giveUp) {
      if (!SendControl(framing, Control::Block, 0, 0)) outcome = result::kBlockedOrLineDown;
      blocked_ = true;
      return outcome;
    }

    if (!wantReply) return 0;
    for (;;) {
      if (replyEvent_.Wait(config_.timeoutMs)) break;
      std::lock_guard lock(stateMutex_);
      if (!replyProgress_) return result::kNoReply;
      replyProgress_ = false;
    }
    if (!running_.load()) return result::kNotConnected;
    int32_t length;
    {
      std::lock_guard lock(stateMutex_);
      // The reply event is also raised when the PBX blocks the link mid-exchange.
      if (!collector_.Complete()) return result::kPeerBlocked;
      length = collector_.Length();
    }
    if (length < 0) return result::kReplyTooLong;
    if (code == kOpenCode) {
      // Bytes 7 and 8 exist only in a reply of at least 9 bytes.
      if (length > 8 && reply[1] == 3 && propose == 1 && reply[7] == kRefusalByte7 &&
          reply[8] == kRefusalByte8) {
        propose = 0;
        LineReset();
        continue;
      }
      if (length <= 7 && propose == 1 && framing_.load() == Framing::Text) {
        framing_ = Framing::Binary;
        Pause(kBinarySettleMs);
      }
    }
    *replyLength = length;
    return 0;
  }
}

void Link::ReceiveThread() {
  std::string reason;
  port_ = env_.openPort ? env_.openPort(config_.comPort, &reason) : nullptr;
  if (!port_) {
    running_ = false;
    MonitorSet(env_.monitor, &MonitorArea::SetPortOpen, config_.comPort, false);
    sendLock_.Release();
    startEvent_.Set();
    return;
  }
  portOpen_ = true;
  MonitorSet(env_.monitor, &MonitorArea::SetPortOpen, config_.comPort, true);
  port_->Purge();
  bool up = port_->Configure(config_.baud) && StartWatch();
  if (up) {
    LineReset();
    up = Drain() && dsr_.load() && !stopping_.load();
  }
  if (up) {
    running_ = true;
    startEvent_.Set();
    sendLock_.Release();
    ReceiveLoop();
  } else {
    sendLock_.Release();
  }
  running_ = false;
  portOpen_ = false;
  MonitorSet(env_.monitor, &MonitorArea::SetPortOpen, config_.comPort, false);
  // A sender still waiting learns that the port is gone.
  ackEvent_.Set();
  replyEvent_.Set();
  StopWatch();
  startEvent_.Set();
}

bool Link::Drain() {
  uint32_t lastData = platform::TickCount();
  for (;;) {
    if (stopping_.load()) return false;
    uint32_t quiet = platform::TicksSince(lastData, platform::TickCount());
    if (quiet >= kDrainQuietMs) return true;
    PortWait wait = port_->WaitReadable(kDrainQuietMs - quiet);
    if (wait == PortWait::Failed) {
      Status(-2);
      return false;
    }
    if (wait != PortWait::Ready) continue;
    int32_t n = port_->Read(rx_.data(), rx_.size());
    if (n < 0) {
      Status(-1);
      return false;
    }
    if (n > 0) lastData = platform::TickCount();
  }
}

void Link::ReceiveLoop() {
  while (running_.load()) {
    if (!watchRunning_.load() && !StartWatch()) Status(-3);
    if (rxBegin_ > 0) {
      std::copy(rx_.begin() + static_cast<std::ptrdiff_t>(rxBegin_),
                rx_.begin() + static_cast<std::ptrdiff_t>(rxEnd_), rx_.begin());
      rxEnd_ -= rxBegin_;
      rxBegin_ = 0;
    }
    size_t room = rx_.size() - rxEnd_;
    int32_t n = 0;
    if (room > 0) {
      n = port_->Read(rx_.data() + rxEnd_, std::min(room, kReadChunk));
      if (n < 0) {
        if (running_.load()) Status(-5);
        break;
      }
    }
    if (n > 0) {
      rxEnd_ += static_cast<size_t>(n);
      MonitorSet(env_.monitor, &MonitorArea::SetReceive, config_.comPort, true);
      ProcessBuffer();
      continue;
    }
    if (rxBegin_ == rxEnd_) {
      MonitorSet(env_.monitor, &MonitorArea::SetReceive, config_.comPort, false);
    }
    if (port_->WaitReadable(kIdleSliceMs) == PortWait::Failed) {
      if (running_.load()) Status(-6);
      break;
    }
  }
}

void Link::Consume(size_t count) {
  rxBegin_ += count;
  if (rxBegin_ >= rxEnd_) rxBegin_ = rxEnd_ = 0;
}

bool Link::OpenOutstanding() {
  std::lock_guard lock(stateMutex_);
  return outstanding_.active && outstanding_.code == kOpenCode;
}

void Link::ProcessBuffer() {
  while (rxEnd_ > rxBegin_ && running_.load()) {
    Framing framing = framing_.load();
    std::span<const uint8_t> bytes(rx_.data() + rxBegin_, rxEnd_ - rxBegin_);
    Token token = Scan(framing, bytes, blocked_.load());
    switch (token.kind) {
      case TokenKind::Nothing:
        if (token.end > 0) {
          TraceReceived(framing, bytes.first(token.end));
          if (token.lineBreak && OpenOutstanding()) {
            // The other side is not speaking the protocol: the sender resets the lines.
            lastAck_ = '*';
            ackEvent_.Set();
          }
          Consume(token.end);
        }
        return;
      case TokenKind::Incomplete:
        if (token.start > 0) {
          TraceReceived(framing, bytes.first(token.start));
          Consume(token.start);
          continue;
        }
        if (rxBegin_ == 0 && rxEnd_ == rx_.size()) {
          // A frame longer than the whole buffer can never complete: give up its start.
          TraceReceived(framing, bytes.first(1));
          Consume(1);
          continue;
        }
        return;
      case TokenKind::Block:
        TraceReceived(framing, bytes.first(token.end));
        blocked_ = true;
        rxBegin_ = rxEnd_ = 0;
        Status(-7);
        lastAck_ = '!';
        ackEvent_.Set();
        replyEvent_.Set();
        return;
      case TokenKind::Ack:
        TraceReceived(framing, bytes.first(token.end));
        Consume(token.end);
        // The sender that takes this acknowledgement flips the send sequence: a duplicate
        // or stray acknowledgement must not flip it a second time.
        lastAck_ = '+';
        ackEvent_.Set();
        break;
      case TokenKind::Nack:
        TraceReceived(framing, bytes.first(token.end));
        Consume(token.end);
        lastAck_ = '-';
        ackEvent_.Set();
        break;
      case TokenKind::Reset:
        txSeq_ = '0';
        rxSeq_ = '0';
        TraceReceived(framing, bytes.first(token.end));
        Consume(token.end);
        blocked_ = false;
        break;
      case TokenKind::Frame:
        TraceReceived(framing, bytes.first(token.end));
        HandleFrame(framing, bytes, token);
        break;
      case TokenKind::BadFrame:
        TraceReceived(framing, bytes.first(token.end));
        Consume(token.end);
        SendControl(framing, Control::Nack, -8, -9);
        break;
    }
  }
}

void Link::HandleFrame(Framing framing, std::span<const uint8_t> bytes, const Token& token) {
  bool answerToOpen = OpenOutstanding();
  bool fresh = token.seq == rxSeq_.load();
  if (fresh) {
    // The sequences move before delivery: a sender woken by the reply builds its next
    // frame at once. The answer to the session open does not advance the receive sequence;
    // it stands for the acknowledgement of our own frame instead.
    Toggle(answerToOpen ? txSeq_ : rxSeq_);
    std::span<const uint8_t> body = bytes.subspan(token.bodyBegin, token.bodyEnd - token.bodyBegin);
    size_t pos = 0;
    while (NextMessage(framing, body, &pos, &message_)) Deliver(message_.View());
  }
  Consume(token.end);
  // A repeated frame is acknowledged again but not delivered again.
  SendControl(fresh && answerToOpen ? Framing::Text : framing, Control::Ack, -11, -12);
}

void Link::Deliver(std::span<const uint8_t> m) {
  {
    std::unique_lock lock(stateMutex_);
    if (outstanding_.active && m.size() >= 3 && m[0] == outstanding_.code &&
        m[2] == outstanding_.seq) {
      if (!collector_.Add(m)) {
        replyProgress_ = true;
        return;
      }
      outstanding_.active = false;
      lock.unlock();
      replyEvent_.Set();
      return;
    }
  }
  if (m.size() < 2 || m[1] != 1) return;
  bool joined = events_.Collecting();
  switch (events_.Add(m)) {
    case EventAssembler::Result::Collecting:
      return;
    case EventAssembler::Result::Complete: {
      std::span<const uint8_t> event = events_.Event();
      int32_t accepted = onReceive_ != nullptr
                             ? onReceive_(slot_, event.data(), static_cast<int32_t>(event.size()))
                             : 0;
      if (accepted == 0) Status(joined ? -18 : -19);
      return;
    }
    case EventAssembler::Result::NoMemory:
      // The event is lost, but the link goes on answering.
      Status(joined ? -17 : -20);
      return;
    case EventAssembler::Result::TooLong:
      TraceNote("**** event too long, dropped ****");
      return;
  }
}

bool Link::StartWatch() {
  if (watchRunning_.load()) return true;
  // A watch that has just ended may still be on its way out.
  if (!watchThread_.Join(kThreadEndMs)) return false;
  watchThread_ = platform::Thread();
  watchStop_ = false;
  watchStarted_.Reset();
  std::shared_ptr<Link> self = shared_from_this();
  if (!watchThread_.Start([self] { self->WatchThread(); }, platform::ThreadPriority::Highest)) {
    return false;
  }
  watchStarted_.Wait();
  return true;
}

void Link::StopWatch() {
  watchStop_ = true;
  uint32_t start = platform::TickCount();
  while (watchThread_.IsRunning()) {
    port_->WakeUp();
    if (watchThread_.Join(20)) return;
    if (platform::TicksSince(start, platform::TickCount()) >= kThreadEndMs) {
      Status(-13);
      watchThread_.Detach();
      return;
    }
  }
  watchThread_.Join(0);
}

void Link::WatchThread() {
  watchRunning_ = true;
  bool dsr = port_->Dsr();
  dsr_ = dsr;
  MonitorSet(env_.monitor, &MonitorArea::SetDsr, config_.comPort, dsr);
  watchStarted_.Set();
  while (!watchStop_.load()) {
    ModemEvent event;
    PortWait wait = port_->WaitModemEvent(kWatchSliceMs, &event);
    if (wait == PortWait::Failed) {
      if (!watchStop_.load() && running_.load()) Status(-14);
      break;
    }
    if (wait != PortWait::Ready) continue;
    if (event.lineErrors != 0) {
      if ((event.lineErrors & ~static_cast<uint32_t>(kLineOverrun | kLineBreak)) != 0) {
        int32_t code = -700;
        if (event.lineErrors & kLineFraming) code -= 10;
        if (event.lineErrors & kLineParity) code -= 40;
        Status(code);
        break;
      }
      if (event.lineErrors & kLineOverrun) TraceNote("<<< CE_OVERRUN >>>");
    }
    if (event.dsrChanged) {
      bool now = port_->Dsr();
      if (dsr_.load() && !now) Status(-16);
      dsr_ = now;
      MonitorSet(env_.monitor, &MonitorArea::SetDsr, config_.comPort, now);
    }
  }
  watchRunning_ = false;
  // The receive thread starts a new watch while the link runs.
  port_->WakeUp();
}

void Link::LineReset() {
  MonitorSet(env_.monitor, &MonitorArea::SetModemLines, config_.comPort, false);
  port_->SetDtr(false);
  port_->SetRts(false);
  Pause(kLinesDownMs);
  port_->SetDtr(true);
  port_->SetRts(true);
  Pause(kLinesUpMs);
  MonitorSet(env_.monitor, &MonitorArea::SetModemLines, config_.comPort, true);
}

bool Link::Pause(uint32_t ms) {
  return !stopEvent_.Wait(ms);
}

Link::WriteOutcome Link::WriteBytes(std::span<const uint8_t> bytes) {
  std::lock_guard lock(writeMutex_);
  MonitorSet(env_.monitor, &MonitorArea::SetSend, config_.comPort, true);
  int32_t n = port_->Write(bytes.data(), bytes.size(), kWriteTimeoutMs);
  MonitorSet(env_.monitor, &MonitorArea::SetSend, config_.comPort, false);
  if (n < 0) return WriteOutcome::Failed;
  if (static_cast<size_t>(n) < bytes.size()) return WriteOutcome::TimedOut;
  return WriteOutcome::Ok;
}

bool Link::SendControl(Framing framing, Control control, int32_t failCode, int32_t timeoutCode) {
  std::vector<uint8_t> bytes = ControlBytes(framing, control);
  TraceSent(framing, bytes);
  WriteOutcome written = WriteBytes(bytes);
  if (written == WriteOutcome::Ok) return true;
  if (written == WriteOutcome::TimedOut) port_->Purge();
  int32_t code = written == WriteOutcome::Failed ? failCode : timeoutCode;
  if (code != 0) Status(code);
  return false;
}

void Link::TraceSent(Framing framing, std::span<const uint8_t> bytes) {
  if (config_.debug != 1 || env_.trace == nullptr) return;
  if (framing == Framing::Text) {
    TraceText(*env_.trace, true, bytes);
  } else {
    TraceBinary(*env_.trace, true, bytes);
  }
}

void Link::TraceReceived(Framing framing, std::span<const uint8_t> bytes) {
  if (config_.debug != 1 || env_.trace == nullptr) return;
  if (framing == Framing::Text) {
    TraceText(*env_.trace, false, bytes);
  } else {
    TraceBinary(*env_.trace, false, bytes);
  }
}

void Link::TraceNote(const char* note) {
  if (config_.debug != 1 || env_.trace == nullptr) return;
  WriteTraceLine(*env_.trace, std::string("SENDDATA(TXT):") + note);
}

void Link::Status(int32_t code) {
  if (onStatus_ != nullptr) onStatus_(slot_, code, 0);
}

}  // namespace qrvn::linkdriver
