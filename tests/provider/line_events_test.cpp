// Event posting and asynchronous completions: the filtering of PostLineEvent, its trace
// texts, and the order in which a reply job reports and releases the instance.
#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "provider/core/cvn2448_driver.h"
#include "provider/core/line_events.h"
#include "provider/core/process.h"
#include "provider_test_support.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

struct Delivered {
  HTAPILINE line;
  HTAPICALL call;
  DWORD msg;
  DWORD_PTR p1, p2, p3;
};
std::vector<Delivered> g_delivered;

void OnLineEvent(HTAPILINE line, HTAPICALL call, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                 DWORD_PTR p3) {
  g_delivered.push_back({line, call, msg, p1, p2, p3});
}

std::string ProviderLogTail() {
  std::string log = testing::ProviderLogText();
  if (log.size() < kLogFirstLine) return {};
  size_t end = log.rfind("\r\n");
  if (end == std::string::npos || end < kLogFirstLine) return {};
  size_t start = log.rfind("\r\n", end - 1);
  start = (start == std::string::npos || start < kLogFirstLine) ? kLogFirstLine : start + 2;
  std::string line = log.substr(start, end - start);
  size_t stamp = line.find("] ");
  return stamp == std::string::npos ? line : line.substr(stamp + 2);
}

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIxPTR, reinterpret_cast<uintptr_t>(p));
  return text;
}

class LineEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());
    SetProviderLogSettings({1, 4000000});
    g_delivered.clear();
    status_.dwTotalSize = sizeof status_;
    status_.dwDevStatusFlags = LINEDEVSTATUSFLAGS_INSERVICE;
    line_.devStatus = &status_;
    line_.htLine = reinterpret_cast<HTAPILINE>(uintptr_t{0x4711});
    line_.eventProc = &OnLineEvent;
    call_.htCall = reinterpret_cast<HTAPICALL>(uintptr_t{0x815});
  }
  void TearDown() override {
    ProcessDetach();
    SetProviderLogSettings({0, 0});
  }

  testing::TempRoot root_;
  LINEDEVSTATUS status_{};
  LineDevice line_;
  CallRecord call_;
};

// One message and the Msg, Param1 and Param2 texts of its trace.
struct TraceCase {
  DWORD msg;
  DWORD_PTR p1, p2;
  const char* texts;
};

TEST_F(LineEventsTest, TraceNamesMessagesAndParameters) {
  const std::vector<TraceCase> cases = {
      {LINE_CALLSTATE, 0x100, 0x4, "Msg=LINE_CALLSTATE, Param1=LINECALLSTATE_CONNECTED, Param2="},
      {LINE_CALLSTATE, 0x2000, 0, "Msg=LINE_CALLSTATE, Param1=2000, Param2="},
      {LINE_CALLSTATE, 0x8000, 0, "Msg=LINE_CALLSTATE, Param1=LINECALLSTATE_UNKNOWN, Param2="},
      {LINE_DEVSPECIFIC, 28, 2,
       "Msg=LINE_DEVSPECIFIC, Param1=QR_CONFERENCED, Param2=QR_REMOVEPARTY"},
      {LINE_DEVSPECIFIC, 28, 7, "Msg=LINE_DEVSPECIFIC, Param1=QR_CONFERENCED, Param2=7"},
      {LINE_DEVSPECIFIC, 13, 2, "Msg=LINE_DEVSPECIFIC, Param1=QR_SETNAME, Param2="},
      {LINE_DEVSPECIFIC, 9, 0, "Msg=LINE_DEVSPECIFIC, Param1=9, Param2="},
      {LINE_ADDRESSSTATE, 3, 0x40,
       "Msg=LINE_ADDRESSSTATE, Param1=, Param2=LINEADDRESSSTATE_FORWARD"},
      {LINE_ADDRESSSTATE, 0, 0x1ff, "Msg=LINE_ADDRESSSTATE, Param1=, Param2=1ff"},
      {LINE_CALLINFO, 0x40000000, 1,
       "Msg=LINE_CALLINFO, Param1=LINECALLINFOSTATE_CALLDATA, Param2="},
      {LINE_GATHERDIGITS, 0x10, 0, "Msg=LINE_GATHERDIGITS, Param1=LINEGATHERTERM_CANCEL, Param2="},
      {LINE_LINEDEVSTATE, 0x40000, 0, "Msg=LINE_LINEDEVSTATE, Param1=LINEDEVSTATE_REINIT, Param2="},
      {LINE_LINEDEVSTATE, 0x800000, 0,
       "Msg=LINE_LINEDEVSTATE, Param1=LINEDEVSTATE_COMPLCANCEL, Param2="},
      {LINE_REPLY, 5, 6, "Msg=LINE_REPLY, Param1=, Param2="},
      {500, 1, 2, "Msg=LINE_NEWCALL, Param1=, Param2="},
      {77, 0xABC, 1, "Msg=4d, Param1=, Param2="},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.texts);
    EXPECT_EQ(
        LineEventTrace(reinterpret_cast<void*>(uintptr_t{0xbeef0}), nullptr, c.msg, c.p1, c.p2),
        std::string("<<<Message>>> Line=xbeef0, Call=x0, ") + c.texts);
  }
  EXPECT_STREQ(DevSpecificName(QR_OVFIRNA), "QR_OVFIRNA");
  EXPECT_EQ(DevSpecificName(9), nullptr);
}

TEST_F(LineEventsTest, PostsToAnOpenLineWithTheCallHandle) {
  PostLineEvent(&line_, &call_, LINE_CALLSTATE, 0x100, 0, 7);
  ASSERT_EQ(g_delivered.size(), 1u);
  EXPECT_EQ(g_delivered[0].line, line_.htLine);
  EXPECT_EQ(g_delivered[0].call, call_.htCall);
  EXPECT_EQ(g_delivered[0].msg, LINE_CALLSTATE);
  EXPECT_EQ(g_delivered[0].p3, 7u);
  EXPECT_EQ(ProviderLogTail(), "<<<Message>>> Line=x" + Hex(&line_) + ", Call=x" + Hex(&call_) +
                                   ", Msg=LINE_CALLSTATE, Param1=LINECALLSTATE_CONNECTED, Param2=");
  PostLineEvent(&line_, nullptr, LINE_NEWCALL, 1, 2, 3);
  ASSERT_EQ(g_delivered.size(), 2u);
  EXPECT_EQ(g_delivered[1].call, nullptr);
  EXPECT_EQ(ProviderLogTail(),
            "<<<Message>>> Line=x" + Hex(&line_) + ", Call=x0, Msg=LINE_NEWCALL, Param1=, Param2=");
}

// A line state and whether a call state event and an out-of-service event get through.
struct FilterCase {
  const char* what;
  bool open;
  uint16_t lineControlFlag;
  DWORD statusFlags;
  bool callStatePasses;
  bool outOfServicePasses;
};

TEST_F(LineEventsTest, FiltersByLineState) {
  const std::vector<FilterCase> cases = {
      {"open and in service", true, 0, LINEDEVSTATUSFLAGS_INSERVICE, true, true},
      {"not open", false, 0, LINEDEVSTATUSFLAGS_INSERVICE, false, false},
      {"under line control", true, 1, LINEDEVSTATUSFLAGS_INSERVICE, false, true},
      {"not in service", true, 0, LINEDEVSTATUSFLAGS_CONNECTED, false, true},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.what);
    line_.eventProc = c.open ? &OnLineEvent : nullptr;
    line_.lineControlFlag = c.lineControlFlag;
    status_.dwDevStatusFlags = c.statusFlags;
    g_delivered.clear();
    std::string before = testing::ProviderLogText();
    PostLineEvent(&line_, &call_, LINE_CALLSTATE, 0x1, 0, 0);
    EXPECT_EQ(g_delivered.size(), c.callStatePasses ? 1u : 0u);
    EXPECT_EQ(testing::ProviderLogText() != before, c.callStatePasses);
    g_delivered.clear();
    before = testing::ProviderLogText();
    // Only exactly LINEDEVSTATE_OUTOFSERVICE passes a closed-off line.
    PostLineEvent(&line_, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 0, 0);
    EXPECT_EQ(g_delivered.size(), c.callStatePasses ? 1u : 0u);
    g_delivered.clear();
    PostLineEvent(&line_, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_OUTOFSERVICE, 0, 0);
    EXPECT_EQ(g_delivered.size(), c.outOfServicePasses ? 1u : 0u);
    if (c.outOfServicePasses) {
      EXPECT_EQ(ProviderLogTail(), "<<<Message>>> Line=x" + Hex(&line_) +
                                       ", Call=x0, Msg=LINE_LINEDEVSTATE, "
                                       "Param1=LINEDEVSTATE_OUTOFSERVICE, Param2=");
    } else {
      EXPECT_EQ(testing::ProviderLogText(), before);
    }
  }
  line_.devStatus = nullptr;  // no status block: not known to be in service
  line_.lineControlFlag = 0;
  line_.eventProc = &OnLineEvent;
  g_delivered.clear();
  PostLineEvent(&line_, nullptr, LINE_CALLSTATE, 0x1, 0, 0);
  PostLineEvent(nullptr, nullptr, LINE_CALLSTATE, 0x1, 0, 0);
  EXPECT_TRUE(g_delivered.empty());
}

// What the completion callback saw when it was called.
struct Completion {
  DRV_REQUESTID id;
  LONG result;
  uint32_t busy;
  uint32_t commandPending;
  bool semaphoreFree;
};
std::mutex g_completionMutex;
std::vector<Completion> g_completions;
CVN2448Driver* g_instance = nullptr;
CallRecord* g_call = nullptr;

void OnCompletion(DRV_REQUESTID id, LONG result) {
  bool free = g_instance->providerSemaphore->Wait(0);
  if (free) g_instance->providerSemaphore->Release();
  std::lock_guard<std::mutex> lock(g_completionMutex);
  g_completions.push_back({id, result, g_instance->providerBusy.load(),
                           g_call != nullptr ? g_call->bCommandPending.load() : 0u, free});
}

class PostReplyTest : public LineEventsTest {
 protected:
  void SetUp() override {
    LineEventsTest::SetUp();
    instance_ = std::make_unique<CVN2448Driver>(0);
    instance_->providerSemaphore = std::make_unique<platform::BinarySemaphore>(true);
    instance_->completion = &OnCompletion;
    g_instance = instance_.get();
    g_completions.clear();
    baseBlocks_ = ProcessPool().Count();
  }
  void TearDown() override {
    instance_.reset();
    g_call = nullptr;
    LineEventsTest::TearDown();
  }
  // The state a request worker leaves: the instance admitted and its semaphore taken.
  void Admit() {
    instance_->providerBusy = 1;
    ASSERT_TRUE(instance_->providerSemaphore->Wait(0));
  }
  // The job is over: its block is back and the instance is free.
  void ExpectJobGone() {
    EXPECT_EQ(ProcessPool().Count(), baseBlocks_);
    EXPECT_EQ(instance_->providerBusy.load(), 0u);
  }
  bool WaitForJob() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(g_completionMutex);
        // The job counts itself outstanding until its very end.
        if (!g_completions.empty() && Process().outstandingAsyncCount.load() == 0) {
          return true;
        }
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::unique_ptr<CVN2448Driver> instance_;
  uint32_t baseBlocks_ = 0;
};

TEST_F(PostReplyTest, RequestWithoutCallReleasesBeforeReporting) {
  Admit();
  ASSERT_EQ(PostReply(*instance_, 0x2a, 0, nullptr), 0);
  ASSERT_TRUE(WaitForJob());
  ExpectJobGone();
  ASSERT_EQ(g_completions.size(), 1u);
  EXPECT_EQ(g_completions[0].id, 0x2au);
  EXPECT_EQ(g_completions[0].result, 0);
  EXPECT_EQ(g_completions[0].busy, 0u);
  EXPECT_TRUE(g_completions[0].semaphoreFree);
  EXPECT_TRUE(instance_->providerSemaphore->Wait(0));
  EXPECT_EQ(ProviderLogTail(), "LINE_REPLY, RequestID=x2a, Code=x0");
}

TEST_F(PostReplyTest, RequestOnCallReportsThenClearsPendingThenReleases) {
  g_call = &call_;
  call_.bCommandPending = 1;
  Admit();
  ASSERT_EQ(PostReply(*instance_, 7, LINEERR_OPERATIONFAILED, &call_), 0);
  ASSERT_TRUE(WaitForJob());
  ExpectJobGone();
  ASSERT_EQ(g_completions.size(), 1u);
  EXPECT_EQ(g_completions[0].result, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(g_completions[0].busy, 1u);
  EXPECT_EQ(g_completions[0].commandPending, 1u);
  EXPECT_FALSE(g_completions[0].semaphoreFree);
  EXPECT_EQ(call_.bCommandPending.load(), 0u);
  EXPECT_TRUE(instance_->providerSemaphore->Wait(0));
  EXPECT_EQ(ProviderLogTail(), "LINE_REPLY, RequestID=x7, Code=x80000048");
}

TEST_F(PostReplyTest, JobLeavesAnInstanceNobodyHoldsAlone) {
  // A completion after the instance was released already must not free the semaphore of
  // somebody else.
  ASSERT_EQ(PostReply(*instance_, 1, 0, &call_), 0);
  ASSERT_TRUE(WaitForJob());
  EXPECT_TRUE(instance_->providerSemaphore->Wait(0));
  EXPECT_FALSE(instance_->providerSemaphore->Wait(0));
}

}  // namespace
}  // namespace qrvn::provider
