// Line open, line close and call release through their exported functions: admission on the
// instance, the handle and callback of an open line, the release of call records, and the
// refusal of stale handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <thread>
#include <vector>

#include "line_model_fixture.h"
#include "platform/clock.h"
#include "provider/control/call_release.h"
#include "provider/core/line_events.h"
#include "provider/core/provider_log.h"
#include "provider_test_support.h"
#include "tapi/tspi.h"
#include "tests/support/temp_root.h"

namespace qrvn::provider {
namespace {

using testing::ExtensionRecord;
using testing::LineSpec;

constexpr uint32_t kBase = 40;

struct Posted {
  HTAPILINE line;
  DWORD msg;
};
std::vector<Posted> g_posted;
void FirstProc(HTAPILINE line, HTAPICALL, DWORD msg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  g_posted.push_back({line, msg + 1000});
}
void SecondProc(HTAPILINE line, HTAPICALL, DWORD msg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  g_posted.push_back({line, msg});
}

// A call table of the test: the calls of each line's first address, in list order.
struct TestCalls {
  std::vector<std::pair<LineDevice*, CallRecord*>> calls;
  std::vector<CallRecord*> released;
};
TestCalls* g_calls = nullptr;

CallRecord* NewCall() {
  return new (AllocMemory(kPoolZeroInit, sizeof(CallRecord))) CallRecord();
}
LineDevice* TestLineOf(CallRecord* call) {
  for (auto& [line, c] : g_calls->calls)
    if (c == call) return line;
  return nullptr;
}
CallRecord* TestFirst(AddressRecord& address) {
  for (auto& [line, c] : g_calls->calls)
    if (line == address.line) return c;
  return nullptr;
}
CallRecord* TestNext(CallRecord* call) {
  bool seen = false;
  LineDevice* owner = TestLineOf(call);
  for (auto& [line, c] : g_calls->calls) {
    if (seen && line == owner) return c;
    if (c == call) seen = true;
  }
  return nullptr;
}
void Forget(CallRecord* call) {
  std::erase_if(g_calls->calls, [call](const auto& entry) { return entry.second == call; });
  g_calls->released.push_back(call);
  FreeMemory(call);
}
void TestReleaseAtClose(AddressRecord&, CallRecord* call) {
  Forget(call);
}
LONG TestReleaseCall(CallRecord* call) {
  Forget(call);
  return 0;
}

class LineControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProcessAttach());
    SetProviderLogSettings({1, 4000000});
    g_posted.clear();
    g_calls = &calls_;
    CallRelease() = {TestLineOf, TestFirst, TestNext, TestReleaseAtClose, TestReleaseCall};
    InitialBlockValues values;
    values.romVersion = "V1";
    std::vector<LineSpec> lines = {
        {kLineSystem, 1, "SYSTEM", "", "", {}},
        {kLineExtension, 12288, "EXT0001", "21", "21", ExtensionRecord(0x1000, 1, "21", "", 0)},
        {kLineExtension, 12289, "EXT0002", "22", "22", ExtensionRecord(0x1001, 1, "22", "", 0)},
    };
    provider_ = std::make_unique<testing::TestProvider>(lines, values, kBase);
  }
  void TearDown() override {
    for (auto& [line, call] : calls_.calls) FreeMemory(call);
    provider_.reset();
    CallRelease() = EmptyCallRelease();
    g_calls = nullptr;
    ProcessDetach();
    SetProviderLogSettings({0, 0});
  }
  CVN2448Driver& Instance() { return provider_->Instance(); }
  LineDevice& L(uint32_t i) { return provider_->Line(i); }
  // Waits until the open's release thread has given the instance back.
  void WaitUntilIdle() {
    for (int i = 0; i < 100000; ++i) {
      if (Instance().providerBusy.load() == 0 && Process().outstandingAsyncCount.load() == 0)
        return;
      platform::SleepMs(1);
    }
  }
  HDRVLINE Open(uint32_t i, uintptr_t htLine, LINEEVENT proc) {
    HDRVLINE hd = nullptr;
    EXPECT_EQ(TSPI_lineOpen(kBase + i, reinterpret_cast<HTAPILINE>(htLine), &hd, 0x20001, proc), 0);
    WaitUntilIdle();
    return hd;
  }
  bool IsOpen(uint32_t i) { return Instance().LineOpenFlagsSnapshot()[i] == 1; }
  // True when the instance is free: not busy, its semaphore available, no request counted.
  bool InstanceFree() {
    bool free = Instance().providerBusy.load() == 0 && Instance().providerSemaphore->Wait(0);
    if (free) Instance().providerSemaphore->Release();
    for (uint32_t i = 0; i < 3; ++i) free = free && L(i).requestCount == 0;
    return free;
  }

  testing::TempRoot root_;
  TestCalls calls_;
  std::unique_ptr<testing::TestProvider> provider_;
};

TEST_F(LineControlTest, OpenRefusesMissingCallbackAndUnknownDevices) {
  HDRVLINE hd = nullptr;
  EXPECT_EQ(TSPI_lineOpen(kBase + 1, nullptr, &hd, 0x20001, nullptr), LINEERR_INVALPOINTER);
  EXPECT_NE(
      testing::ProviderLogText().find("TSPI_lineOpen( dwDeviceID=x29 dwTSPIVersion=x20001 )\r\n"),
      std::string::npos);
  EXPECT_EQ(TSPI_lineOpen(kBase + 1, nullptr, nullptr, 0x20001, &FirstProc), LINEERR_INVALPOINTER);
  for (DWORD id : {DWORD{0xFFFFFFFF}, kBase - 1, kBase + 3}) {
    EXPECT_EQ(TSPI_lineOpen(id, nullptr, &hd, 0x20001, &FirstProc), LINEERR_BADDEVICEID) << id;
  }
  EXPECT_EQ(hd, nullptr);
  EXPECT_FALSE(IsOpen(1));
  EXPECT_TRUE(InstanceFree());
}

TEST_F(LineControlTest, OpeningTwiceReplacesHandleAndCallback) {
  HDRVLINE first = Open(1, 0xA1, &FirstProc);
  EXPECT_EQ(first, reinterpret_cast<HDRVLINE>(&L(1)));
  EXPECT_TRUE(IsOpen(1));
  EXPECT_FALSE(IsOpen(2));
  EXPECT_TRUE(InstanceFree());
  HDRVLINE second = Open(1, 0xB2, &SecondProc);
  EXPECT_EQ(second, first);
  EXPECT_TRUE(InstanceFree());
  PostLineEvent(&L(1), nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_OPEN, 0, 0);
  ASSERT_EQ(g_posted.size(), 1u);
  EXPECT_EQ(g_posted[0].line, reinterpret_cast<HTAPILINE>(uintptr_t{0xB2}));
  EXPECT_EQ(g_posted[0].msg, DWORD{LINE_LINEDEVSTATE});
}

TEST_F(LineControlTest, CloseReleasesEveryCallSilentlyAndStopsEvents) {
  HDRVLINE hd = Open(1, 0xA1, &SecondProc);
  CallRecord* connected = NewCall();
  CallRecord* held = NewCall();
  CallRecord* other = NewCall();
  calls_.calls = {{&L(1), connected}, {&L(2), other}, {&L(1), held}};
  L(1).devStatus->dwNumActiveCalls = 1;
  L(1).devStatus->dwNumOnHoldCalls = 1;

  EXPECT_EQ(TSPI_lineClose(hd), 0);
  EXPECT_FALSE(IsOpen(1));
  EXPECT_EQ(calls_.released, (std::vector<CallRecord*>{connected, held}));
  EXPECT_EQ(BlockSerial(connected), 0u);
  EXPECT_EQ(BlockSerial(held), 0u);
  EXPECT_NE(BlockSerial(other), 0u);  // another line's call stays
  EXPECT_EQ(L(1).devStatus->dwNumActiveCalls, 1u);
  EXPECT_EQ(L(1).devStatus->dwNumOnHoldCalls, 1u);
  EXPECT_TRUE(g_posted.empty());
  PostLineEvent(&L(1), nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_CLOSE, 0, 0);
  EXPECT_TRUE(g_posted.empty());
  EXPECT_TRUE(InstanceFree());
  // Closing a closed line is allowed; a line can be opened again.
  EXPECT_EQ(TSPI_lineClose(hd), 0);
  EXPECT_EQ(Open(1, 0xC3, &SecondProc), hd);
  EXPECT_TRUE(IsOpen(1));
}

TEST_F(LineControlTest, CloseRefusesBadHandlesAndWaitsForTheInstance) {
  EXPECT_EQ(TSPI_lineClose(nullptr), LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(TSPI_lineClose(reinterpret_cast<HDRVLINE>(reinterpret_cast<uint8_t*>(&L(1)) + 8)),
            LINEERR_INVALLINEHANDLE);
  HDRVLINE hd = Open(1, 0xA1, &SecondProc);

  // A slot no longer in use refuses the close.
  Process().providerTable[testing::TestProvider::kSlot].inUse = 0;
  EXPECT_EQ(TSPI_lineClose(hd), LINEERR_OPERATIONFAILED);
  Process().providerTable[testing::TestProvider::kSlot].inUse = 1;
  EXPECT_TRUE(IsOpen(1));

  // While another request holds the instance the close waits for it.
  Instance().providerBusy = 1;
  std::atomic<bool> done{false};
  LONG result = -1;
  std::thread closer([&] {
    result = TSPI_lineClose(hd);
    done = true;
  });
  for (int i = 0; i < 20; ++i) platform::SleepMs(10);
  EXPECT_FALSE(done.load());
  EXPECT_TRUE(IsOpen(1));
  Instance().providerBusy = 0;
  closer.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(IsOpen(1));
  EXPECT_TRUE(InstanceFree());

  // Once the model is released every handle into it is stale.
  provider_->Session().Release();
  EXPECT_EQ(TSPI_lineClose(hd), LINEERR_INVALLINEHANDLE);
}

TEST_F(LineControlTest, CloseCallReleasesOnceAndRefusesStaleHandles) {
  Open(1, 0xA1, &SecondProc);
  CallRecord* call = NewCall();
  calls_.calls = {{&L(1), call}};
  auto* hdCall = reinterpret_cast<HDRVCALL>(call);
  EXPECT_EQ(TSPI_lineCloseCall(hdCall), 0);
  EXPECT_EQ(calls_.released, std::vector<CallRecord*>{call});
  EXPECT_TRUE(InstanceFree());
  // The record is gone: the pool refuses the handle before anything reads it.
  EXPECT_EQ(TSPI_lineCloseCall(hdCall), LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(TSPI_lineCloseCall(nullptr), LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(uintptr_t{0x4000})),
            LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(calls_.released.size(), 1u);
  const std::string log = testing::ProviderLogText();
  const std::string entry = LogFormat("TSPI_lineCloseCall( hdCall=x%" PRIxPTR " )\r\n",
                                      reinterpret_cast<uintptr_t>(call));
  EXPECT_NE(log.find(entry), std::string::npos);
  EXPECT_NE(log.find("TSPI_lineCloseCall = x0\r\n"), std::string::npos);
  EXPECT_NE(log.find("TSPI_lineCloseCall = x80000018\r\n"), std::string::npos);

  // A call on a line that is not open is not admitted.
  CallRecord* closed = NewCall();
  calls_.calls = {{&L(2), closed}};
  EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(closed)), LINEERR_OPERATIONFAILED);
  EXPECT_NE(BlockSerial(closed), 0u);
  EXPECT_TRUE(InstanceFree());

  // Without a call table no pool block is a call.
  CallRelease() = EmptyCallRelease();
  EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(closed)), LINEERR_INVALCALLHANDLE);
}

}  // namespace
}  // namespace qrvn::provider
