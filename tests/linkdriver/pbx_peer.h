// A scripted PBX for the link driver tests: it reads what the driver writes (text or
// binary framing, recognised byte by byte, with a decoder of its own), acknowledges or
// refuses frames as scripted, and answers requests with reply frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace qrvn::testing {

using Bytes = std::vector<uint8_t>;

// One thing the driver sent: a control character or a frame.
struct PeerItem {
  enum Kind { Ack, Nack, Block, Reset, Frame, BadFrame } kind;
  bool binary = false;
  char seq = 0;
  std::vector<Bytes> messages;
};

// Building blocks of the wire, written independently of the driver's own code.
Bytes TextFrame(char seq, const std::vector<Bytes>& messages);
Bytes BinaryFrame(char seq, const std::vector<Bytes>& messages);
// The bytes as a printable string (text framing is readable as it is).
std::string AsText(const Bytes& bytes);

class PbxPeer {
 public:
  // What the peer does with each frame of a request.
  struct Script {
    int nacks = 0;       // answer this many frames with "-" first
    int silent = 0;      // then ignore this many frames
    bool block = false;  // answer every frame with "!"
    bool acceptBinary = true;
    bool reply = true;  // answer acknowledged requests (kind 1, code != 0x7F)
    size_t replyFragments = 1;
    Bytes replyPayload;  // parameters appended to every reply
  };

  explicit PbxPeer(std::function<void(const Bytes&)> send) : send_(std::move(send)) {}

  // Feeds bytes the driver wrote.
  void OnBytes(std::span<const uint8_t> bytes);
  // Changes the script (for the next frames).
  void SetScript(const Script& script);
  // Sends one frame of messages with the next sequence character (advancing it).
  void SendFrame(const std::vector<Bytes>& messages, bool binary);
  // Sends the reset character ("?"), which also restarts the peer's own sequence.
  void SendReset(bool binary = false);
  // Sends raw bytes.
  void SendRaw(const Bytes& bytes);

  // Everything the driver wrote so far.
  Bytes Raw();
  // The items decoded so far.
  std::vector<PeerItem> Items();
  // Waits (real time, bounded) until at least count items were decoded.
  bool WaitItems(size_t count, int realMs = 5000);
  // Number of frames seen.
  size_t Frames();

 private:
  void Parse();
  void Handle(const PeerItem& item);
  bool ParseText(size_t& pos);
  bool ParseBinary(size_t& pos);

  std::function<void(const Bytes&)> send_;
  std::mutex mutex_;
  std::condition_variable cv_;
  Script script_;
  Bytes raw_;
  Bytes pending_;
  std::vector<PeerItem> items_;
  char seq_ = '0';
  int frameCount_ = 0;
};

}  // namespace qrvn::testing
