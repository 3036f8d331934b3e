// The inbound event queue, NoticeAnalyzeThread and KeepAliveThread of an instance.
#include "provider/core/notice_analyzer.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/event_dispatch.h"
#include "provider/core/line_events.h"
#include "provider/core/memory_pool.h"
#include "provider/core/message_codec.h"
#include "provider/core/process.h"
#include "provider/core/provider_log.h"

namespace qrvn::provider {

// One queued entry: a pool block holding the links, its own address, its sequence number and
// its data, which follows the header in the same block.
struct InboundQueue::Entry {
  Entry* previous;
  Entry* next;
  Entry* self;
  uint32_t sequence;
  uint32_t length;

  uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
};

namespace {

// The analyzer's and the keep-alive thread's idle steps.
constexpr uint32_t kIdlePauseMs = 50;
constexpr uint32_t kBusyPollMs = 10;
constexpr uint32_t kKeepAliveTickMs = 1000;
constexpr uint32_t kSemaphoreSliceMs = 50;
// Polls start with this CTI version.
constexpr uint32_t kKeepAliveCtiVersion = 0x13000;
// Parameters a keep-alive reply is decoded into.
constexpr int32_t kKeepAliveParams = 16;
// The PBX reports lost messages with this value in its status reply.
constexpr uint8_t kStatusMessagesLost = 3;

// Runs body on a short-lived thread and waits for it; false when no thread could be had.
template <typename Body>
bool RunOnShortThread(Body&& body) {
  platform::Thread thread;
  if (!thread.Start(std::forward<Body>(body))) return false;
  thread.Join();
  return true;
}

// SystemStatusNotify: bit 0 of the first word of the SYSTEM line's device-specific status.
bool SystemStatusNotify(CVN2448Driver& owner) {
  if (owner.session == nullptr) return false;
  LineDevice* line = owner.session->Line(0);
  if (line == nullptr || line->devStatus == nullptr) return false;
  const LINEDEVSTATUS& status = *line->devStatus;
  if (status.dwDevSpecificSize < 4 || status.dwDevSpecificOffset < sizeof(LINEDEVSTATUS) ||
      status.dwDevSpecificOffset > status.dwTotalSize - 4 || status.dwTotalSize < 4) {
    return false;
  }
  uint32_t word;
  std::memcpy(&word, reinterpret_cast<const uint8_t*>(&status) + status.dwDevSpecificOffset,
              sizeof word);
  return (word & 1) != 0;
}

}  // namespace

InboundQueue::~InboundQueue() {
  Clear();
}

void InboundQueue::ReportCount() {
  if (!ProcessAttached()) return;
  if (SetCountFn setQueCount = Process().setQueCount.load(); setQueCount != nullptr) {
    setQueCount(count_.load());
  }
}

bool InboundQueue::Enqueue(const uint8_t* data, uint32_t length) {
  // A longer entry could never be taken into the analyzer's buffer and would block the queue.
  if (length > kDequeueBuffer) return false;
  void* block = AllocMemory(kPoolZeroInit, static_cast<uint32_t>(sizeof(Entry)) + length);
  if (block == nullptr) return false;
  auto* entry = static_cast<Entry*>(block);
  entry->self = entry;
  entry->length = length;
  if (length != 0) std::memcpy(entry->Data(), data, length);
  platform::SemaphoreLock lock(semaphore_);
  entry->sequence = sequence_++;
  entry->previous = tail_;
  entry->next = nullptr;
  if (tail_ != nullptr) {
    tail_->next = entry;
  } else {
    head_ = entry;
  }
  tail_ = entry;
  count_.fetch_add(1);
  ReportCount();
  return true;
}

int32_t InboundQueue::Dequeue(uint8_t* buffer, uint32_t capacity) {
  Entry* entry = nullptr;
  {
    platform::SemaphoreLock lock(semaphore_);
    if (head_ == nullptr) return 0;
    if (head_->length > capacity) return -1;
    entry = head_;
    head_ = entry->next;
    if (head_ != nullptr) {
      head_->previous = nullptr;
    } else {
      tail_ = nullptr;
    }
    std::memcpy(buffer, entry->Data(), entry->length);
    count_.fetch_sub(1);
    ReportCount();
  }
  auto length = static_cast<int32_t>(entry->length);
  FreeMemory(entry);
  return length;
}

void InboundQueue::Clear() {
  Entry* entry = nullptr;
  {
    platform::SemaphoreLock lock(semaphore_);
    entry = head_;
    head_ = nullptr;
    tail_ = nullptr;
    count_ = 0;
  }
  while (entry != nullptr) {
    Entry* next = entry->next;
    FreeMemory(entry);
    entry = next;
  }
}

int64_t InboundQueue::HeadSequence() {
  platform::SemaphoreLock lock(semaphore_);
  return head_ != nullptr ? static_cast<int64_t>(head_->sequence) : -1;
}

uint32_t InboundQueue::NextSequence() {
  platform::SemaphoreLock lock(semaphore_);
  return sequence_;
}

EventAnalyzer::EventAnalyzer(CVN2448Driver& owner) : owner_(owner) {}

EventAnalyzer::~EventAnalyzer() {
  StopAnalyzer();
  keepAliveRun_ = 0;
  keepAlivePause_.Set();
  keepAliveThread_.Join();
  analyzerRun_ = 0;
  analyzerPause_.Set();
  analyzerThread_.Join();
  ClearOnThread();
}

bool EventAnalyzer::Start(ASYNC_COMPLETION completion) {
  if (analyzerRun_.load() != 1) {
    analyzerRun_ = 0;
    // A thread told to end by ClearRunFlags is gone before a new one starts.
    analyzerThread_.Join();
    completion_ = completion;
    freshCount_ = 0;
    analyzerHandshake_.Reset();
    if (!analyzerThread_.Start([this] { AnalyzeLoop(); }, platform::ThreadPriority::BelowNormal)) {
      return false;
    }
    analyzerHandshake_.Wait();
    if (analyzerRun_.load() == 0) return false;
  }
  if (keepAliveRun_.load() == 1) return true;
  keepAliveRun_ = 0;
  keepAliveThread_.Join();
  keepAliveHandshake_.Reset();
  if (!keepAliveThread_.Start([this] { KeepAliveLoop(); })) return false;
  keepAliveHandshake_.Wait();
  return keepAliveRun_.load() == 1;
}

void EventAnalyzer::Stop(std::atomic<uint32_t>& run, platform::ManualResetEvent& pause,
                         platform::ManualResetEvent& handshake, platform::Thread& thread) {
  if (run.load() == 0) return;
  handshake.Reset();
  run = 0;
  // Cuts the thread's current pause short.
  pause.Set();
  handshake.Wait();
  thread.Join();
}

void EventAnalyzer::StopAnalyzer() {
  Stop(analyzerRun_, analyzerPause_, analyzerHandshake_, analyzerThread_);
}

void EventAnalyzer::StopKeepAlive() {
  Stop(keepAliveRun_, keepAlivePause_, keepAliveHandshake_, keepAliveThread_);
}

void EventAnalyzer::ClearRunFlags() {
  analyzerRun_ = 0;
  keepAliveRun_ = 0;
  analyzerPause_.Set();
  keepAlivePause_.Set();
}

int32_t EventAnalyzer::OnReceive(const uint8_t* message, int32_t length) {
  if (message == nullptr || length < 0 || length > kMaxMessage) return 0;
  std::array<uint8_t, kEventRecordMax> record;
  SetRecordHeader(record.data(), platform::TickCount(), 1);
  std::memcpy(record.data() + kEventRecordHeader, message, static_cast<size_t>(length));
  freshCount_.fetch_add(1);
  return queue_.Enqueue(record.data(), static_cast<uint32_t>(length + kEventRecordHeader)) ? 1 : 0;
}

int32_t EventAnalyzer::RequeueEvent(uint8_t* record, int32_t length) {
  // A record longer than the analyzer's buffer could never be taken again and would block
  // the queue behind it.
  if (record == nullptr || length < kEventRecordHeader ||
      length > static_cast<int32_t>(kDequeueBuffer)) {
    return 0;
  }
  uint32_t tick = RecordTick(record);
  if (platform::TicksSince(tick, platform::TickCount()) >= kRequeueLimitMs) {
    WriteEventLogRaw(owner_, kQueDataDelete);
    return 0;
  }
  SetRecordHeader(record, tick, 0);
  bool queued = false;
  if (!RunOnShortThread([&] { queued = queue_.Enqueue(record, static_cast<uint32_t>(length)); })) {
    return kQueueNoThread;
  }
  return queued ? 1 : 0;
}

int32_t EventAnalyzer::DequeueOnThread(uint8_t* buffer, uint32_t capacity) {
  int32_t length = 0;
  if (!RunOnShortThread([&] { length = queue_.Dequeue(buffer, capacity); })) return kQueueNoThread;
  return length;
}

void EventAnalyzer::ClearOnThread() {
  RunOnShortThread([this] { queue_.Clear(); });
}

void EventAnalyzer::Pause(const std::atomic<uint32_t>& run, platform::ManualResetEvent& pause,
                          uint32_t ms) {
  pause.Reset();
  if (run.load() != 1) return;
  pause.Wait(ms);
}

bool EventAnalyzer::TakeProviderBusy(const std::atomic<uint32_t>& run,
                                     platform::ManualResetEvent& pause) {
  platform::BinarySemaphore& global = Process().globalSemaphore;
  for (;;) {
    if (!global.Wait(kSemaphoreSliceMs)) {
      if (run.load() != 1) return false;
      continue;
    }
    if (owner_.providerBusy.load() == 0) {
      owner_.providerBusy = 1;
      global.Release();
      return true;
    }
    global.Release();
    Pause(run, pause, kBusyPollMs);
    // An instance that stays busy must not keep a stopping thread from ending.
    if (run.load() != 1) return false;
  }
}

void EventAnalyzer::AnalyzeLoop() {
  std::string start = LogFormat(
      "NoticeAnalyzeThread Start PBXType[%s] CTIVersion[%X] ROMVersion[%s] PBXCountry[%d] "
      "TSPVersion[%s]",
      PbxModelName(owner_.pbxType), owner_.ctiVersion, owner_.romVersion,
      static_cast<int>(owner_.pbxCountry), kTspBuildText);
  WriteEventLog(owner_, start);
  WriteProviderLog(start);
  analyzerRun_ = 1;
  analyzerHandshake_.Set();

  std::array<uint8_t, kDequeueBuffer> buffer;
  while (analyzerRun_.load() == 1) {
    if (owner_.eventDispatchHold.load() == 1) {
      Pause(analyzerRun_, analyzerPause_, kIdlePauseMs);
      continue;
    }
    int32_t length = 0;
    if (queue_.Count() != 0) {
      buffer.fill(0);
      length = DequeueOnThread(buffer.data(), kDequeueBuffer);
    }
    if (length <= 0) {
      Pause(analyzerRun_, analyzerPause_, kIdlePauseMs);
      continue;
    }
    // Only events put back by handlers are waiting: retry them no faster than every 50 ms.
    if (freshCount_.load() == 0) Pause(analyzerRun_, analyzerPause_, kIdlePauseMs);
    if (!TakeProviderBusy(analyzerRun_, analyzerPause_)) break;
    if (analyzerRun_.load() != 1) {
      owner_.providerBusy = 0;
      break;
    }
    platform::BinarySemaphore* semaphore = owner_.providerSemaphore.get();
    const bool haveSemaphore = semaphore != nullptr && semaphore->Wait(kSemaphoreSliceMs);
    // Read before dispatch: a handler that puts the event back clears the flag in place.
    const bool fresh = length >= kEventRecordHeader && RecordFresh(buffer.data()) == 1;
    DispatchEvent(owner_, buffer.data(), length);
    if (fresh) {
      uint16_t count = freshCount_.load();
      while (count != 0 && !freshCount_.compare_exchange_weak(count, count - 1)) {
      }
    }
    if (haveSemaphore) semaphore->Release();
    owner_.providerBusy = 0;
  }
  analyzerHandshake_.Set();
  WriteEventLog(owner_, "NoticeAnalyzeThread End");
}

void EventAnalyzer::KeepAliveLoop() {
  keepAliveRun_ = 1;
  const InstanceConfig& c = owner_.config;
  char callback[sizeof c.msgWaitCallback + 1] = {};
  std::memcpy(callback, c.msgWaitCallback.data(), sizeof c.msgWaitCallback);
  WriteEventLog(owner_, LogFormat("KeepAliveThread Start[%d]", static_cast<int>(c.keepAliveTime)));
  WriteEventLog(owner_,
                LogFormat("* INITMSGWAIT[%d] DEBUG[%d] LOGFILESIZE[%d] INCOMINGACCOUNT[%d] "
                          "DISAADDRESS[%d] MSGWAITCALLBACK[%s]",
                          static_cast<int>(c.initMsgWait), static_cast<int>(c.debug),
                          static_cast<int>(c.logFileSize), static_cast<int>(c.incomingAccount),
                          static_cast<int>(c.disaAddress), callback));
  WriteEventLog(owner_, LogFormat("* NACKTIMEOUT[%d] NACKRETRY[%d] TIMEOUTRETRY[%d] TIMEOUT[%d]",
                                  static_cast<int>(c.nackTimeout), static_cast<int>(c.nackRetry),
                                  static_cast<int>(c.timeoutRetry), static_cast<int>(c.timeout)));
  std::string last =
      LogFormat("* FWDDNDDELEY[%d] ACCINFODELEY[%d] ACCINFOMAXSIZE[%d] ACCINFOFILEPATH[%s]",
                static_cast<int>(c.fwdDndDelay), static_cast<int>(c.accInfoDelay),
                static_cast<int>(c.accInfoMaxSize), c.accInfoFilePath.c_str());
  WriteEventLog(owner_, last);
  WriteProviderLog(last);
  keepAliveHandshake_.Set();

  uint32_t counter = 0;
  while (keepAliveRun_.load() == 1) {
    if (owner_.reinitPending.load() == 1) {
      Pause(keepAliveRun_, keepAlivePause_, kIdlePauseMs);
      counter = 0;
      continue;
    }
    if (counter < owner_.config.keepAliveTime) {
      Pause(keepAliveRun_, keepAlivePause_, kKeepAliveTickMs);
      // Older CTI versions have no status poll: the counter never grows.
      if (owner_.ctiVersion >= kKeepAliveCtiVersion) ++counter;
      continue;
    }
    if (!TakeProviderBusy(keepAliveRun_, keepAlivePause_)) break;
    if (keepAliveRun_.load() != 1) {
      owner_.providerBusy = 0;
      break;
    }
    platform::BinarySemaphore* semaphore = owner_.providerSemaphore.get();
    const bool haveSemaphore = semaphore != nullptr && semaphore->Wait(kSemaphoreSliceMs);
    PollPbx();
    counter = 0;
    if (haveSemaphore) semaphore->Release();
    owner_.providerBusy = 0;
    Pause(keepAliveRun_, keepAlivePause_, kIdlePauseMs);
  }
  keepAliveHandshake_.Set();
  WriteEventLog(owner_, "KeepAliveThread End");
}

void EventAnalyzer::PollPbx() {
  std::array<uint8_t, kMaxMessage> request{};
  std::array<uint8_t, kMaxMessage> reply{};
  int32_t length =
      BuildMessage(owner_.session.get(), kSysStatEvent, request.data(), kMaxMessage, nullptr, 0);
  if (length < 0 || owner_.link.dataComm == nullptr) return;
  int32_t result =
      owner_.link.dataComm(owner_.link.handle, request.data(), length, reply.data(), kMaxMessage);
  if (result < 0) {
    std::vector<uint32_t> flags = owner_.LineOpenFlagsSnapshot();
    for (uint32_t line = 0; line < flags.size(); ++line) {
      if (flags[line] != 1) continue;
      WriteEventLog(owner_, LogFormat("LINEDEVSTATE_REINIT-0001[%d]", static_cast<int>(line)));
      PostLineEventByIndex(owner_, line, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 0, 0);
    }
    owner_.reinitPending = 1;
    return;
  }
  ParsedParam params[kKeepAliveParams];
  int32_t count = ParseMessage(owner_.session.get(), params, kKeepAliveParams, reply.data(),
                               result < kMaxMessage ? result : kMaxMessage);
  DWORD status = QR_NORMAL;
  for (int32_t i = 0; i < count && i < 2; ++i) {
    if (params[i].length >= 1 && reply[params[i].offset] == kStatusMessagesLost) {
      status = QR_MESSAGELOST;
    }
  }
  std::vector<uint32_t> flags = owner_.LineOpenFlagsSnapshot();
  if (SystemStatusNotify(owner_) && !flags.empty() && flags[0] == 1) {
    PostLineEventByIndex(owner_, 0, nullptr, LINE_DEVSPECIFIC, status, 0, 0);
  }
}

std::unique_ptr<NoticeAnalyzer> MakeNoticeAnalyzer(CVN2448Driver& owner) {
  return std::make_unique<EventAnalyzer>(owner);
}

int32_t RequeueEvent(CVN2448Driver& owner, uint8_t* record, int32_t length) {
  auto* analyzer = dynamic_cast<EventAnalyzer*>(owner.analyzer.get());
  if (analyzer == nullptr) return 0;
  return analyzer->RequeueEvent(record, length);
}

}  // namespace qrvn::provider
