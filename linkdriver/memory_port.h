// A scripted serial line in memory: the driver's end is a LinkPort, the other end is driven
// by a test (or a benchmark, or a fuzz target) acting as the PBX. It can also do what a
// pseudo-terminal cannot: drop DSR, report line errors, stall writes, disappear.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "linkdriver/port.h"

namespace qrvn::linkdriver {

class MemoryLine : public std::enable_shared_from_this<MemoryLine> {
 public:
  // A line with DSR on.
  static std::shared_ptr<MemoryLine> Create();

  // The driver's end; the line stays alive as long as either end.
  std::unique_ptr<LinkPort> OpenPort();

  // Peer side: queues bytes for the driver to read.
  void PeerSend(std::span<const uint8_t> bytes);
  // Peer side: every byte the driver wrote so far and not yet taken.
  std::vector<uint8_t> TakeWritten();
  // Peer side: waits up to timeoutMs (process clock) until at least count bytes are
  // waiting to be taken; false on time-out.
  bool WaitWritten(size_t count, uint32_t timeoutMs);
  // Peer side: called on the writing thread with the bytes of every write, after they were
  // stored (a scripted PBX answers from here).
  void SetOnWrite(std::function<void(std::span<const uint8_t>)> onWrite);

  // Changes DSR and signals the change.
  void SetDsr(bool on);
  // Signals line errors (LineError bits).
  void RaiseLineErrors(uint32_t errors);
  // Makes writes time out (nothing written) while set.
  void StallWrites(bool stall);
  // Makes every later read, write and wait of the driver's end fail, as an unplugged port.
  void Disappear();

  // Modem lines as the driver set them, and how often the driver cleared DTR.
  bool Dtr();
  bool Rts();
  int DtrDrops();
  // Number of purges the driver did.
  int Purges();

 private:
  friend class MemoryPort;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<uint8_t> toDriver_;
  std::vector<uint8_t> fromDriver_;
  std::function<void(std::span<const uint8_t>)> onWrite_;
  bool dsr_ = true;
  bool dsrChanged_ = false;
  uint32_t lineErrors_ = 0;
  bool stall_ = false;
  bool gone_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  int dtrDrops_ = 0;
  int purges_ = 0;
  uint64_t wakeUps_ = 0;
};

}  // namespace qrvn::linkdriver
