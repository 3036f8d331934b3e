// The PBX end of the serial link: acknowledges the host's frames, delivers their requests
// to the Pbx, sends replies and events with the alternating sequence character, and injects
// faults on demand.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "pbxsim/framing.h"
#include "pbxsim/line.h"
#include "pbxsim/pbx.h"
#include "platform/thread.h"

namespace qrvn::pbxsim {

using LogSink = std::function<void(const std::string&)>;

struct LinkOptions {
  uint32_t ackTimeoutMs = 2000;      // wait for the host's acknowledgement of a frame
  uint32_t nakRetry = 4;             // negative acknowledgements before a frame is given up
  uint32_t timeoutRetry = 16;        // acknowledgement time-outs before a frame is given up
  uint32_t baud = 0;                 // nonzero: every byte takes its wire time at this speed
  size_t fragmentSize = 0;           // nonzero: split replies and events into messages this long
  bool fragmentsInOneFrame = false;  // send all fragments of a message in one frame
  bool answerBlockWithReset = true;  // answer the host's "!" with "?"
  uint32_t replyDelayMs = 0;         // pause between a request and its reply
  bool traceWire = false;            // also log every byte sequence on the wire
};

// The largest message the host takes from one frame.
inline constexpr size_t kMaxMessage = 2048;

// Splits a message into fragments of at most size bytes (at least 16): the first keeps its
// header with the more-fragments flag; each later one repeats the header and a two-byte
// count parameter of 0 before its share of the bytes, so that joining gives the original.
std::vector<Bytes> Fragment(const Bytes& message, size_t size);

class Link {
 public:
  Link(ByteLine& line, Pbx& pbx, LinkOptions options, LogSink log);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Starts the receive and send threads; false when a thread cannot be had.
  bool Start();
  // Stops both threads (waits for them).
  void Stop();

  // Writes a line to the log with the link's time stamp.
  void Note(const std::string& text);
  // Queues an event message (kind 1, sequence 0) for sending.
  void SendEvent(const Bytes& message);
  // Writes bytes as they are, outside any frame (noise).
  void SendRaw(const Bytes& bytes);
  // Writes a control sequence in the current framing ("?" resets the host's sequences).
  void SendControl(Control control);

  // Faults on demand.
  void NakNextFrames(int count);     // answer the next frames with a negative acknowledgement
  void IgnoreNextFrames(int count);  // neither acknowledge nor answer the next frames
  void BlockNextFrames(int count);   // answer the next frames with "!"
  void CorruptNextSends(int count);  // send the next frames with a wrong check
  void NoiseBeforeFrames(const Bytes& noise);               // write these bytes before every frame
  void AnswerOpenWithNoise(const Bytes& noise, int count);  // modem noise instead of an ack
  void SilenceCode(uint8_t code, bool silent);  // acknowledge but never answer this code
  void SetFragmentSize(size_t size);

  // How many requests of a code have been delivered so far.
  uint32_t RequestCount(uint8_t code);
  // Waits until RequestCount(code) reaches count; false after timeoutMs (process clock).
  bool WaitForRequests(uint8_t code, uint32_t count, uint32_t timeoutMs);
  // Waits until every queued message has been sent and acknowledged (or given up).
  bool WaitIdle(uint32_t timeoutMs);
  // The framing the PBX sends in now.
  Framing SendFraming();

  struct Counters {
    uint32_t framesIn = 0, acksOut = 0, naksOut = 0, repeats = 0, badFrames = 0;
    uint32_t framesOut = 0, resends = 0, givenUp = 0, noiseIn = 0;
  };
  Counters GetCounters();

 private:
  struct OutItem {
    std::vector<Bytes> messages;  // one frame
    bool openReply = false;       // answer to a session open: the sequence stays
    bool switchToBinary = false;  // binary framing from the acknowledgement on
  };
  void ReceiveLoop();
  void SendLoop();
  void HandleToken(Token& token);
  void HandleFrame(Token& token);
  void Deliver(const Bytes& message);
  void Queue(const Bytes& message, bool openReply, bool switchToBinary);
  void WriteWire(const Bytes& bytes, const char* what);
  void Log(const std::string& text);
  bool SendItem(const OutItem& item);

  ByteLine& line_;
  Pbx& pbx_;
  LinkOptions options_;
  LogSink log_;
  Scanner scanner_;

  std::mutex logMutex_;
  uint64_t startMs_ = 0;
  std::mutex writeMutex_;  // one writer on the wire at a time
  uint64_t paceRemainderUs_ = 0;
  uint64_t receivePaceUs_ = 0;  // receive thread only

  std::mutex mutex_;  // guards everything below
  std::condition_variable cv_;
  bool running_ = false;
  std::deque<OutItem> queue_;
  bool sending_ = false;
  char sendSequence_ = '0';
  char receiveSequence_ = '0';
  Framing sendFraming_ = Framing::Text;
  enum class AckState { None, Waiting, Ack, Nak, Block } ack_ = AckState::None;
  int nakFrames_ = 0, ignoreFrames_ = 0, blockFrames_ = 0, corruptSends_ = 0;
  int openNoiseCount_ = 0;
  uint64_t resetDueMs_ = 0;   // when to answer the host's "!" with "?" (0: not due)
  uint64_t notBeforeMs_ = 0;  // replies wait for the configured delay
  Bytes openNoise_;
  Bytes noiseBeforeFrames_;
  std::set<uint8_t> silentCodes_;
  std::map<uint8_t, uint32_t> requestCounts_;
  Counters counters_;
  platform::Thread receiver_;
  platform::Thread sender_;
};

}  // namespace qrvn::pbxsim
