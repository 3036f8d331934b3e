// The event intake of a running instance: the inbound queue that the link driver's receive
// callback fills, NoticeAnalyzeThread that hands each event to its handler, and
// KeepAliveThread that polls the PBX and detects a dead link.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/sync.h"
#include "platform/thread.h"
#include "provider/core/instance_parts.h"

namespace qrvn::provider {

class CVN2448Driver;

// A queue operation whose short-lived thread could not be had.
inline constexpr int32_t kQueueNoThread = static_cast<int32_t>(0x80000000u);
// The size of the buffer an event is dequeued into.
inline constexpr uint32_t kDequeueBuffer = 2056;
// How long a handler may put an event back before it is dropped.
inline constexpr uint32_t kRequeueLimitMs = 15000;
// The event log mark of an event dropped after the requeue limit.
inline constexpr const char* kQueDataDelete = "\r\n###-- QueDataDelete --###\r\n";

// A doubly linked list of memory-pool blocks, in arrival order, guarded by its own semaphore.
class InboundQueue {
 public:
  InboundQueue() = default;
  // Frees every entry.
  ~InboundQueue();
  InboundQueue(const InboundQueue&) = delete;
  InboundQueue& operator=(const InboundQueue&) = delete;

  // Appends a copy of data at the tail; false when memory is short.
  bool Enqueue(const uint8_t* data, uint32_t length);
  // Removes the head into buffer: its length, 0 when empty, -1 (head kept) when it does not fit.
  int32_t Dequeue(uint8_t* buffer, uint32_t capacity);
  // The number of entries (read without the semaphore).
  uint32_t Count() const { return count_.load(); }
  // Frees every entry.
  void Clear();
  // The sequence number of the head entry, or -1 when the queue is empty.
  int64_t HeadSequence();
  // The sequence number the next entry will get.
  uint32_t NextSequence();

 private:
  struct Entry;
  void ReportCount();

  platform::BinarySemaphore semaphore_{true};
  Entry* head_ = nullptr;
  Entry* tail_ = nullptr;
  std::atomic<uint32_t> count_{0};
  uint32_t sequence_ = 0;
};

// The NoticeAnalyzer of an instance.
class EventAnalyzer final : public NoticeAnalyzer {
 public:
  // Makes the queue and the events; no thread runs yet.
  explicit EventAnalyzer(CVN2448Driver& owner);
  // Stops both threads and empties the queue.
  ~EventAnalyzer() override;
  EventAnalyzer(const EventAnalyzer&) = delete;
  EventAnalyzer& operator=(const EventAnalyzer&) = delete;

  bool Start(ASYNC_COMPLETION completion) override;
  void StopAnalyzer() override;
  void StopKeepAlive() override;
  void ClearRunFlags() override;
  int32_t OnReceive(const uint8_t* message, int32_t length) override;

  // Puts a record back at the tail with its fresh flag cleared, keeping its first receive
  // tick: 1 when queued; 0 when it was 15000 ms old or older (dropped with the QueDataDelete
  // mark) or memory was short; kQueueNoThread when no queue thread could be had.
  int32_t RequeueEvent(uint8_t* record, int32_t length);
  // The inbound queue (tests and the queue threads).
  InboundQueue& Queue() { return queue_; }
  // Messages from the link driver not yet dispatched.
  uint16_t FreshEventCount() const { return freshCount_.load(); }
  // The completion callback given at Start.
  ASYNC_COMPLETION Completion() const { return completion_; }

 private:
  void AnalyzeLoop();
  void KeepAliveLoop();
  void PollPbx();
  // Takes ProviderBusy as every admitted activity does; false when run was cleared meanwhile.
  bool TakeProviderBusy(const std::atomic<uint32_t>& run, platform::ManualResetEvent& pause);
  // Dequeue and Clear on a short-lived thread of their own.
  int32_t DequeueOnThread(uint8_t* buffer, uint32_t capacity);
  void ClearOnThread();
  // Sleeps ms on a pause event unless run has been cleared.
  static void Pause(const std::atomic<uint32_t>& run, platform::ManualResetEvent& pause,
                    uint32_t ms);
  static void Stop(std::atomic<uint32_t>& run, platform::ManualResetEvent& pause,
                   platform::ManualResetEvent& handshake, platform::Thread& thread);

  CVN2448Driver& owner_;
  platform::Thread analyzerThread_;
  platform::Thread keepAliveThread_;
  std::atomic<uint32_t> analyzerRun_{0};
  std::atomic<uint32_t> keepAliveRun_{0};
  platform::ManualResetEvent analyzerPause_;
  platform::ManualResetEvent keepAlivePause_;
  platform::ManualResetEvent analyzerHandshake_;
  platform::ManualResetEvent keepAliveHandshake_;
  InboundQueue queue_;
  ASYNC_COMPLETION completion_ = nullptr;
  std::atomic<uint16_t> freshCount_{0};
};

// Makes the NoticeAnalyzer of an instance (its part factory).
std::unique_ptr<NoticeAnalyzer> MakeNoticeAnalyzer(CVN2448Driver& owner);
// A handler's way to put its event back (EventAnalyzer::RequeueEvent of the instance);
// 0 when the instance has no running event intake.
int32_t RequeueEvent(CVN2448Driver& owner, uint8_t* record, int32_t length);

}  // namespace qrvn::provider
