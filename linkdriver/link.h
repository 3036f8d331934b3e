// One link instance: the port of one provider instance, its receive thread, its
// modem-status thread, and the exchange of one message at a time with acknowledgement,
// time-outs, retries and reply pairing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "linkdriver/config.h"
#include "linkdriver/framing.h"
#include "linkdriver/monitor.h"
#include "linkdriver/port.h"
#include "linkdriver/reassembly.h"
#include "linkdriver/trace_log.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace qrvn::linkdriver {

// Callbacks into the provider: an event message, and a link failure code.
using ReceiveCallback = int32_t (*)(uint32_t providerSlot, const uint8_t* message, int32_t length);
using StatusCallback = int32_t (*)(uint32_t providerSlot, int32_t errorCode, int32_t reserved);

// Results of SendData and DataComm.
namespace result {
inline constexpr int32_t kNotConnected = -1;
inline constexpr int32_t kBlockedOrLineDown = -2;
inline constexpr int32_t kNoEvent = -5;
inline constexpr int32_t kBadLength = -10;
inline constexpr int32_t kPeerBlocked = -20;
inline constexpr int32_t kNoAcknowledgement = -21;
inline constexpr int32_t kRefused = -22;
inline constexpr int32_t kNoReply = -23;
inline constexpr int32_t kReplyTooLong = -24;
inline constexpr int32_t kSendDataNoThread = static_cast<int32_t>(0x80001001u);
inline constexpr int32_t kDataCommNoThread = static_cast<int32_t>(0x80001003u);
}  // namespace result

// What a link uses of the driver around it.
struct LinkEnvironment {
  MonitorArea* monitor = nullptr;
  TraceShared* trace = nullptr;
  PortOpener openPort;
};

class Link : public std::enable_shared_from_this<Link> {
 public:
  Link(const LinkConfig& config, LinkEnvironment environment, uint32_t providerSlot,
       ReceiveCallback onReceive, StatusCallback onStatus);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens the port, resets the line, drains it and starts receiving; false when the link
  // could not come up (port, set-up, DSR off). Call once, on a link held by a shared_ptr.
  bool Start();
  // Stops the threads (waking any sender) and lets go of the port.
  void Stop();
  // Sends one message and waits for its acknowledgement: the length, or a negative error.
  int32_t SendData(const uint8_t* message, int32_t length);
  // Sends one request and waits for its reply: the reply length, or a negative error.
  int32_t DataComm(const uint8_t* request, int32_t length, uint8_t* reply, int32_t replySize);

  // True while the link is blocked (until the PBX resets the protocol).
  bool Blocked() const { return blocked_.load(); }
  // The framing in use.
  Framing CurrentFraming() const { return framing_.load(); }

 private:
  enum class WriteOutcome { Ok, Failed, TimedOut };

  int32_t RunSender(const uint8_t* message, int32_t length, uint8_t* reply, int32_t replySize,
                    bool wantReply);
  int32_t SendBody(const uint8_t* message, int32_t length, uint8_t* reply, int32_t replySize,
                   bool wantReply, int32_t* replyLength);
  int32_t Attempts(std::vector<uint8_t>& message, uint8_t* reply, int32_t replySize, bool wantReply,
                   int32_t* replyLength);
  void ReceiveThread();
  bool Drain();
  void ReceiveLoop();
  void ProcessBuffer();
  void HandleFrame(Framing framing, std::span<const uint8_t> bytes, const Token& token);
  void Deliver(std::span<const uint8_t> message);
  void WatchThread();
  bool StartWatch();
  void StopWatch();
  void LineReset();
  bool Pause(uint32_t ms);
  WriteOutcome WriteBytes(std::span<const uint8_t> bytes);
  bool SendControl(Framing framing, Control control, int32_t failCode, int32_t timeoutCode);
  void TraceSent(Framing framing, std::span<const uint8_t> bytes);
  void TraceReceived(Framing framing, std::span<const uint8_t> bytes);
  void TraceNote(const char* note);
  void Status(int32_t code);
  void Consume(size_t count);
  bool OpenOutstanding();

  const LinkConfig config_;
  const LinkEnvironment env_;
  const uint32_t slot_;
  const ReceiveCallback onReceive_;
  const StatusCallback onStatus_;

  std::unique_ptr<LinkPort> port_;
  std::atomic<bool> portOpen_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> watchStop_{false};
  std::atomic<bool> watchRunning_{false};
  platform::Thread receiveThread_;
  platform::Thread watchThread_;

  platform::BinarySemaphore sendLock_;
  platform::ManualResetEvent ackEvent_;
  platform::ManualResetEvent replyEvent_;
  platform::ManualResetEvent startEvent_;
  platform::ManualResetEvent stopEvent_;
  platform::ManualResetEvent watchStarted_;
  std::mutex writeMutex_;

  std::atomic<char> txSeq_{'0'};
  std::atomic<char> rxSeq_{'0'};
  std::atomic<char> lastAck_{'+'};
  std::atomic<bool> blocked_{false};
  std::atomic<bool> dsr_{false};
  std::atomic<Framing> framing_{Framing::Text};
  uint8_t messageSeq_ = 1;  // under sendLock_

  // The outstanding request and its reply, shared by the sender and the receive thread.
  std::mutex stateMutex_;
  struct Outstanding {
    bool active = false;
    uint8_t code = 0;
    uint8_t seq = 0;
  } outstanding_;
  bool replyProgress_ = false;
  ReplyCollector collector_;

  // Receive thread only.
  std::vector<uint8_t> rx_;
  size_t rxBegin_ = 0;
  size_t rxEnd_ = 0;
  Message message_;
  EventAssembler events_;
};

}  // namespace qrvn::linkdriver
