// The event intake of an instance: the inbound queue, the dispatch table with its device gate
// and trace, NoticeAnalyzeThread's admission, hold and retry pacing, handler faults, and
// KeepAliveThread's poll and its link-loss path.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "provider/core/cvn2448_driver.h"
#include "provider/core/event_dispatch.h"
#include "provider/core/line_events.h"
#include "provider/core/notice_analyzer.h"
#include "provider/core/process.h"
#include "provider_test_support.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

// A CTI event: code, kind 1, then (tag, value) parameters.
std::vector<uint8_t> Event(uint8_t code,
                           std::vector<std::pair<uint8_t, std::vector<uint8_t>>> params = {},
                           uint8_t kind = kKindRequest) {
  std::vector<uint8_t> message{code, kind, 0, 0};
  for (auto& [tag, value] : params) {
    message.push_back(tag);
    message.push_back(static_cast<uint8_t>(value.size() >> 8));
    message.push_back(static_cast<uint8_t>(value.size()));
    message.insert(message.end(), value.begin(), value.end());
  }
  return message;
}

// A queued record around a message: receive tick, fresh flag, message.
std::vector<uint8_t> Record(const std::vector<uint8_t>& message, uint32_t tick = 0,
                            uint32_t fresh = 1) {
  std::vector<uint8_t> record(kEventRecordHeader + message.size());
  SetRecordHeader(record.data(), tick, fresh);
  std::memcpy(record.data() + kEventRecordHeader, message.data(), message.size());
  return record;
}

// The texts of the stamped lines of a log, in order (raw marks stay inside the text).
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  if (log.size() < kLogFirstLine) return lines;
  size_t at = kLogFirstLine;
  while (at < log.size()) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    size_t stamp = line.find("] ");
    if (!line.empty() && line[0] == '[' && stamp != std::string::npos)
      line = line.substr(stamp + 2);
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines) {
    if (l == line) return true;
  }
  return false;
}

// Waits (in real time, with a generous cap) until done() holds.
bool WaitFor(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Lets at least ms of process-clock time pass.
void LetTimePass(uint32_t ms) {
  uint32_t start = platform::TickCount();
  while (platform::TicksSince(start, platform::TickCount()) < ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A device model of a few lines, every line in service, line 0 with a device-specific area.
class TestSession final : public PbxSession {
 public:
  TestSession(CVN2448Driver& owner, uint32_t lines) : PbxSession(&owner.ctiVersion) {
    statusBlocks_.resize(lines);
    lines_.resize(lines);
    for (uint32_t i = 0; i < lines; ++i) {
      statusBlocks_[i].assign(sizeof(LINEDEVSTATUS) + 8, 0);
      auto* status = reinterpret_cast<LINEDEVSTATUS*>(statusBlocks_[i].data());
      status->dwTotalSize = static_cast<DWORD>(statusBlocks_[i].size());
      status->dwDevStatusFlags = LINEDEVSTATUSFLAGS_INSERVICE;
      status->dwDevSpecificSize = 8;
      status->dwDevSpecificOffset = sizeof(LINEDEVSTATUS);
      lines_[i].devStatus = status;
      lines_[i].lineIndex = i;
      lines_[i].htLine = reinterpret_cast<HTAPILINE>(static_cast<uintptr_t>(0x100 + i));
    }
  }
  int32_t StartUp(uint32_t, uint32_t) override { return kStartUpReady; }
  int32_t RegisterEvents() override { return 1; }
  int32_t CloseSession() override { return 1; }
  void ReleaseDevices() override {}
  bool LinesCounted() const override { return true; }
  uint32_t LineCount() const override { return static_cast<uint32_t>(lines_.size()); }
  LineDevice* Line(uint32_t index) override {
    return index < lines_.size() ? &lines_[index] : nullptr;
  }
  uint32_t PbxSystemStatus() const override { return 2; }
  // Sets SystemStatusNotify, bit 0 of the SYSTEM line's first device-specific word.
  void SetSystemStatusNotify(bool on) {
    uint32_t word = on ? 1 : 0;
    std::memcpy(statusBlocks_[0].data() + sizeof(LINEDEVSTATUS), &word, sizeof word);
  }

 private:
  std::vector<std::vector<uint8_t>> statusBlocks_;
  std::vector<LineDevice> lines_;
};

// What the test handlers, the line callback and the fake link saw.
struct Seen {
  std::mutex mutex;
  std::vector<uint8_t> codes;
  std::vector<uint32_t> ticks;
  std::vector<uint32_t> busy;
  std::vector<bool> semaphoreHeld;
  std::vector<int32_t> requeueResults;
  struct LineEvent {
    HTAPILINE line;
    DWORD msg;
    DWORD_PTR param1;
  };
  std::vector<LineEvent> lineEvents;
  std::vector<uint32_t> pollTicks;
  int32_t dataCommResult = 0;
  std::vector<uint8_t> statusReply;  // the reply DataComm gives when it succeeds
  size_t Handled() {
    std::lock_guard<std::mutex> lock(mutex);
    return codes.size();
  }
  size_t Polls() {
    std::lock_guard<std::mutex> lock(mutex);
    return pollTicks.size();
  }
};
Seen* g_seen = nullptr;
CVN2448Driver* g_instance = nullptr;

int32_t Record(CVN2448Driver& owner, uint8_t* record) {
  std::lock_guard<std::mutex> lock(g_seen->mutex);
  g_seen->codes.push_back(record[kEventRecordHeader]);
  g_seen->ticks.push_back(platform::TickCount());
  g_seen->busy.push_back(owner.providerBusy.load());
  // Held by the analyzer: a try now fails.
  bool free = owner.providerSemaphore->Wait(0);
  if (free) owner.providerSemaphore->Release();
  g_seen->semaphoreHeld.push_back(!free);
  return 1;
}

int32_t RecordingHandler(CVN2448Driver& owner, uint8_t* record, int32_t) {
  return Record(owner, record);
}

// Puts its event back until the requeue limit drops it.
int32_t RequeueingHandler(CVN2448Driver& owner, uint8_t* record, int32_t length) {
  int32_t result = RequeueEvent(owner, record, length);
  // Recorded at the end, so that the tick is no earlier than the requeue's own clock read.
  Record(owner, record);
  std::lock_guard<std::mutex> lock(g_seen->mutex);
  g_seen->requeueResults.push_back(result);
  return 1;
}

int32_t ThrowingHandler(CVN2448Driver& owner, uint8_t* record, int32_t) {
  Record(owner, record);
  throw std::runtime_error("handler fault");
}

volatile int* volatile g_nowhere = nullptr;

int32_t FaultingHandler(CVN2448Driver& owner, uint8_t* record, int32_t) {
  Record(owner, record);  // takes and gives back its lock before the fault
  *g_nowhere = 1;
  return 1;
}

void OnLineEvent(HTAPILINE line, HTAPICALL, DWORD msg, DWORD_PTR p1, DWORD_PTR, DWORD_PTR) {
  std::lock_guard<std::mutex> lock(g_seen->mutex);
  g_seen->lineEvents.push_back({line, msg, p1});
}

int32_t FakeDataComm(uint32_t, const uint8_t* request, int32_t length, uint8_t* reply,
                     int32_t replySize) {
  std::lock_guard<std::mutex> lock(g_seen->mutex);
  if (request[0] == kSysStatEvent && length == 4)
    g_seen->pollTicks.push_back(platform::TickCount());
  if (g_seen->dataCommResult < 0) return g_seen->dataCommResult;
  auto size = static_cast<int32_t>(g_seen->statusReply.size());
  if (size > replySize) return -1;
  std::memcpy(reply, g_seen->statusReply.data(), g_seen->statusReply.size());
  return size;
}

uint32_t g_queCount = 0xFFFFFFFF;
void OnQueCount(uint32_t count) {
  g_queCount = count;
}

class EventIntakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());
    SetProviderLogSettings({1, 4000000});
    g_seen = &seen_;
    instance_ = std::make_unique<CVN2448Driver>(0);
    g_instance = instance_.get();
    instance_->config.debug = 1;
    instance_->config.logFileSize = 4000000;
    instance_->config.keepAliveTime = 10;
    instance_->ctiVersion = 0x13000;
    instance_->providerSemaphore = std::make_unique<platform::BinarySemaphore>(true);
    instance_->link.dataComm = &FakeDataComm;
    instance_->link.handle = 7;
    auto session = std::make_unique<TestSession>(*instance_, 3);
    session_ = session.get();
    instance_->session = std::move(session);
    instance_->SetLineCount(3);
    auto analyzer = std::make_unique<EventAnalyzer>(*instance_);
    analyzer_ = analyzer.get();
    instance_->analyzer = std::move(analyzer);
    seen_.statusReply = Event(kSysStatEvent, {}, kKindPositiveReply);
  }
  void TearDown() override {
    instance_.reset();
    ClearEventHandlers();
    Process().setQueCount = nullptr;
    ProcessDetach();
    SetProviderLogSettings({0, 0});
    g_seen = nullptr;
  }
  // Opens a line: its callback is set and its LineOpenFlags entry is 1.
  void OpenLine(uint32_t index) {
    session_->Line(index)->eventProc = &OnLineEvent;
    instance_->SetLineOpenFlag(index, 1);
  }
  int32_t Receive(const std::vector<uint8_t>& message) {
    return analyzer_->OnReceive(message.data(), static_cast<int32_t>(message.size()));
  }

  testing::TempRoot root_;
  Seen seen_;
  std::unique_ptr<CVN2448Driver> instance_;
  TestSession* session_ = nullptr;
  EventAnalyzer* analyzer_ = nullptr;
};

TEST_F(EventIntakeTest, QueueKeepsArrivalOrderAndNumbersEntries) {
  Process().setQueCount = &OnQueCount;
  InboundQueue& queue = analyzer_->Queue();
  for (uint8_t code : {49, 50, 51}) ASSERT_EQ(Receive(Event(code)), 1);
  EXPECT_EQ(queue.Count(), 3u);
  EXPECT_EQ(g_queCount, 3u);
  EXPECT_EQ(analyzer_->FreshEventCount(), 3);
  EXPECT_EQ(queue.HeadSequence(), 0);
  EXPECT_EQ(queue.NextSequence(), 3u);

  // A buffer too small for the head leaves it in place.
  uint8_t small[8];
  EXPECT_EQ(queue.Dequeue(small, sizeof small), -1);
  EXPECT_EQ(queue.Count(), 3u);

  uint8_t buffer[kDequeueBuffer];
  for (uint8_t code : {49, 50, 51}) {
    ASSERT_EQ(queue.Dequeue(buffer, sizeof buffer), kEventRecordHeader + 4);
    EXPECT_EQ(buffer[kEventRecordHeader], code);
    EXPECT_EQ(RecordFresh(buffer), 1u);
  }
  EXPECT_EQ(queue.Dequeue(buffer, sizeof buffer), 0);
  EXPECT_EQ(g_queCount, 0u);
  // Numbers go on from where they were, never reused.
  ASSERT_EQ(Receive(Event(52)), 1);
  EXPECT_EQ(queue.HeadSequence(), 3);
  queue.Clear();
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_EQ(queue.HeadSequence(), -1);
}

TEST_F(EventIntakeTest, OnReceiveRefusesWhatCannotBeQueued) {
  EXPECT_EQ(analyzer_->OnReceive(nullptr, 4), 0);
  std::vector<uint8_t> huge(kMaxMessage + 1, 49);
  EXPECT_EQ(Receive(huge), 0);
  std::vector<uint8_t> largest(kMaxMessage, 49);
  EXPECT_EQ(Receive(largest), 1);
  uint8_t buffer[kDequeueBuffer];
  EXPECT_EQ(analyzer_->Queue().Dequeue(buffer, sizeof buffer), kDequeueBuffer);
}

// One case of the dispatch table: the message and the event log line it gives (empty: none).
struct DispatchCase {
  const char* what;
  std::vector<uint8_t> message;
  DispatchOutcome outcome;
  std::string line;
};

TEST_F(EventIntakeTest, DispatchTracesGatesAndDropsByTable) {
  using P = std::vector<std::pair<uint8_t, std::vector<uint8_t>>>;
  const std::vector<DispatchCase> cases = {
      {"code 74 is not in the table", Event(74, P{{1, {1, 0x10}}}), DispatchOutcome::Dropped, ""},
      {"code 200 is above the table", Event(200, P{{1, {1}}}), DispatchOutcome::Dropped, ""},
      {"code 5 is below the table", Event(5), DispatchOutcome::Dropped, ""},
      {"device kind 3 fails the gate", Event(kServiceBeginInform, P{{1, {3, 0x20}}}),
       DispatchOutcome::Dropped, ""},
      {"gated event without a parameter", Event(kServiceBeginInform), DispatchOutcome::Dropped, ""},
      {"device kind 1 passes, tag 1 shown", Event(kServiceBeginInform, P{{1, {1, 0x20}}, {2, {9}}}),
       DispatchOutcome::NoHandler, "ServiceBeginInform [01:0120] "},
      {"transfer shows tags 1 to 4 only",
       Event(kTransferredInform,
             P{{1, {1, 1}}, {2, {2}}, {3, {3}}, {4, {0xAB, 0xCD}}, {5, {5}}, {6, {6}}}),
       DispatchOutcome::NoHandler, "TransferredInform [01:0101] [02:02] [03:03] [04:ABCD] "},
      {"name only", Event(kOfferringInform, P{{1, {2, 7}}}), DispatchOutcome::NoHandler,
       "OfferringInform"},
      {"ungated event with any device", Event(kDiverted, P{{1, {3}}, {4, {4}}}),
       DispatchOutcome::NoHandler, "Diverted [01:03] "},
      {"negative reply traces the name alone",
       Event(kConnectInform, P{{1, {1}}}, kKindNegativeReply), DispatchOutcome::NoHandler,
       "ConnectInform "},
      {"kind 35 passes", Event(kRecall, P{{1, {35}}}), DispatchOutcome::NoHandler,
       "Recall [01:23] "},
      {"kind 13 fails", Event(kRecall, P{{1, {13}}}), DispatchOutcome::Dropped, ""},
      {"parameter running past the end is cut to the message",
       std::vector<uint8_t>{kCallerID, 1, 0, 0, 1, 0, 9, 1, 2}, DispatchOutcome::NoHandler,
       "CallerID [01:0102] "},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string before = testing::EventLogText();
    std::vector<uint8_t> record = Record(c.message);
    EXPECT_EQ(DispatchEvent(*instance_, record.data(), static_cast<int32_t>(record.size())),
              c.outcome);
    std::vector<std::string> lines = LogLines(testing::EventLogText());
    size_t beforeCount = LogLines(before).size();
    if (c.line.empty()) {
      EXPECT_EQ(lines.size(), beforeCount);
    } else {
      ASSERT_EQ(lines.size(), beforeCount + 1);
      EXPECT_EQ(lines.back(), c.line);
    }
  }
}

TEST_F(EventIntakeTest, TableNamesKeepTheirTrailingBlanks) {
  // The log names whose texts end in a blank, as every reader of the event log expects.
  const std::vector<std::pair<uint8_t, std::string>> names = {
      {6, "SMDRInfoInform"},
      {13, "TimeoutOfProgramMode"},
      {49, "ServiceBeginInform "},
      {53, "OfferringInform"},
      {62, "ConfPartyDroppedInform "},
      {63, "Diverted "},
      {64, "FeatureStatReportInform "},
      {73, "CallAccountingInfo"},
      {75, "GroupArrived "},
      {120, "OGMPlayEndedInform "},
      {129, "SysStatEvent"},
      {136, "ChangeDeviceInfo "},
      {177, "ResultOfTimedReminder"},
      {187, "ReportDTMF"},
      {191, "FiveConfDropped "},
  };
  for (const auto& [code, name] : names) {
    const EventSpec* spec = FindEventSpec(code);
    ASSERT_NE(spec, nullptr) << int(code);
    EXPECT_EQ(spec->logName, name);
  }
  EXPECT_EQ(EventTable().size(), 38u);
  EXPECT_FALSE(SetEventHandler(74, &RecordingHandler));
  EXPECT_TRUE(SetEventHandler(kRecall, &RecordingHandler));
}

TEST_F(EventIntakeTest, AnalyzerDispatchesInOrderHoldingTheInstance) {
  for (uint8_t code : {kServiceBeginInform, kConnectInform, kSysStatEvent}) {
    SetEventHandler(code, &RecordingHandler);
  }
  ASSERT_TRUE(analyzer_->Start(nullptr));
  Receive(Event(kServiceBeginInform, {{1, {1, 0x20}}}));
  Receive(Event(74, {{1, {1}}}));
  Receive(Event(kConnectInform, {{1, {2, 1}}}));
  Receive(Event(kSysStatEvent));
  ASSERT_TRUE(WaitFor([&] { return seen_.Handled() == 3 && analyzer_->FreshEventCount() == 0; }));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_EQ(seen_.codes,
            (std::vector<uint8_t>{kServiceBeginInform, kConnectInform, kSysStatEvent}));
  EXPECT_EQ(seen_.busy, (std::vector<uint32_t>{1, 1, 1}));
  EXPECT_EQ(seen_.semaphoreHeld, (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(WaitFor([&] { return instance_->providerBusy.load() == 0; }));
}

TEST_F(EventIntakeTest, BusyInstanceIsPolledUntilFree) {
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  instance_->providerBusy = 1;  // a request worker holds the instance
  Receive(Event(kSysStatEvent));
  LetTimePass(500);
  EXPECT_EQ(seen_.Handled(), 0u);
  instance_->providerBusy = 0;
  EXPECT_TRUE(WaitFor([&] { return seen_.Handled() == 1; }));
}

TEST_F(EventIntakeTest, GlobalSemaphoreHeldElsewhereDelaysAdmission) {
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  ASSERT_TRUE(Process().globalSemaphore.Wait(0));
  Receive(Event(kSysStatEvent));
  LetTimePass(300);
  EXPECT_EQ(seen_.Handled(), 0u);
  Process().globalSemaphore.Release();
  EXPECT_TRUE(WaitFor([&] { return seen_.Handled() == 1; }));
}

TEST_F(EventIntakeTest, EventDispatchHoldLeavesEventsQueued) {
  for (uint8_t code : {kDialingInform, kRingBackInform, kAcceptInform}) {
    SetEventHandler(code, &RecordingHandler);
  }
  ASSERT_TRUE(analyzer_->Start(nullptr));
  instance_->eventDispatchHold = 1;
  for (uint8_t code : {kDialingInform, kRingBackInform, kAcceptInform}) {
    Receive(Event(code, {{1, {1, 0}}}));
  }
  LetTimePass(500);
  EXPECT_EQ(seen_.Handled(), 0u);
  EXPECT_EQ(analyzer_->Queue().Count(), 3u);
  instance_->eventDispatchHold = 0;
  ASSERT_TRUE(WaitFor([&] { return seen_.Handled() == 3; }));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_EQ(seen_.codes, (std::vector<uint8_t>{kDialingInform, kRingBackInform, kAcceptInform}));
}

TEST_F(EventIntakeTest, RequeuedEventIsPacedAndDroppedAtTheLimit) {
  SetEventHandler(kHeldInform, &RequeueingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  uint32_t first = platform::TickCount();
  Receive(Event(kHeldInform, {{1, {1, 5}}}));
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(seen_.mutex);
    return !seen_.requeueResults.empty() && seen_.requeueResults.back() == 0;
  }));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  // Every attempt but the last put the event back; the last was past the limit.
  size_t attempts = seen_.requeueResults.size();
  ASSERT_GE(attempts, 2u);
  for (size_t i = 0; i + 1 < attempts; ++i) EXPECT_EQ(seen_.requeueResults[i], 1) << i;
  // With only requeued events waiting, retries come no faster than every 50 ms.
  for (size_t i = 1; i < seen_.ticks.size(); ++i) {
    EXPECT_GE(platform::TicksSince(seen_.ticks[i - 1], seen_.ticks[i]), 50u) << i;
  }
  EXPECT_LE(attempts, kRequeueLimitMs / 50 + 2);
  EXPECT_GE(platform::TicksSince(first, seen_.ticks.back()), kRequeueLimitMs);
  std::string log = testing::EventLogText();
  EXPECT_NE(log.find(kQueDataDelete), std::string::npos);
  EXPECT_EQ(log.find(kQueDataDelete), log.rfind(kQueDataDelete));
  EXPECT_EQ(analyzer_->Queue().Count(), 0u);
}

TEST_F(EventIntakeTest, FreshEventIsTakenAtTheNextPassAmongRetries) {
  SetEventHandler(kHeldInform, &RequeueingHandler);
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  Receive(Event(kHeldInform, {{1, {1, 5}}}));
  ASSERT_TRUE(WaitFor([&] { return seen_.Handled() >= 3; }));
  size_t before = seen_.Handled();
  Receive(Event(kSysStatEvent));
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(seen_.mutex);
    return std::count(seen_.codes.begin(), seen_.codes.end(), kSysStatEvent) == 1;
  }));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  size_t at =
      std::find(seen_.codes.begin(), seen_.codes.end(), kSysStatEvent) - seen_.codes.begin();
  // At most the attempt under way and the one queued ahead of it come first.
  EXPECT_LE(at - before, 2u);
}

TEST_F(EventIntakeTest, RequeueKeepsTheFirstTickAndClearsTheFreshFlag) {
  uint32_t now = platform::TickCount();
  std::vector<uint8_t> record = Record(Event(kHeldInform, {{1, {1, 5}}}), now - 100, 1);
  EXPECT_EQ(analyzer_->RequeueEvent(record.data(), static_cast<int32_t>(record.size())), 1);
  uint8_t buffer[kDequeueBuffer];
  ASSERT_EQ(analyzer_->Queue().Dequeue(buffer, sizeof buffer), static_cast<int32_t>(record.size()));
  EXPECT_EQ(RecordTick(buffer), now - 100);
  EXPECT_EQ(RecordFresh(buffer), 0u);
  EXPECT_EQ(analyzer_->FreshEventCount(), 0);

  // 15000 ms after its first arrival the event is dropped with the mark, as written.
  std::vector<uint8_t> old = Record(Event(kHeldInform, {{1, {1, 5}}}), now - kRequeueLimitMs, 0);
  EXPECT_EQ(analyzer_->RequeueEvent(old.data(), static_cast<int32_t>(old.size())), 0);
  EXPECT_EQ(analyzer_->Queue().Count(), 0u);
  std::string log = testing::EventLogText();
  ASSERT_GE(log.size(), std::strlen(kQueDataDelete));
  EXPECT_EQ(log.substr(log.size() - std::strlen(kQueDataDelete)), kQueDataDelete);

  // A record the analyzer could never take back is refused.
  std::vector<uint8_t> huge(kDequeueBuffer + 1, 0);
  SetRecordHeader(huge.data(), now, 1);
  EXPECT_EQ(analyzer_->RequeueEvent(huge.data(), static_cast<int32_t>(huge.size())), 0);
  EXPECT_EQ(analyzer_->Queue().Count(), 0u);
}

TEST_F(EventIntakeTest, HandlerFaultIsLoggedAndTheNextEventHandled) {
  SetEventHandler(kClearInform, &ThrowingHandler);
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  std::strcpy(instance_->romVersion, "R1.05");
  ASSERT_TRUE(analyzer_->Start(nullptr));
  Receive(Event(kClearInform, {{1, {1, 2}}}));
  Receive(Event(kSysStatEvent));
  ASSERT_TRUE(WaitFor([&] { return seen_.Handled() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return instance_->providerBusy.load() == 0; }));
  EXPECT_TRUE(instance_->providerSemaphore->Wait(0));
  instance_->providerSemaphore->Release();
  analyzer_->StopAnalyzer();
  std::vector<std::string> lines = LogLines(testing::EventLogText());
  auto at = std::find(lines.begin(), lines.end(), "ClearInform [01:0102] ");
  ASSERT_NE(at, lines.end());
  ASSERT_GE(lines.end() - at, 5);
  EXPECT_EQ(at[1], "***== Try-Except ==***");
  EXPECT_EQ(at[2],
            "PBXType[VN2448] CTIVersion[13000] ROMVersion[R1.05] TSPVersion[Build 0177 "
            "2003.03.13]");
  EXPECT_EQ(at[3].rfind("eax=", 0), 0u);
  EXPECT_EQ(at[4], "SysStatEvent");
}

TEST_F(EventIntakeTest, MemoryFaultInAHandlerIsLoggedWithItsRegistersAndCode) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reports the fault itself";
#endif
  SetEventHandler(kClearInform, &FaultingHandler);
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  Receive(Event(kClearInform, {{1, {1, 2}}}));
  Receive(Event(kSysStatEvent));
  ASSERT_TRUE(WaitFor([&] { return seen_.Handled() == 2; }));
  ASSERT_TRUE(WaitFor([&] { return instance_->providerBusy.load() == 0; }));
  analyzer_->StopAnalyzer();
  std::vector<std::string> lines = LogLines(testing::EventLogText());
  auto at = std::find(lines.begin(), lines.end(), "ClearInform [01:0102] ");
  ASSERT_NE(at, lines.end());
  ASSERT_GE(lines.end() - at, 6);
  EXPECT_EQ(at[1], "***== Try-Except ==***");
  EXPECT_EQ(at[3].rfind("eax=", 0), 0u);
#if defined(__x86_64__)
  EXPECT_EQ(at[3].find("eip=00000000"), std::string::npos) << at[3];
  EXPECT_EQ(at[4].size() % 3, 0u) << "code bytes as \"%02X \": " << at[4];
  EXPECT_EQ(at[5], "SysStatEvent");
#endif
}

TEST_F(EventIntakeTest, ThreadsLogTheirStartAndEnd) {
  instance_->pbxType = 2;
  instance_->pbxCountry = 81;
  std::strcpy(instance_->romVersion, "V2");
  instance_->config.msgWaitCallback = {'1', '2', '3', '4', 0, 0, 0, 0};
  ASSERT_TRUE(analyzer_->Start(nullptr));
  analyzer_->StopKeepAlive();
  analyzer_->StopAnalyzer();
  std::vector<std::string> lines = LogLines(testing::EventLogText());
  EXPECT_TRUE(Contains(lines,
                       "NoticeAnalyzeThread Start PBXType[VN2448D] CTIVersion[13000] "
                       "ROMVersion[V2] PBXCountry[81] TSPVersion[Build 0177 2003.03.13]"));
  EXPECT_TRUE(Contains(lines, "KeepAliveThread Start[10]"));
  EXPECT_TRUE(Contains(lines,
                       "* INITMSGWAIT[1] DEBUG[1] LOGFILESIZE[4000000] INCOMINGACCOUNT[1] "
                       "DISAADDRESS[0] MSGWAITCALLBACK[1234]"));
  EXPECT_TRUE(Contains(lines, "* NACKTIMEOUT[2000] NACKRETRY[4] TIMEOUTRETRY[16] TIMEOUT[30000]"));
  EXPECT_TRUE(Contains(lines, "KeepAliveThread End"));
  EXPECT_TRUE(Contains(lines, "NoticeAnalyzeThread End"));
  std::vector<std::string> providerLines = LogLines(testing::ProviderLogText());
  EXPECT_TRUE(Contains(providerLines,
                       "* FWDDNDDELEY[0] ACCINFODELEY[1000] ACCINFOMAXSIZE[500] "
                       "ACCINFOFILEPATH[]"));
  // Started again after a stop, both threads come back.
  ASSERT_TRUE(analyzer_->Start(nullptr));
}

TEST_F(EventIntakeTest, StopEndsAnAnalyzerWaitingForABusyInstance) {
  SetEventHandler(kSysStatEvent, &RecordingHandler);
  ASSERT_TRUE(analyzer_->Start(nullptr));
  instance_->providerBusy = 1;
  Receive(Event(kSysStatEvent));
  ASSERT_TRUE(WaitFor([&] { return analyzer_->Queue().Count() == 0; }));
  analyzer_->StopAnalyzer();
  EXPECT_EQ(seen_.Handled(), 0u);
  EXPECT_EQ(instance_->providerBusy.load(), 1u);  // not ours to clear
}

TEST_F(EventIntakeTest, KeepAliveNeverPollsWithCti12) {
  instance_->ctiVersion = 0x12000;
  instance_->config.keepAliveTime = 1;
  ASSERT_TRUE(analyzer_->Start(nullptr));
  LetTimePass(5000);
  analyzer_->StopKeepAlive();
  EXPECT_EQ(seen_.Polls(), 0u);
}

TEST_F(EventIntakeTest, KeepAlivePollsEveryKeepAliveTime) {
  instance_->config.keepAliveTime = 10;
  uint32_t start = platform::TickCount();
  ASSERT_TRUE(analyzer_->Start(nullptr));
  ASSERT_TRUE(WaitFor([&] { return seen_.Polls() >= 3; }));
  analyzer_->StopKeepAlive();
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_GE(platform::TicksSince(start, seen_.pollTicks[0]), 10000u);
  for (size_t i = 1; i < seen_.pollTicks.size(); ++i) {
    EXPECT_GE(platform::TicksSince(seen_.pollTicks[i - 1], seen_.pollTicks[i]), 10000u);
  }
  EXPECT_EQ(instance_->reinitPending.load(), 0u);
  EXPECT_TRUE(seen_.lineEvents.empty());  // SystemStatusNotify is clear
}

TEST_F(EventIntakeTest, KeepAliveFailurePostsReinitOnOpenLines) {
  instance_->config.keepAliveTime = 1;
  OpenLine(0);
  OpenLine(2);
  session_->Line(1)->eventProc = &OnLineEvent;  // callback but LineOpenFlags 0
  seen_.dataCommResult = -5;
  ASSERT_TRUE(analyzer_->Start(nullptr));
  ASSERT_TRUE(WaitFor([&] { return instance_->reinitPending.load() == 1; }));
  LetTimePass(3000);
  analyzer_->StopKeepAlive();
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_EQ(seen_.pollTicks.size(), 1u);  // nothing more once the link is given up
  ASSERT_EQ(seen_.lineEvents.size(), 2u);
  EXPECT_EQ(seen_.lineEvents[0].line, session_->Line(0)->htLine);
  EXPECT_EQ(seen_.lineEvents[1].line, session_->Line(2)->htLine);
  for (const auto& e : seen_.lineEvents) {
    EXPECT_EQ(e.msg, LINE_LINEDEVSTATE);
    EXPECT_EQ(e.param1, LINEDEVSTATE_REINIT);
  }
  std::vector<std::string> lines = LogLines(testing::EventLogText());
  EXPECT_TRUE(Contains(lines, "LINEDEVSTATE_REINIT-0001[0]"));
  EXPECT_TRUE(Contains(lines, "LINEDEVSTATE_REINIT-0001[2]"));
  EXPECT_FALSE(Contains(lines, "LINEDEVSTATE_REINIT-0001[1]"));
  EXPECT_EQ(instance_->providerBusy.load(), 0u);
}

// A keep-alive reply and the LINE_DEVSPECIFIC status it gives with SystemStatusNotify set.
struct StatusCase {
  const char* what;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> params;
  DWORD status;
};

TEST_F(EventIntakeTest, KeepAliveReportsTheSystemStatus) {
  const std::vector<StatusCase> cases = {
      {"second parameter reports lost messages", {{1, {2}}, {2, {3, 0}}}, QR_MESSAGELOST},
      {"first parameter reports lost messages", {{1, {3}}}, QR_MESSAGELOST},
      {"normal", {{1, {2}}, {2, {2}}}, QR_NORMAL},
      {"no parameters", {}, QR_NORMAL},
      {"third parameter is not read", {{1, {2}}, {2, {2}}, {3, {3}}}, QR_NORMAL},
  };
  instance_->config.keepAliveTime = 1;
  session_->SetSystemStatusNotify(true);
  OpenLine(0);
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::lock_guard<std::mutex> lock(seen_.mutex);
      seen_.statusReply = Event(kSysStatEvent, c.params, kKindPositiveReply);
      seen_.lineEvents.clear();
    }
    ASSERT_TRUE(analyzer_->Start(nullptr));
    ASSERT_TRUE(WaitFor([&] {
      std::lock_guard<std::mutex> lock(seen_.mutex);
      return !seen_.lineEvents.empty();
    }));
    analyzer_->StopKeepAlive();
    std::lock_guard<std::mutex> lock(seen_.mutex);
    EXPECT_EQ(seen_.lineEvents[0].msg, LINE_DEVSPECIFIC);
    EXPECT_EQ(seen_.lineEvents[0].param1, c.status);
  }
}

}  // namespace
}  // namespace qrvn::provider
