// The telephony host against a fake provider module: start-up from the registry list, line
// handles, LINE_NEWCALL handle exchange, completions and shutdown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "host/lib/provider_list.h"
#include "host/lib/telephony_host.h"
#include "platform/sync.h"
#include "tests/host/fake_provider_control.h"
#include "tests/support/temp_root.h"

namespace qrvn::host {
namespace {

using platform::RegResult;

using host_testing::FakeProviderControl;

// Collects delivered events; Wait blocks until n have arrived.
class EventLog {
 public:
  void Add(const HostEvent& event) {
    std::lock_guard guard(mutex_);
    events_.push_back(event);
    if (events_.size() >= wanted_) arrived_.Set();
  }
  std::vector<HostEvent> Wait(size_t n) {
    {
      std::lock_guard guard(mutex_);
      wanted_ = n;
      if (events_.size() >= n) arrived_.Set();
    }
    EXPECT_TRUE(arrived_.Wait(5000)) << "events did not arrive";
    std::lock_guard guard(mutex_);
    arrived_.Reset();
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<HostEvent> events_;
  size_t wanted_ = ~size_t{0};
  platform::ManualResetEvent arrived_;
};

TEST(ProviderList, AddRemoveKeepsTheNumberingContiguous) {
  testing::TempRoot root;
  uint32_t a = 0, b = 0, c = 0;
  ASSERT_EQ(AddProvider("one.tsp", a), RegResult::Ok);
  ASSERT_EQ(AddProvider("two.tsp", b), RegResult::Ok);
  ASSERT_EQ(AddProvider("three.tsp", c), RegResult::Ok);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
  EXPECT_EQ(c, 3u);
  ASSERT_EQ(RemoveProvider(b), RegResult::Ok);
  EXPECT_EQ(RemoveProvider(b), RegResult::NotFound);

  std::vector<ProviderEntry> list;
  ASSERT_EQ(ReadProviderList(list), RegResult::Ok);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].fileName, "one.tsp");
  EXPECT_EQ(list[1].permanentId, 3u);
  EXPECT_EQ(list[1].fileName, "three.tsp");

  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::Open(kProvidersKey, platform::RegAccess::Read, key),
            RegResult::Ok);
  uint32_t count = 0;
  EXPECT_EQ(key.QueryDword("NumProviders", count), RegResult::Ok);
  EXPECT_EQ(count, 2u);
  std::string stale;
  EXPECT_EQ(key.QueryString("ProviderFilename2", stale), RegResult::NotFound)
      << "the pair past the end must go";

  uint32_t d = 0;
  ASSERT_EQ(AddProvider("four.tsp", d), RegResult::Ok);
  EXPECT_EQ(d, 4u) << "a removed provider's ID is not handed out again";
}

TEST(TelephonyHost, StartsGoodProvidersAndReportsTheOthers) {
  testing::TempRoot root;
  uint32_t id = 0;
  ASSERT_EQ(AddProvider(QRVN_FAKE_PROVIDER, id), RegResult::Ok);
  ASSERT_EQ(AddProvider("qrvnnosuchprovider.tsp", id), RegResult::Ok);
  ASSERT_EQ(AddProvider(QRVN_FAKE_PROVIDER, id), RegResult::Ok);

  FakeProviderControl fake;
  TelephonyHost host;
  std::vector<ProviderStatus> statuses = host.Start();
  ASSERT_EQ(statuses.size(), 3u);
  EXPECT_EQ(statuses[0].result, 0) << statuses[0].error;
  EXPECT_EQ(statuses[0].lineBase, 0u);
  EXPECT_EQ(statuses[0].numLines, 3u);
  EXPECT_EQ(statuses[0].tspiVersion, TAPI_VERSION2_1);
  EXPECT_NE(statuses[1].result, 0);
  EXPECT_NE(statuses[1].error.find("qrvnnosuchprovider"), std::string::npos) << statuses[1].error;
  // The same module twice is one provider to the loader; its second Init sees base 3.
  EXPECT_EQ(statuses[2].result, 0) << statuses[2].error;
  EXPECT_EQ(statuses[2].lineBase, 3u);
  EXPECT_EQ(host.LineCount(), 6u);
  EXPECT_EQ(host.LineVersion(4), TAPI_VERSION2_1);

  host.Shutdown();
  EXPECT_EQ(fake.Shutdowns(), 2) << "each started provider is shut down once";
  host.Shutdown();
  EXPECT_EQ(fake.Shutdowns(), 2);
}

TEST(TelephonyHost, FailedInitIsReportedAndNotShutDown) {
  testing::TempRoot root;
  uint32_t id = 0;
  ASSERT_EQ(AddProvider(QRVN_FAKE_PROVIDER, id), RegResult::Ok);
  FakeProviderControl fake;
  const int before = fake.Shutdowns();
  setenv("FAKE_PROVIDER_FAIL_INIT", "1", 1);
  {
    TelephonyHost host;
    std::vector<ProviderStatus> statuses = host.Start();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].result, LINEERR_NOMEM) << "the provider's own code is kept";
    EXPECT_NE(statuses[0].error.find("TSPI_providerInit"), std::string::npos);
    EXPECT_EQ(host.LineCount(), 0u);
  }
  unsetenv("FAKE_PROVIDER_FAIL_INIT");
  EXPECT_EQ(fake.Shutdowns(), before);
}

TEST(TelephonyHost, NewCallGetsAHostHandleAndIdleCallsAreDeallocated) {
  testing::TempRoot root;
  FakeProviderControl fake;
  EventLog log;
  TelephonyHost host([&](const HostEvent& e) { log.Add(e); });
  ProviderStatus status = host.StartProvider({7, QRVN_FAKE_PROVIDER});
  ASSERT_EQ(status.result, 0) << status.error;

  EXPECT_EQ(host.OpenLine(9), LINEERR_BADDEVICEID);
  ASSERT_EQ(host.OpenLine(1), 0);
  EXPECT_EQ(host.OpenLine(1), LINEERR_ALLOCATED);
  EXPECT_NE(host.DriverLine(1), nullptr);

  const auto hdCall = reinterpret_cast<HDRVCALL>(uintptr_t{0xCA11});
  HTAPICALL htCall = fake.Post(1, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(hdCall));
  ASSERT_NE(htCall, nullptr) << "the host writes its call handle through dwParam2";
  fake.Post(1, htCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING);
  const int closedBefore = fake.ClosedCalls();
  fake.Post(1, htCall, LINE_CALLSTATE, LINECALLSTATE_IDLE);

  std::vector<HostEvent> events = log.Wait(3);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].message, LINE_NEWCALL);
  EXPECT_EQ(events[0].deviceId, 1u);
  EXPECT_EQ(events[0].call, htCall);
  EXPECT_EQ(events[1].message, LINE_CALLSTATE);
  EXPECT_EQ(events[1].hdCall, hdCall) << "later events name the call by the host's handle";
  EXPECT_EQ(events[2].param1, LINECALLSTATE_IDLE);

  host.Shutdown();  // the dispatcher has run the deallocation by the time it stops
  EXPECT_EQ(fake.ClosedCalls(), closedBefore + 1);
  EXPECT_EQ(fake.LastClosedCall(), hdCall);
}

TEST(TelephonyHost, CompletionsReachTheirRequest) {
  testing::TempRoot root;
  FakeProviderControl fake;
  EventLog log;
  TelephonyHost host([&](const HostEvent& e) { log.Add(e); });
  ASSERT_EQ(host.StartProvider({1, QRVN_FAKE_PROVIDER}).result, 0);
  DRV_REQUESTID first = host.NewRequest();
  DRV_REQUESTID second = host.NewRequest();
  EXPECT_NE(first, second);
  fake.Complete(second, LINEERR_OPERATIONFAILED);
  fake.Complete(first, 0);
  fake.Complete(999, 0);  // nobody's request: ignored
  LONG result = 1;
  ASSERT_TRUE(host.WaitForReply(first, 1000, result));
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(host.WaitForReply(second, 1000, result));
  EXPECT_EQ(result, LINEERR_OPERATIONFAILED);
  DRV_REQUESTID never = host.NewRequest();
  EXPECT_FALSE(host.WaitForReply(never, 10, result));

  std::vector<HostEvent> events = log.Wait(2);
  EXPECT_EQ(events[0].message, LINE_REPLY);
  EXPECT_EQ(events[0].param1, second);
}

TEST(TelephonyHost, QueryStructureGrowsToTheNeededSize) {
  testing::TempRoot root;
  FakeProviderControl fake;
  TelephonyHost host;
  ASSERT_EQ(host.StartProvider({1, QRVN_FAKE_PROVIDER}).result, 0);
  const TspiTable* tspi = host.ProviderOf(2);
  ASSERT_NE(tspi, nullptr);
  std::vector<uint8_t> buffer;
  LONG r = host.QueryStructure(
      [&](void* caps) {
        return tspi->TSPI_lineGetDevCaps(2, TAPI_VERSION2_1, 0, static_cast<LPLINEDEVCAPS>(caps));
      },
      buffer, sizeof(LINEDEVCAPS));
  ASSERT_EQ(r, 0);
  const auto* caps = reinterpret_cast<const LINEDEVCAPS*>(buffer.data());
  EXPECT_GT(caps->dwNeededSize, sizeof(LINEDEVCAPS)) << "the answer has variable parts";
  EXPECT_EQ(caps->dwTotalSize, caps->dwNeededSize) << "grown to exactly the size asked for";
  EXPECT_EQ(caps->dwUsedSize, caps->dwNeededSize);
  EXPECT_EQ(caps->dwLineNameSize, sizeof(u"CO0001"));
  EXPECT_EQ(caps->dwPermanentLineID, (1u << 16) | 4096u);
}

TEST(TelephonyHost, OnlyOneHostRunsInAProcess) {
  testing::TempRoot root;
  TelephonyHost first;
  TelephonyHost second;
  ProviderStatus status = second.StartProvider({1, QRVN_FAKE_PROVIDER});
  EXPECT_NE(status.result, 0);
  EXPECT_NE(status.error.find("another telephony host"), std::string::npos);
}

}  // namespace
}  // namespace qrvn::host
